#include "qt_dialog_host.h"

#include <algorithm>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

#include "platform/qt/dialog_builder.h"
#include "platform/qt/status_line.h"
#include "platform/qt/traffic_view.h"
#include "res/resource.h"

namespace {

// The period limits Windows puts on its timers; a zero period must not turn into a busy loop.
constexpr unsigned kShortestPeriodMs = 10;
constexpr unsigned kLongestPeriodMs = 0x7FFFFFFF;

QString FromLatin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLatin1(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

class QtDialogHost::TemplateDialog final : public QDialog {
public:
    TemplateDialog(QtDialogHost& host, QWidget* parent)
        : QDialog(parent)
        , host_(host)
    { }

    // Escape and the close box end up here; they are Cancel.
    void reject() override { host_.Command(IDCANCEL); }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && host_.WantsReturn(focusWidget())) {
            event->accept();
            return;
        }
        QDialog::keyPressEvent(event);
    }

    // The window manager owns the title bar menu here, so the dialog's own commands are offered
    // on its background instead.
    void contextMenuEvent(QContextMenuEvent* event) override
    {
        const QWidget* under = childAt(event->pos());
        if (event->reason() == QContextMenuEvent::Mouse && under && !qobject_cast<const QLabel*>(under)) {
            event->ignore();
            return;
        }
        host_.ShowSystemMenu(event->globalPos());
    }

private:
    QtDialogHost& host_;
};

QtDialogHost::QtDialogHost(const res::DialogTemplate& dialogTemplate, QWidget* parent)
    : template_(dialogTemplate)
    , parent_(parent)
{ }

QtDialogHost::~QtDialogHost() = default;

QDialog* QtDialogHost::Window() const
{
    return window_.get();
}

QWidget* QtDialogHost::Control(int controlId) const
{
    const auto it = controls_.find(controlId);
    return it == controls_.end() ? nullptr : it->second;
}

bool QtDialogHost::HasControl(int controlId) const
{
    return Control(controlId) != nullptr;
}

std::string QtDialogHost::GetControlText(int controlId) const
{
    QWidget* widget = Control(controlId);
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return ToLatin1(edit->text());
    if (auto* view = dynamic_cast<TrafficView*>(widget))
        return view->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return ToLatin1(button->text());
    if (auto* label = qobject_cast<QLabel*>(widget))
        return ToLatin1(label->text());
    if (auto* group = qobject_cast<QGroupBox*>(widget))
        return ToLatin1(group->title());
    return {};
}

void QtDialogHost::SetControlText(int controlId, std::string_view text)
{
    QWidget* widget = Control(controlId);
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        edit->setText(FromLatin1(text));
    else if (auto* view = dynamic_cast<TrafficView*>(widget))
        view->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(FromLatin1(text));
    else if (auto* line = qobject_cast<StatusLine*>(widget))
        line->setStatus(FromLatin1(text));
    else if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(FromLatin1(text));
    else if (auto* group = qobject_cast<QGroupBox*>(widget))
        group->setTitle(FromLatin1(text));
}

void QtDialogHost::EnableControl(int controlId, bool enable)
{
    if (QWidget* widget = Control(controlId))
        widget->setEnabled(enable);
}

unsigned QtDialogHost::GetCheck(int controlId) const
{
    const auto* box = qobject_cast<const QCheckBox*>(Control(controlId));
    if (!box)
        return 0;
    switch (box->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    case Qt::Unchecked:
        break;
    }
    return 0;
}

void QtDialogHost::AppendTrafficToEnd(int controlId, std::string_view bytes, TrafficFormat format)
{
    if (auto* view = dynamic_cast<TrafficView*>(Control(controlId)))
        view->appendTraffic(bytes, format);
}

void QtDialogHost::MessageBox(std::string_view text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("brindle"), FromLatin1(text), QMessageBox::Ok, window_.get());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtDialogHost::SetTimer(unsigned timerId, unsigned periodMs)
{
    if (!window_)
        return false;
    QTimer*& timer = timers_[timerId];
    if (!timer) {
        timer = new QTimer(window_.get());
        // A coarse timer may fire 5 % late each time: the poll tick keeps its period.
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, window_.get(), [this, timerId] {
            if (events_)
                events_->OnTimer(timerId);
        });
    }
    timer->start(static_cast<int>(std::clamp(periodMs, kShortestPeriodMs, kLongestPeriodMs)));
    return true;
}

bool QtDialogHost::AppendSystemMenuItem(unsigned commandId, std::string_view text)
{
    if (!window_)
        return false;
    systemMenu_.emplace_back(commandId, FromLatin1(text));
    return true;
}

void QtDialogHost::SetIcon(int iconId, bool /*large*/)
{
    // One QIcon carries both sizes; the window system picks.
    if (window_)
        window_->setWindowIcon(LoadIconResource(iconId));
}

void QtDialogHost::RunModalDialog(int templateId, DialogEvents& events)
{
    const res::DialogTemplate* dialogTemplate = res::FindDialogTemplate(templateId);
    if (!dialogTemplate)
        return;
    QtDialogHost child(*dialogTemplate, window_ ? window_.get() : parent_.data());
    child.RunModal(events);
}

int QtDialogHost::RunModal(DialogEvents& events)
{
    if (window_)
        return -1;
    window_ = std::make_unique<TemplateDialog>(*this, parent_.data());
    BuiltDialog built = BuildDialog(*window_, template_);
    units_ = built.units;
    controls_ = std::move(built.byId);
    for (const BuiltControl& entry : built.controls) {
        const int id = entry.control->id;
        // A box reports each change of its state, once it has changed, whatever made it: a click,
        // Space, or an assistive tool's Toggle action, which changes the state without a click.
        // Nothing of the program's own changes a box's state.
        if (auto* box = qobject_cast<QCheckBox*>(entry.widget))
            QObject::connect(box, &QAbstractButton::toggled, window_.get(), [this, id] { Command(id); });
        else if (auto* button = qobject_cast<QAbstractButton*>(entry.widget))
            QObject::connect(button, &QAbstractButton::clicked, window_.get(), [this, id] { Command(id); });
        if (entry.control->style & res::kWantReturn)
            takesReturn_.insert(entry.widget);
    }

    events_ = &events;
    events.OnInitDialog();
    const auto firstTabStop = std::find_if(built.controls.begin(), built.controls.end(),
        [](const BuiltControl& entry) { return (entry.control->style & res::kTabStop) && entry.widget->isEnabled(); });
    if (firstTabStop != built.controls.end())
        firstTabStop->widget->setFocus();
    const int result = window_->exec();
    CloseWindow();
    return result;
}

void QtDialogHost::Command(int controlId)
{
    const bool handled = events_ && events_->OnCommand(controlId);
    if (!handled && window_ && (controlId == IDOK || controlId == IDCANCEL))
        window_->done(controlId);
}

bool QtDialogHost::WantsReturn(const QWidget* focus) const
{
    for (const QWidget* widget = focus; widget && widget != window_.get(); widget = widget->parentWidget()) {
        if (takesReturn_.count(widget))
            return true;
    }
    return false;
}

void QtDialogHost::ShowSystemMenu(const QPoint& globalPos)
{
    if (!window_ || systemMenu_.empty())
        return;
    QMenu menu(window_.get());
    for (const auto& [commandId, text] : systemMenu_) {
        menu.addSeparator();
        menu.addAction(text)->setData(commandId);
    }
    // As with a system menu, the command arrives once the menu has closed.
    const QAction* chosen = menu.exec(globalPos);
    if (chosen && events_)
        events_->OnSysCommand(chosen->data().toUInt());
}

void QtDialogHost::CloseWindow()
{
    events_ = nullptr;
    timers_.clear();
    systemMenu_.clear();
    takesReturn_.clear();
    controls_.clear();
    window_.reset();
}
