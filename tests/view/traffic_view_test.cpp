#include "platform/qt/traffic_view.h"

#include "platform/qt/find_bar.h"
#include "platform/text/text_announcement.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>
#include <string>

namespace {

std::string numberedLines(int count, int length)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        std::string line = std::to_string(i) + ':';
        line.resize(static_cast<std::size_t>(length), 'a' + static_cast<char>(i % 26));
        text += line + "\r\n";
    }
    return text;
}

// A dialog with the view between two other controls and a default button that counts its clicks.
class Window {
public:
    Window()
    {
        auto* layout = new QVBoxLayout(&dialog);
        before = new QLineEdit(&dialog);
        view = new TrafficView(&dialog);
        ok = new QPushButton(QStringLiteral("OK"), &dialog);
        ok->setDefault(true);
        layout->addWidget(before);
        layout->addWidget(view);
        layout->addWidget(ok);
        QObject::connect(ok, &QPushButton::clicked, [this] { ++defaultClicks; });
        dialog.resize(420, 300);
        dialog.show();
        dialog.activateWindow();
    }

    bool ready() { return QTest::qWaitForWindowActive(&dialog); }

    QAccessibleTextInterface* accessibleText() const
    {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(view);
        return accessible ? accessible->textInterface() : nullptr;
    }

    // The middle of the character cell at the offset, in viewport coordinates.
    QPoint pointAt(int offset) const
    {
        const QRect cell = accessibleText()->characterRect(offset);
        return view->viewport()->mapFromGlobal(QPoint(cell.left(), cell.center().y()));
    }

    QDialog dialog;
    QLineEdit* before = nullptr;
    TrafficView* view = nullptr;
    QPushButton* ok = nullptr;
    int defaultClicks = 0;
};

void pressKeys(QWidget* widget, const QStringList& keys)
{
    for (const QString& key : keys)
        QTest::keySequence(widget, QKeySequence::fromString(key));
}

// The names a screen reader reads for the bar's children, in order.
QStringList accessibleNames(QWidget* bar)
{
    QStringList names;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(bar);
    for (int i = 0; accessible && i < accessible->childCount(); ++i)
        names << accessible->child(i)->text(QAccessible::Name);
    return names;
}

// Counts the paint events a widget gets.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
    int paints = 0;
};

} // namespace

class TrafficViewTest : public QObject {
    Q_OBJECT

private slots:
    void appendShowsLinesAndScrollsToEnd_data();
    void appendShowsLinesAndScrollsToEnd();
    void appendLandsAtEndWhateverIsSelected();
    void setTextReplacesAndEmpties();
    void capacityDropsOldestLines();
    void scrollBarRepaintsOnlyWhenItsLookChanges_data();
    void scrollBarRepaintsOnlyWhenItsLookChanges();
    void tabLeavesTheView();
    void enterStaysInTheView_data();
    void enterStaysInTheView();
    void copyTakesTheSelection_data();
    void copyTakesTheSelection();
    void mouseSelects();
    void contextMenuSelectsAllAndCopies();
    void accessibleInterfaceReportsText();
    void findSelectsAndScrollsToMatches();
    void textInsertedEventsAreBounded_data();
    void textInsertedEventsAreBounded();
};

void TrafficViewTest::appendShowsLinesAndScrollsToEnd_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("pieceSize");
    QTest::addColumn<QString>("lastLine");
    QTest::addColumn<bool>("scrolledAcross");

    QTest::newRow("one line") << QByteArray("hello") << 4096 << "hello" << false;
    QTest::newRow("CR LF split across pieces") << QByteArray("ab\r\ncd") << 1 << "cd" << false;
    const QByteArray lines = QByteArray::fromStdString(numberedLines(500, 120));
    QTest::newRow("many lines") << lines << 4096 << "" << false;
    QTest::newRow("long last line") << lines + QByteArray(300, 'x') << 4096 << QString(300, 'x') << true;
}

void TrafficViewTest::appendShowsLinesAndScrollsToEnd()
{
    QFETCH(QByteArray, text);
    QFETCH(int, pieceSize);
    QFETCH(QString, lastLine);
    QFETCH(bool, scrolledAcross);
    Window window;
    QVERIFY(window.ready());

    for (qsizetype at = 0; at < text.size(); at += pieceSize)
        window.view->appendText(
            std::string_view(text.constData() + at, std::min<qsizetype>(pieceSize, text.size() - at)));
    QCoreApplication::processEvents();

    QCOMPARE(window.view->text(), text.toStdString());
    QCOMPARE(window.view->characterCount(), text.size());
    const QScrollBar* vertical = window.view->verticalScrollBar();
    QCOMPARE(vertical->value(), vertical->maximum());
    QCOMPARE(vertical->maximum() > 0, text.count('\n') > 10);
    const QScrollBar* horizontal = window.view->horizontalScrollBar();
    QCOMPARE(horizontal->value() > 0, scrolledAcross);
    if (scrolledAcross)
        QCOMPARE(horizontal->value(), horizontal->maximum());

    int start = -1;
    int end = -1;
    const QString last
        = window.accessibleText()->textAtOffset(static_cast<int>(text.size()), QAccessible::LineBoundary, &start, &end);
    if (!lastLine.isEmpty())
        QCOMPARE(last, lastLine);
}

void TrafficViewTest::appendLandsAtEndWhateverIsSelected()
{
    Window window;
    QVERIFY(window.ready());
    window.view->setText("first\r\nsecond");
    window.view->setFocus();
    pressKeys(window.view, {"Ctrl+Home", "Shift+End"});

    window.view->appendText(numberedLines(200, 50));
    window.view->appendText("third");
    QCoreApplication::processEvents();

    const std::string text = window.view->text();
    QVERIFY(text.starts_with("first\r\nsecond"));
    QVERIFY(text.ends_with("\r\nthird"));
    const QScrollBar* vertical = window.view->verticalScrollBar();
    QVERIFY(vertical->maximum() > 0);
    QCOMPARE(vertical->value(), vertical->maximum());
    int start = -1;
    int end = -1;
    window.accessibleText()->selection(0, &start, &end);
    QCOMPARE(start, 0);
    QCOMPARE(end, 5);
}

void TrafficViewTest::setTextReplacesAndEmpties()
{
    Window window;
    QVERIFY(window.ready());
    window.view->appendText(numberedLines(300, 80));
    QCoreApplication::processEvents();

    window.view->setText("x\r\ny");
    QCoreApplication::processEvents();
    QCOMPARE(window.view->text(), std::string("x\r\ny"));
    QCOMPARE(window.view->verticalScrollBar()->maximum(), 0);

    window.view->setText("");
    QCoreApplication::processEvents();
    QCOMPARE(window.view->text(), std::string());
    QCOMPARE(window.view->characterCount(), 0);

    window.view->appendText("again");
    QCoreApplication::processEvents();
    QCOMPARE(window.view->text(), std::string("again"));
}

void TrafficViewTest::capacityDropsOldestLines()
{
    Window window;
    QVERIFY(window.ready());
    window.view->setCapacity(10000);
    window.view->appendText(numberedLines(20, 98));
    window.view->setFocus();
    pressKeys(window.view, {"Ctrl+Home", "Shift+Down"});

    const std::string more = numberedLines(1000, 98);
    for (std::size_t at = 0; at < more.size(); at += 4096)
        window.view->appendText(std::string_view(more).substr(at, 4096));
    QCoreApplication::processEvents();

    QVERIFY(window.view->characterCount() <= 10000);
    const std::string text = window.view->text();
    QVERIFY(more.ends_with(text));
    QCOMPARE(more[more.size() - text.size() - 1], '\n');
    const QScrollBar* vertical = window.view->verticalScrollBar();
    QCOMPARE(vertical->value(), vertical->maximum());
    QAccessibleTextInterface* accessible = window.accessibleText();
    QCOMPARE(accessible->selectionCount(), 0);
    QVERIFY(!window.view->grab().isNull());
}

void TrafficViewTest::scrollBarRepaintsOnlyWhenItsLookChanges_data()
{
    QTest::addColumn<int>("linesBefore");
    QTest::addColumn<int>("linesAdded");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<bool>("barPainted");

    // Past a few thousand lines the slider is at its shortest, at the end: more lines draw the same
    // bar. The lines are wider than the view, so that both bars are shown.
    QTest::newRow("more lines, same slider") << 20000 << 100 << QStringList{} << false;
    QTest::newRow("to the top") << 20000 << 0 << QStringList{"Ctrl+Home"} << true;
    QTest::newRow("a page of lines more, shorter slider") << 20 << 100 << QStringList{} << true;
    QTest::newRow("the first lines, both bars appear") << 0 << 100 << QStringList{} << true;
}

void TrafficViewTest::scrollBarRepaintsOnlyWhenItsLookChanges()
{
    QFETCH(int, linesBefore);
    QFETCH(int, linesAdded);
    QFETCH(QStringList, keys);
    QFETCH(bool, barPainted);
    Window window;
    QVERIFY(window.ready());
    window.view->appendText(numberedLines(linesBefore, 200));
    window.view->setFocus();
    QTest::qWait(50);
    const QScrollBar* vertical = window.view->verticalScrollBar();
    const int maximumBefore = vertical->maximum();
    PaintCounter bar(window.view->verticalScrollBar());
    PaintCounter text(window.view->viewport());

    window.view->appendText(numberedLines(linesAdded, 200));
    pressKeys(window.view, keys);
    QTRY_VERIFY_WITH_TIMEOUT(text.paints > 0, 2000);
    QTest::qWait(50);

    QCOMPARE(bar.paints > 0, barPainted);
    QVERIFY(vertical->isVisible() && window.view->horizontalScrollBar()->isVisible());
    // Unpainted or not, the bar holds the new range and position.
    QCOMPARE(vertical->maximum(), window.view->model().maxTopLine());
    QCOMPARE(vertical->maximum() > maximumBefore, linesAdded > 0);
    QCOMPARE(vertical->value(), keys.isEmpty() ? vertical->maximum() : 0);
}

void TrafficViewTest::tabLeavesTheView()
{
    Window window;
    QVERIFY(window.ready());
    window.view->setFocus();
    QVERIFY(window.view->hasFocus());
    QTest::keyClick(window.view, Qt::Key_Tab);
    QVERIFY(window.ok->hasFocus());

    window.view->setFocus();
    QTest::keyClick(window.view, Qt::Key_Backtab, Qt::ShiftModifier);
    QVERIFY(window.before->hasFocus());

    QTest::keyClick(window.before, Qt::Key_Tab);
    QVERIFY(window.view->hasFocus());
}

void TrafficViewTest::enterStaysInTheView_data()
{
    QTest::addColumn<bool>("inView");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("defaultClicks");

    QTest::newRow("Return in the view") << true << int(Qt::Key_Return) << int(Qt::NoModifier) << 0;
    QTest::newRow("keypad Enter in the view") << true << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << 0;
    // The same key elsewhere does reach the default button, so the rows above would see a leak.
    QTest::newRow("Return in a line edit") << false << int(Qt::Key_Return) << int(Qt::NoModifier) << 1;
}

void TrafficViewTest::enterStaysInTheView()
{
    QFETCH(bool, inView);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, defaultClicks);
    Window window;
    QVERIFY(window.ready());
    window.view->setText("line\r\n");
    QWidget* target = inView ? static_cast<QWidget*>(window.view) : window.before;
    target->setFocus();

    QTest::keyClick(target, static_cast<Qt::Key>(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(window.defaultClicks, defaultClicks);
}

void TrafficViewTest::copyTakesTheSelection_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("copied");

    QTest::newRow("nothing selected") << QStringList{} << "unchanged";
    // What keys select is the model's; the clipboard gets LF line ends.
    QTest::newRow("across a line break") << QStringList{"Shift+Down", "Shift+End"} << "one\ntwo";
}

void TrafficViewTest::copyTakesTheSelection()
{
    QFETCH(QStringList, keys);
    QFETCH(QString, copied);
    Window window;
    QVERIFY(window.ready());
    window.view->setText("one\r\ntwo\r\nthree");
    window.view->setFocus();
    QGuiApplication::clipboard()->setText(QStringLiteral("unchanged"));

    pressKeys(window.view, keys);
    QTest::keySequence(window.view, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

void TrafficViewTest::mouseSelects()
{
    Window window;
    QVERIFY(window.ready());
    window.view->setText("alpha beta\r\ngamma delta");
    QWidget* viewport = window.view->viewport();
    const auto copied = [&] {
        QTest::keySequence(window.view, QKeySequence::Copy);
        return QGuiApplication::clipboard()->text();
    };

    QTest::mousePress(viewport, Qt::LeftButton, {}, window.pointAt(6));
    const QPoint to = window.pointAt(17);
    QMouseEvent drag(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(viewport, &drag);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
    QCOMPARE(copied(), QStringLiteral("beta\ngamma"));

    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, window.pointAt(2));
    QCOMPARE(copied(), QStringLiteral("pha "));

    QTest::mouseDClick(viewport, Qt::LeftButton, {}, window.pointAt(20));
    QCOMPARE(copied(), QStringLiteral("delta"));
    // A third click soon after selects the line.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, window.pointAt(20));
    QCOMPARE(copied(), QStringLiteral("gamma delta"));
}

void TrafficViewTest::contextMenuSelectsAllAndCopies()
{
    Window window;
    QVERIFY(window.ready());
    window.view->setText("a\r\nb");
    QWidget* viewport = window.view->viewport();
    const auto openMenu = [&] {
        QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(5, 5), viewport->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(viewport, &request);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    };
    const auto action = [](QMenu* menu, const QString& text) {
        for (QAction* a : menu->actions())
            if (a->text() == text)
                return a;
        return static_cast<QAction*>(nullptr);
    };

    QMenu* menu = openMenu();
    QVERIFY(menu);
    QVERIFY(action(menu, "&Copy"));
    QVERIFY(!action(menu, "&Copy")->isEnabled());
    QVERIFY(action(menu, "Select &All"));
    action(menu, "Select &All")->trigger();
    menu->close();

    menu = openMenu();
    QVERIFY(menu);
    QVERIFY(action(menu, "&Copy")->isEnabled());
    action(menu, "&Copy")->trigger();
    menu->close();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("a\nb"));

    // "Hex" carries a check mark; chosen, the view shows the dump of its received bytes.
    window.view->appendTraffic("hi", TrafficFormat{});
    menu = openMenu();
    QVERIFY(menu);
    QVERIFY(action(menu, "&Hex")->isCheckable());
    QVERIFY(!action(menu, "&Hex")->isChecked());
    action(menu, "&Hex")->trigger();
    menu->close();
    QCOMPARE(window.view->text(), "000000000000  68 69" + std::string(45, ' ') + "hi");
    menu = openMenu();
    QVERIFY(menu);
    QVERIFY(action(menu, "&Hex")->isChecked());
    QVERIFY(action(menu, "&Save As...")->isEnabled());
    menu->close();
}

void TrafficViewTest::accessibleInterfaceReportsText()
{
    Window window;
    QVERIFY(window.ready());
    const std::string text = "GET /caf\xE9 HTTP/1.1\r\nHost: x\r\n";
    window.view->setText(text);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(window.view);
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), QAccessible::EditableText);
    QVERIFY(accessible->state().readOnly);
    QVERIFY(accessible->state().multiLine);
    QAccessibleTextInterface* accessibleText = accessible->textInterface();
    QVERIFY(accessibleText);

    const QString expected = QString::fromLatin1(text);
    QCOMPARE(accessibleText->characterCount(), expected.size());
    QCOMPARE(accessibleText->text(0, accessibleText->characterCount()), expected);
    QCOMPARE(accessible->text(QAccessible::Value), expected);

    int start = -1;
    int end = -1;
    QCOMPARE(accessibleText->textAtOffset(24, QAccessible::LineBoundary, &start, &end), QStringLiteral("Host: x\r\n"));
    QCOMPARE(start, 20);
    QCOMPARE(end, 29);
    QCOMPARE(accessibleText->textAtOffset(6, QAccessible::WordBoundary, &start, &end), QStringLiteral("caf\u00E9"));
    QCOMPARE(accessibleText->textAfterOffset(6, QAccessible::WordBoundary, &start, &end), QStringLiteral(" "));
    QCOMPARE(accessibleText->textBeforeOffset(24, QAccessible::LineBoundary, &start, &end),
        QStringLiteral("GET /caf\u00E9 HTTP/1.1\r\n"));

    window.view->setFocus();
    pressKeys(window.view, {"Ctrl+Home", "Shift+End"});
    QCOMPARE(accessibleText->selectionCount(), 1);
    accessibleText->selection(0, &start, &end);
    QCOMPARE(start, 0);
    QCOMPARE(end, 18);
    QCOMPARE(accessibleText->cursorPosition(), 18);
}

void TrafficViewTest::findSelectsAndScrollsToMatches()
{
    Window window;
    QVERIFY(window.ready());
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += std::to_string(i) + (i == 5 || i == 250 ? ": a needle" : i == 120 ? ": a NEEDLE" : ": hay") + "\r\n";
    window.view->setText(text);
    window.view->setFocus();
    const auto press = [](const char* keys) {
        QTest::keySequence(QApplication::focusWidget(), QKeySequence::fromString(QString::fromLatin1(keys)));
    };
    // The line holding the selection, which must be the match and on screen.
    const auto selectedLine = [&]() -> QString {
        QAccessibleTextInterface* accessible = window.accessibleText();
        int start = -1;
        int end = -1;
        accessible->selection(0, &start, &end);
        const QRect cell = accessible->characterRect(start);
        if (accessible->text(start, end).compare("needle", Qt::CaseInsensitive) != 0
            || !window.view->viewport()->rect().contains(window.view->viewport()->mapFromGlobal(cell.center())))
            return QStringLiteral("not a match in view");
        return accessible->textAtOffset(start, QAccessible::LineBoundary, &start, &end).section(':', 0, 0);
    };

    press("Ctrl+F");
    FindBar* bar = window.view->findBar();
    QVERIFY(bar && bar->isVisible());
    QCOMPARE(QApplication::focusWidget(), bar->field());
    QTest::keyClicks(bar->field(), "needle");

    struct Step {
        const char* keys;
        const char* line;
        const char* status;
    };
    // The keys of the bar; where each search lands is the model's, tested without a display.
    const Step steps[] = {{"Return", "5", ""}, {"F3", "120", ""}, {"Shift+F3", "5", ""},
        // Match case, through the keyboard: a changed option looks again from the selection's start.
        {"Tab", "5", ""}, {"Space", "5", ""}, {"Return", "5", ""}, {"F3", "250", ""}, {"F3", "5", "Wrapped"}};
    for (const Step& step : steps) {
        press(step.keys);
        QTRY_COMPARE_WITH_TIMEOUT(bar->status(), QString::fromLatin1(step.status), 2000);
        QCOMPARE(selectedLine(), QString::fromLatin1(step.line));
    }
    QVERIFY(bar->matchCase());

    press("Shift+Tab");
    press("Ctrl+A");
    QTest::keyClicks(bar->field(), "absent");
    press("Return");
    QTRY_COMPARE_WITH_TIMEOUT(bar->status(), QStringLiteral("Not found"), 2000);
    QCOMPARE(selectedLine(), QStringLiteral("5"));
    QCOMPARE(accessibleNames(bar), (QStringList{"Find:", "Find", "Match case", "Not found"}));

    press("Escape");
    QVERIFY(!bar->isVisible());
    QVERIFY(window.dialog.isVisible());
    QVERIFY(window.view->hasFocus());
    QTest::keySequence(window.view, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("needle"));

    // From the view, Escape closes an open bar before it reaches the dialog.
    press("Ctrl+F");
    press("Shift+Tab");
    QVERIFY(window.view->hasFocus() && bar->isVisible());
    press("Escape");
    QVERIFY(!bar->isVisible());
    QVERIFY(window.dialog.isVisible());
}

QTEST_MAIN(TrafficViewTest)
void TrafficViewTest::textInsertedEventsAreBounded_data()
{
    QTest::addColumn<qint64>("announcedEnd");
    QTest::addColumn<qint64>("begin");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<qint64>("from");

    QTest::newRow("small append, whole") << qint64{10} << qint64{0} << qint64{110} << qint64{10};
    QTest::newRow("exactly the bound") << qint64{10} << qint64{0} << qint64{4106} << qint64{10};
    QTest::newRow("bulk, newest text only") << qint64{10} << qint64{0} << qint64{1 << 20} << qint64{(1 << 20) - 4096};
    QTest::newRow("old text dropped meanwhile") << qint64{10} << qint64{500} << qint64{900} << qint64{500};
    QTest::newRow("nothing new") << qint64{900} << qint64{0} << qint64{900} << qint64{900};
}

// A flush announces [from, end) in one text-inserted event. (The offscreen platform has no
// accessibility, so the event itself is seen only on a desktop with the bus.)
void TrafficViewTest::textInsertedEventsAreBounded()
{
    QFETCH(qint64, announcedEnd);
    QFETCH(qint64, begin);
    QFETCH(qint64, end);
    QFETCH(qint64, from);
    QCOMPARE(announcedFrom(announcedEnd, begin, end), from);
}

#include "traffic_view_test.moc"
