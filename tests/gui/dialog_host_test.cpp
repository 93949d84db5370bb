// The Qt host on its own: what reaches the events, and what the controls read back.
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <QAccessible>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "modal_runner.h"
#include "platform/qt/qt_dialog_host.h"
#include "res/dialog_template.h"
#include "res/resource.h"

namespace {

class RecordingEvents final : public DialogEvents {
public:
    explicit RecordingEvents(QtDialogHost& host)
        : host_(host)
    { }

    void OnInitDialog() override { }
    bool OnCommand(int controlId) override
    {
        commands.emplace_back(controlId, host_.GetCheck(controlId));
        return handled.count(controlId) > 0;
    }
    void OnTimer(unsigned /*timerId*/) override { }
    bool OnSysCommand(unsigned /*commandId*/) override { return false; }

    std::vector<std::pair<int, unsigned>> commands; // id, check state as the handler saw it
    std::set<int> handled;

private:
    QtDialogHost& host_;
};

using Commands = std::vector<std::pair<int, unsigned>>;

} // namespace

class DialogHostTest : public QObject {
    Q_OBJECT

private slots:
    // Whatever changes a box for the user reports it once, with the new state; the host's own
    // writes to a box report nothing.
    void checkboxReportsNewState_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("byUser");
        QTest::newRow("mouse") << "mouse" << true;
        QTest::newRow("space bar") << "space" << true;
        QTest::newRow("accessible toggle") << QAccessibleActionInterface::toggleAction() << true;
        QTest::newRow("accessible press") << QAccessibleActionInterface::pressAction() << true;
        QTest::newRow("text and enabling") << "program" << false;
    }

    void checkboxReportsNewState()
    {
        QFETCH(QString, input);
        QFETCH(bool, byUser);
        QtDialogHost host(res::RelayDialogTemplate());
        RecordingEvents events(host);
        RunWith(host, events, [&](QDialog&) {
            auto* box = qobject_cast<QCheckBox*>(host.Control(IDC_CLIENT_CRLF));
            for (int i = 0; i < 2; ++i) {
                if (input == "mouse") {
                    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
                } else if (input == "space") {
                    box->setFocus();
                    QTest::keyClick(box, Qt::Key_Space);
                } else if (input == "program") {
                    host.SetControlText(IDC_CLIENT_CRLF, "LF");
                    host.EnableControl(IDC_CLIENT_CRLF, false);
                    host.EnableControl(IDC_CLIENT_CRLF, true);
                } else {
                    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(box);
                    QVERIFY(face && face->actionInterface());
                    face->actionInterface()->doAction(input);
                    // A press is animated: the click comes a moment later.
                    QTRY_COMPARE(box->isChecked(), i == 0);
                }
            }
        });
        const Commands expected = byUser ? Commands{{IDC_CLIENT_CRLF, 1}, {IDC_CLIENT_CRLF, 0}} : Commands{};
        QCOMPARE(events.commands, expected);
    }

    void handledOkKeepsWindowOpen()
    {
        QtDialogHost host(res::RelayDialogTemplate());
        RecordingEvents events(host);
        events.handled = {IDOK};
        const int result = RunWith(host, events, [&](QDialog&) {
            qobject_cast<QPushButton*>(host.Control(IDOK))->click();
            QVERIFY(host.Window()->isVisible());
        });
        QCOMPARE(result, kLeftOpen);
        QCOMPARE(events.commands, (Commands{{IDOK, 0}}));
    }

    void controlTexts_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("appends");
        QTest::newRow("edit, Latin-1") << IDC_DEST_HOST << QByteArray("caf\xe9.example") << false;
        QTest::newRow("view") << IDC_TO_SERVER_VIEW << QByteArray("GET / HTTP/1.0\r\n\r\n") << true;
        QTest::newRow("status line") << IDC_CLIENT_STATUS << QByteArray("Listening & waiting") << false;
        QTest::newRow("button") << IDC_CONNECT << QByteArray("Again") << false;
        QTest::newRow("group box") << IDC_CONFIGURE_GROUP << QByteArray("Setup") << false;
    }

    void controlTexts()
    {
        QFETCH(int, id);
        QFETCH(QByteArray, text);
        QFETCH(bool, appends);
        QtDialogHost host(res::RelayDialogTemplate());
        RecordingEvents events(host);
        RunWith(host, events, [&](QDialog&) {
            const std::string bytes = text.toStdString();
            host.SetControlText(id, bytes);
            QCOMPARE(host.GetControlText(id), bytes);
            host.AppendTrafficToEnd(id, "\xff", TrafficFormat{});
            QCOMPARE(host.GetControlText(id), appends ? bytes + "(xff)" : bytes);
            QVERIFY(!host.HasControl(4242));
            QCOMPARE(host.GetControlText(4242), std::string());
        });
    }

    void checkStates_data()
    {
        QTest::addColumn<Qt::CheckState>("state");
        QTest::addColumn<unsigned>("check");
        QTest::newRow("unchecked") << Qt::Unchecked << 0u;
        QTest::newRow("checked") << Qt::Checked << 1u;
        QTest::newRow("indeterminate") << Qt::PartiallyChecked << 2u;
    }

    void checkStates()
    {
        QFETCH(Qt::CheckState, state);
        QFETCH(unsigned, check);
        QtDialogHost host(res::RelayDialogTemplate());
        RecordingEvents events(host);
        RunWith(host, events, [&](QDialog&) {
            auto* box = qobject_cast<QCheckBox*>(host.Control(IDC_SERVER_BUFFERS));
            box->setTristate(true);
            box->setCheckState(state);
            QCOMPARE(host.GetCheck(IDC_SERVER_BUFFERS), check);
        });
    }

    void messageBoxOwner_data()
    {
        QTest::addColumn<bool>("withWindow");
        QTest::newRow("over the dialog") << true;
        QTest::newRow("before the dialog exists") << false;
    }

    void messageBoxOwner()
    {
        QFETCH(bool, withWindow);
        QtDialogHost host(res::RelayDialogTemplate());
        RecordingEvents events(host);
        bool seen = false;
        const auto showBox = [&] {
            WhenUp([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
                [&](QWidget& widget) {
                    auto& box = static_cast<QMessageBox&>(widget);
                    seen = true;
                    QCOMPARE(box.windowTitle(), QStringLiteral("brindle"));
                    QCOMPARE(box.text(), QStringLiteral("Port 80 is in use"));
                    QCOMPARE(box.buttons().size(), 1);
                    QCOMPARE(box.parentWidget(), host.Window());
                });
            host.MessageBox("Port 80 is in use");
        };
        if (withWindow)
            RunWith(host, events, [&](QDialog&) { showBox(); });
        else
            showBox();
        QVERIFY(seen);
    }
};

QTEST_MAIN(DialogHostTest)
#include "dialog_host_test.moc"
