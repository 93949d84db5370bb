#include "dialog_builder.h"

#include <cstddef>

#include <QCheckBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <qdrawutil.h>

#include "platform/accessible_names.h"
#include "platform/qt/caret_before_focus.h"
#include "platform/qt/status_line.h"
#include "platform/qt/traffic_view.h"
#include "res/resource.h"

// The resources live in a static library, where nothing else would pull them into the program.
static void InitIconResources()
{
    Q_INIT_RESOURCE(brindle);
}

namespace {

using res::ControlKind;
using res::ControlTemplate;

constexpr int kIconSize = 32;

// Rounds as the dialog manager's MulDiv does.
int Scale(int value, int numerator, int denominator)
{
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

QString Latin1(const char* text)
{
    return QString::fromLatin1(text);
}

// A frame whose title sits on its top edge, as the template's group boxes were drawn; Qt's styles
// put the title above the frame, where it would collide with the controls of the first row.
class GroupFrame final : public QGroupBox {
public:
    GroupFrame(const QString& title, QWidget* parent)
        : QGroupBox(title, parent)
    { }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        const QFontMetrics metrics = fontMetrics();
        const QRect frame = rect().adjusted(0, metrics.height() / 2, 0, 0);
        qDrawShadeRect(&painter, frame, palette(), true, 1, 0);
        if (title().isEmpty())
            return;
        const int gap = 2;
        const QRect titleRect(
            metrics.averageCharWidth(), 0, metrics.horizontalAdvance(title()) + 2 * gap, metrics.height());
        painter.fillRect(titleRect, palette().window());
        style()->drawItemText(&painter, titleRect, Qt::AlignCenter | Qt::TextShowMnemonic, palette(), isEnabled(),
            title(), QPalette::WindowText);
    }
};

// The width `widget` needs to show its whole text, 0 for controls that have no fixed text.
int TextWidth(const ControlTemplate& control, const QWidget& widget)
{
    const QFontMetrics metrics = widget.fontMetrics();
    const QString text = Latin1(control.text);
    switch (control.kind) {
    case ControlKind::StaticText:
        return metrics.horizontalAdvance(text);
    case ControlKind::AutoCheckBox:
        return widget.sizeHint().width();
    case ControlKind::DefaultPushButton:
    case ControlKind::PushButton:
        return metrics.horizontalAdvance(text) + 2 * (widget.style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 1);
    default:
        return 0;
    }
}

// The font's own unit, or a wider one where the font runs wider than the template's did and a
// text would be cut off.
DialogUnits FittingUnits(const QFont& font, const std::vector<BuiltControl>& controls)
{
    DialogUnits units = DialogUnitsOf(font);
    const int widest = 4 * units.baseWidth;
    for (const BuiltControl& entry : controls) {
        const int needed = TextWidth(*entry.control, *entry.widget);
        while (entry.control->w > 0 && units.ToPixelsX(entry.control->w) < needed && units.baseWidth < widest)
            ++units.baseWidth;
    }
    return units;
}

QWidget* CreateControl(QDialog& dialog, const ControlTemplate& control)
{
    const QString text = Latin1(control.text);
    switch (control.kind) {
    case ControlKind::DefaultPushButton:
    case ControlKind::PushButton: {
        auto* button = new QPushButton(text, &dialog);
        // A focused button takes Enter itself, as a dialog's buttons always have.
        button->setAutoDefault(true);
        button->setDefault(control.kind == ControlKind::DefaultPushButton);
        return button;
    }
    case ControlKind::GroupBox: {
        auto* group = new GroupFrame(text, &dialog);
        // Only a frame: clicks and right-clicks inside it belong to the dialog.
        group->setAttribute(Qt::WA_TransparentForMouseEvents);
        return group;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(text, &dialog);
        edit->setReadOnly(control.style & res::kReadOnly);
        edit->setFrame(control.style & res::kBorder);
        if (control.style & res::kRightAlign)
            edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        PlaceCaretBeforeFocus(*edit);
        return edit;
    }
    case ControlKind::MultiLineEdit: {
        auto* view = new TrafficView(&dialog);
        if (*control.text)
            view->setText(control.text);
        return view;
    }
    case ControlKind::AutoCheckBox:
        return new QCheckBox(text, &dialog);
    case ControlKind::StaticText: {
        // A text with an id is one the program rewrites.
        if (IsStatusLine(control))
            return new StatusLine(text, &dialog);
        auto* label = new QLabel(&dialog);
        label->setTextFormat(Qt::PlainText);
        label->setText(text);
        return label;
    }
    case ControlKind::Icon: {
        auto* label = new QLabel(&dialog);
        label->setPixmap(LoadIconResource(control.iconId).pixmap(kIconSize));
        return label;
    }
    }
    return nullptr;
}

// Each field, view and status line is the buddy of the label in front of it, which gives it the
// labelled-by relation assistive tools follow. Readers speak that label rather than the field's
// own name, so a label whose field is named with its group carries the same name.
void LinkCaptions(std::span<const ControlTemplate> controls, const std::vector<BuiltControl>& built)
{
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlTemplate& control = controls[i];
        const bool captioned
            = control.kind == ControlKind::Edit || control.kind == ControlKind::MultiLineEdit || IsStatusLine(control);
        const ControlTemplate* caption = captioned ? LabelOf(controls, i) : nullptr;
        if (!caption)
            continue;
        QWidget* field = built[i].widget;
        auto* label = static_cast<QLabel*>(built[static_cast<std::size_t>(caption - controls.data())].widget);
        label->setBuddy(field);
        if (!field->accessibleName().isEmpty() && field->accessibleName() != Latin1(CaptionName(caption->text).c_str()))
            label->setAccessibleName(field->accessibleName());
    }
}

Qt::WindowFlags FrameFlags(unsigned style)
{
    // Without a minimise or maximise box; a dialog that stands for the program gets a window of
    // its own in the task bar.
    Qt::WindowFlags flags = (style & res::kAppWindow) ? Qt::Window : Qt::Dialog;
    flags |= Qt::CustomizeWindowHint;
    if (style & res::kCaption)
        flags |= Qt::WindowTitleHint;
    if (style & res::kSystemMenu)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    return flags;
}

} // namespace

int DialogUnits::ToPixelsX(int units) const
{
    return Scale(units, baseWidth, 4);
}

int DialogUnits::ToPixelsY(int units) const
{
    return Scale(units, baseHeight, 8);
}

QRect DialogUnits::ToPixels(int x, int y, int w, int h) const
{
    return QRect(ToPixelsX(x), ToPixelsY(y), ToPixelsX(w), ToPixelsY(h));
}

DialogUnits DialogUnitsOf(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int letters
        = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogUnits{(letters / 26 + 1) / 2, metrics.height()};
}

QIcon LoadIconResource(int iconId)
{
    if (iconId != IDR_MAINFRAME)
        return {};
    InitIconResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/brindle-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/brindle-32.png"), QSize(32, 32));
    return icon;
}

BuiltDialog BuildDialog(QDialog& dialog, const res::DialogTemplate& dialogTemplate)
{
    BuiltDialog built;
    dialog.setWindowFlags(FrameFlags(dialogTemplate.style));
    dialog.setWindowTitle(Latin1(dialogTemplate.caption));

    const auto names = AccessibleNames(dialogTemplate);
    QWidget* previousTabStop = nullptr;
    for (const ControlTemplate& control : dialogTemplate.controls) {
        QWidget* widget = CreateControl(dialog, control);
        widget->setEnabled(!(control.style & res::kDisabled));

        const bool takesInput = control.kind != ControlKind::GroupBox && control.kind != ControlKind::StaticText
            && control.kind != ControlKind::Icon;
        if (control.style & res::kTabStop) {
            widget->setFocusPolicy(Qt::StrongFocus);
            if (previousTabStop)
                QWidget::setTabOrder(previousTabStop, widget);
            previousTabStop = widget;
        } else {
            widget->setFocusPolicy(takesInput ? Qt::ClickFocus : Qt::NoFocus);
        }

        if (const auto name = names.find(&control); name != names.end())
            widget->setAccessibleName(QString::fromLatin1(name->second));

        built.controls.push_back({&control, widget});
        if (control.id != IDC_STATIC)
            built.byId.emplace(control.id, widget);
    }

    LinkCaptions(dialogTemplate.controls, built.controls);

    built.units = FittingUnits(dialog.font(), built.controls);
    dialog.setFixedSize(built.units.ToPixelsX(dialogTemplate.width), built.units.ToPixelsY(dialogTemplate.height));
    for (const BuiltControl& entry : built.controls) {
        const ControlTemplate& control = *entry.control;
        QRect place = built.units.ToPixels(control.x, control.y, control.w, control.h);
        if (control.kind == ControlKind::Icon)
            place.setSize(place.size().expandedTo(QSize(kIconSize, kIconSize)));
        entry.widget->setGeometry(place);
        // Frames go behind everything, wherever the template lists them.
        if (control.kind == ControlKind::GroupBox)
            entry.widget->lower();
    }
    return built;
}
