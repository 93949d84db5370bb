// The relay console in the real Qt window: its opening state, keyboard, menu, About box and what
// assistive tools read.
#include <vector>

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "app/about_dlg.h"
#include "app/relay_app.h"
#include "console/relay_dlg.h"
#include "fakes/fake_sockets.h"
#include "fakes/fake_system.h"
#include "modal_runner.h"
#include "platform/qt/qt_dialog_host.h"
#include "platform/qt/traffic_view.h"
#include "res/dialog_template.h"
#include "res/resource.h"

namespace {

struct Console {
    FakeSockets sockets;
    FakeSystem system;
    QtDialogHost host{res::RelayDialogTemplate()};
    CRelayDlg dlg{host, sockets, system, [this] {
                      CAboutDlg about(host);
                      about.DoModal();
                  }};

    int Run(std::function<void(QDialog&)> act) { return RunWith(host, dlg, std::move(act)); }
};

const res::ControlTemplate& TemplateOf(int id)
{
    for (const res::ControlTemplate& control : res::RelayDialogTemplate().controls) {
        if (control.id == id)
            return control;
    }
    qFatal("no control %d in the template", id);
}

// The tab stops of the template that are enabled in the window, in template order.
std::vector<int> EnabledTabStops(const QtDialogHost& host)
{
    std::vector<int> ids;
    for (const res::ControlTemplate& control : res::RelayDialogTemplate().controls) {
        if ((control.style & res::kTabStop) && host.Control(control.id)->isEnabled())
            ids.push_back(control.id);
    }
    return ids;
}

int IdOf(const QtDialogHost& host, const QWidget* widget)
{
    for (const res::ControlTemplate& control : res::RelayDialogTemplate().controls) {
        if (control.id != IDC_STATIC && host.Control(control.id) == widget)
            return control.id;
    }
    return 0;
}

} // namespace

class RelayWindowTest : public QObject {
    Q_OBJECT

private slots:
    void openingState_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QByteArray>("className");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        const auto row = [](int id, const char* className, const char* text, bool enabled) {
            QTest::addRow("%d %s", id, text) << id << QByteArray(className) << QString::fromLatin1(text) << enabled;
        };
        row(IDOK, "QPushButton", "OK", true);
        row(IDCANCEL, "QPushButton", "Cancel", true);
        row(IDC_CONFIGURE_GROUP, "QGroupBox", "Configure", true);
        row(IDC_LISTEN_PORT, "QLineEdit", "80", true);
        row(IDC_DEST_PORT, "QLineEdit", "80", true);
        row(IDC_DEST_HOST, "QLineEdit", "", true);
        row(IDC_LISTEN, "QPushButton", "Listen", true);
        row(IDC_PLUGIN_PATH, "QLineEdit", "", false);
        row(IDC_PLUGIN_LOAD, "QPushButton", "Load", false);
        row(IDC_CLIENT_SENT, "QLineEdit", "0", true);
        row(IDC_CLIENT_RECEIVED, "QLineEdit", "0", true);
        row(IDC_CLIENT_RESET, "QPushButton", "Reset", true);
        row(IDC_TO_SERVER_VIEW, "TrafficView", "", true);
        row(IDC_CLIENT_AUTO, "QCheckBox", "Auto", true);
        row(IDC_CLIENT_CRLF, "QCheckBox", "CRLF", true);
        row(IDC_CLIENT_CLEAR_ON_SEND, "QCheckBox", "Clear", true);
        row(IDC_CLIENT_BUFFERS, "QCheckBox", "Buffers", true);
        row(IDC_CLIENT_CLEAR, "QPushButton", "Clear", true);
        row(IDC_CONNECT, "QPushButton", "Connect", true);
        row(IDC_CLIENT_SEND, "QPushButton", "Send", false);
        row(IDC_CLIENT_DISCONNECT, "QPushButton", "Disconnect", true);
        row(IDC_SERVER_SENT, "QLineEdit", "0", true);
        row(IDC_SERVER_RECEIVED, "QLineEdit", "0", true);
        row(IDC_SERVER_RESET, "QPushButton", "Reset", true);
        row(IDC_TO_CLIENT_VIEW, "TrafficView", "", true);
        row(IDC_SERVER_AUTO, "QCheckBox", "Auto", true);
        row(IDC_SERVER_CRLF, "QCheckBox", "CRLF", true);
        row(IDC_SERVER_CLEAR_ON_SEND, "QCheckBox", "Clear", true);
        row(IDC_SERVER_BUFFERS, "QCheckBox", "Buffers", true);
        row(IDC_SERVER_CLEAR, "QPushButton", "Clear", true);
        row(IDC_SERVER_SEND, "QPushButton", "Send", false);
        row(IDC_SERVER_DISCONNECT, "QPushButton", "Disconnect", false);
        row(IDC_STOP_SERVER, "QPushButton", "Stop Server", true);
        row(IDC_CLIENT_STATUS, "QLabel", "Idle", true);
        row(IDC_SERVER_STATUS, "QLabel", "Idle", true);
    }

    void openingState()
    {
        QFETCH(int, id);
        QFETCH(QByteArray, className);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        Console console;
        console.Run([&](QDialog& dialog) {
            QWidget* widget = console.host.Control(id);
            QVERIFY(widget);
            QVERIFY(widget->inherits(className.constData()));
            QCOMPARE(QString::fromLatin1(console.host.GetControlText(id)), text);
            QCOMPARE(widget->isEnabled(), enabled);
            QCOMPARE(console.host.GetCheck(id), 0u);
            // Children of the dialog itself, group boxes included, at the template's place.
            QCOMPARE(widget->parentWidget(), &dialog);
            const res::ControlTemplate& control = TemplateOf(id);
            QCOMPARE(widget->geometry(), console.host.Units().ToPixels(control.x, control.y, control.w, control.h));
        });
    }

    void frameAndScale()
    {
        Console console;
        console.Run([&](QDialog& dialog) {
            const DialogUnits& units = console.host.Units();
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Windows Brindle"));
            QCOMPARE(dialog.size(), QSize(units.ToPixelsX(510), units.ToPixelsY(343)));
            QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
            QVERIFY(!(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
            QCOMPARE(units.baseHeight, dialog.fontMetrics().height());
            QVERIFY(units.baseWidth >= DialogUnitsOf(dialog.font()).baseWidth);
            QVERIFY(!dialog.windowIcon().isNull());
        });
    }

    void textsFit()
    {
        Console console;
        console.Run([&](QDialog& dialog) {
            for (QLabel* label : dialog.findChildren<QLabel*>())
                QVERIFY2(
                    label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), qPrintable(label->text()));
            for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
                QVERIFY2(box->sizeHint().width() <= box->width(), qPrintable(box->text()));
            for (QPushButton* button : dialog.findChildren<QPushButton*>())
                QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) < button->width(),
                    qPrintable(button->text()));
        });
    }

    void tabOrderFollowsTemplate()
    {
        Console console;
        std::vector<int> visited;
        std::vector<int> expected;
        console.Run([&](QDialog&) {
            expected = EnabledTabStops(console.host);
            expected.push_back(expected.front()); // and round again
            for (std::size_t i = 0; i < expected.size(); ++i) {
                QWidget* focus = QApplication::focusWidget();
                visited.push_back(IdOf(console.host, focus));
                QTest::keyClick(focus, Qt::Key_Tab);
            }
        });
        QCOMPARE(expected.front(), IDOK);
        QCOMPARE(visited, expected);
    }

    void endings_data()
    {
        QTest::addColumn<int>("focusId");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("clickId");
        QTest::addColumn<int>("result");
        QTest::newRow("OK") << 0 << 0 << IDOK << IDOK;
        QTest::newRow("Cancel") << 0 << 0 << IDCANCEL << IDCANCEL;
        QTest::newRow("Escape") << IDC_DEST_HOST << int(Qt::Key_Escape) << 0 << IDCANCEL;
        QTest::newRow("close box") << 0 << 0 << 0 << IDCANCEL;
        QTest::newRow("Enter in a port") << IDC_LISTEN_PORT << int(Qt::Key_Return) << 0 << IDOK;
        QTest::newRow("keypad Enter in a counter") << IDC_CLIENT_SENT << int(Qt::Key_Enter) << 0 << IDOK;
        QTest::newRow("Enter on a checkbox") << IDC_SERVER_CRLF << int(Qt::Key_Return) << 0 << IDOK;
        QTest::newRow("Enter in a view") << IDC_TO_CLIENT_VIEW << int(Qt::Key_Return) << 0 << kLeftOpen;
        QTest::newRow("Escape in a view") << IDC_TO_SERVER_VIEW << int(Qt::Key_Escape) << 0 << IDCANCEL;
    }

    void endings()
    {
        QFETCH(int, focusId);
        QFETCH(int, key);
        QFETCH(int, clickId);
        QFETCH(int, result);
        Console console;
        const int returned = console.Run([&](QDialog& dialog) {
            if (focusId) {
                console.host.Control(focusId)->setFocus();
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            } else if (clickId) {
                QTest::mouseClick(console.host.Control(clickId), Qt::LeftButton);
            } else {
                dialog.close();
            }
        });
        QCOMPARE(returned, result);
    }

    void backgroundMenuOpensAboutBox()
    {
        Console console;
        QStringList menuItems;
        QStringList aboutTexts;
        console.Run([&](QDialog& dialog) {
            WhenUp([] { return QApplication::activePopupWidget(); },
                [&](QWidget& popup) {
                    for (const QAction* action : popup.actions())
                        menuItems << (action->isSeparator() ? QStringLiteral("-") : action->text());
                    WhenUp([] { return ModalTitled(QStringLiteral("About brindle")); },
                        [&](QWidget& about) {
                            for (const QLabel* label : about.findChildren<QLabel*>())
                                aboutTexts << (label->pixmap().isNull() ? label->text() : QStringLiteral("icon"));
                            for (QPushButton* button : about.findChildren<QPushButton*>()) {
                                aboutTexts << button->text();
                                button->click();
                            }
                        });
                    QTest::keyClick(&popup, Qt::Key_A);
                });
            const QPoint background(2, 2);
            QContextMenuEvent event(QContextMenuEvent::Mouse, background, dialog.mapToGlobal(background));
            QApplication::sendEvent(&dialog, &event);
        });
        QCOMPARE(menuItems, (QStringList{"-", "&About brindle..."}));
        QCOMPARE(aboutTexts,
            (QStringList{"icon", "Brindle Version 2.1", "Copyright (C) 2026 the Brindle developers", "OK"}));
    }

    void accessibleNames_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("content"); // its value, or its description where it has no value
        // The label it is labelled by, which readers speak in place of the name: a counter's and a
        // view's carries the group.
        QTest::addColumn<QString>("caption");
        QTest::newRow("port") << IDC_LISTEN_PORT << "Listen Port"
                              << "80"
                              << "Listen Port:";
        QTest::newRow("host") << IDC_DEST_HOST << "Destination Host"
                              << ""
                              << "Destination Host:";
        QTest::newRow("label after its field") << IDC_PLUGIN_PATH << "Path"
                                               << ""
                                               << "Path";
        QTest::newRow("client sent") << IDC_CLIENT_SENT << "Local Client Sent bytes"
                                     << "0"
                                     << "Local Client Sent bytes";
        QTest::newRow("server sent") << IDC_SERVER_SENT << "Local Server Sent bytes"
                                     << "0"
                                     << "Local Server Sent bytes";
        QTest::newRow("client received") << IDC_CLIENT_RECEIVED << "Local Client Received bytes"
                                         << "0"
                                         << "Local Client Received bytes";
        QTest::newRow("server received") << IDC_SERVER_RECEIVED << "Local Server Received bytes"
                                         << "0"
                                         << "Local Server Received bytes";
        QTest::newRow("view to server") << IDC_TO_SERVER_VIEW << "Local Client (to remote server)"
                                        << ""
                                        << "Local Client (to remote server)";
        QTest::newRow("view to client") << IDC_TO_CLIENT_VIEW << "Local Server (to remote client)"
                                        << ""
                                        << "Local Server (to remote client)";
        QTest::newRow("client status") << IDC_CLIENT_STATUS << "Idle"
                                       << "Idle"
                                       << "Local client status:";
        QTest::newRow("shared checkbox") << IDC_SERVER_AUTO << "Local Server Auto"
                                         << ""
                                         << "";
        QTest::newRow("shared checkbox, other group") << IDC_CLIENT_BUFFERS << "Local Client Buffers"
                                                      << ""
                                                      << "";
        QTest::newRow("unique button") << IDC_CONNECT << "Connect"
                                       << ""
                                       << "";
        QTest::newRow("default button") << IDOK << "OK"
                                        << ""
                                        << "";
    }

    void accessibleNames()
    {
        QFETCH(int, id);
        QFETCH(QString, name);
        QFETCH(QString, content);
        QFETCH(QString, caption);
        Console console;
        console.Run([&](QDialog&) {
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(console.host.Control(id));
            QVERIFY(face);
            QCOMPARE(face->text(QAccessible::Name), name);
            const auto labels = face->relations(QAccessible::Label);
            QCOMPARE(labels.isEmpty() ? QString() : labels.front().first->text(QAccessible::Name), caption);
            const QString value = face->text(QAccessible::Value);
            QCOMPARE(value.isEmpty() ? face->text(QAccessible::Description) : value, content);
        });
    }

    // A reader speaks the status itself, by name and by text, and finds its caption through the
    // labelled-by relation.
    void statusLineReadsItsText_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("caption");
        QTest::newRow("client") << IDC_CLIENT_STATUS << "Local client status:";
        QTest::newRow("server") << IDC_SERVER_STATUS << "Local server status:";
    }

    void statusLineReadsItsText()
    {
        QFETCH(int, id);
        QFETCH(QString, caption);
        Console console;
        console.Run([&](QDialog&) {
            const QString status = QStringLiteral("Failed to bind socket. Error code 10048. : WSAEADDRINUSE");
            console.host.SetControlText(id, status.toStdString());
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(console.host.Control(id));
            QVERIFY(face && face->textInterface());
            QCOMPARE(face->text(QAccessible::Name), status);
            QCOMPARE(face->text(QAccessible::Description), QString());
            QAccessibleTextInterface* text = face->textInterface();
            QCOMPARE(text->text(0, text->characterCount()), status);
            int start = -1;
            int end = -1;
            QCOMPARE(text->textAtOffset(7, QAccessible::WordBoundary, &start, &end), QStringLiteral("to"));
            QVERIFY(text->characterRect(0).isValid());
            const auto labels = face->relations(QAccessible::Label);
            QCOMPARE(labels.size(), 1);
            QCOMPARE(labels.front().first->text(QAccessible::Name), caption);
        });
    }

    // A chunk from the remote client reaches the real view formatted, with its line breaks, and
    // the view ends scrolled to the end.
    void trafficAppearsInTheView()
    {
        Console console;
        console.Run([&](QDialog&) {
            console.host.SetControlText(IDC_DEST_HOST, "127.0.0.1");
            console.dlg.OnCommand(IDC_LISTEN);
            console.sockets.QueueClient();
            console.dlg.OnTimer(POLL_TIMER_ID);
            const SocketHandle client = console.sockets.lastAccepted;
            std::string request = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
            for (int line = 0; line < 60; ++line)
                request += "line " + std::to_string(line) + "\x1b\n";
            console.sockets.Deliver(client, request);
            console.dlg.OnTimer(POLL_TIMER_ID);
            auto* view = qobject_cast<TrafficView*>(console.host.Control(IDC_TO_SERVER_VIEW));
            QVERIFY(view);
            const std::string text = view->text();
            QCOMPARE(text.substr(0, 33), std::string("GET / HTTP/1.1\r\nHost: x\r\n\r\nline 0"));
            QVERIFY(text.find("line 59(x1b)\r\n") != std::string::npos);
            QTRY_VERIFY(view->verticalScrollBar()->maximum() > 0);
            QTRY_COMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
        });
    }

    void socketsStartupFailure()
    {
        Console console;
        console.sockets.Fail(FakeSockets::Call::Startup, 10091);
        QString shown;
        bool windowSeen = true;
        WhenUp([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
            [&](QWidget& box) {
                shown = static_cast<QMessageBox&>(box).text();
                windowSeen = console.host.Window() != nullptr;
            });
        CRelayApp app(console.host, console.sockets, console.system);
        QCOMPARE(app.InitInstance(), 0);
        QCOMPARE(shown, QStringLiteral("Windows sockets initialization failed."));
        QVERIFY(!windowSeen);
    }
};

QTEST_MAIN(RelayWindowTest)
#include "relay_window_test.moc"
