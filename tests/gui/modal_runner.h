// Drives modal windows from inside their own event loops. Whatever an act leaves open is closed
// afterwards, so a failed check ends the test instead of hanging it.
#ifndef BRINDLE_TESTS_GUI_MODAL_RUNNER_H
#define BRINDLE_TESTS_GUI_MODAL_RUNNER_H

#include <functional>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "platform/dialog_host.h"
#include "platform/qt/qt_dialog_host.h"

// What RunModal returns when the act did not end the dialog.
inline constexpr int kLeftOpen = -2;

// Runs the host's dialog and `act` on it once the window is up and active.
inline int RunWith(QtDialogHost& host, DialogEvents& events, std::function<void(QDialog&)> act)
{
    QTimer::singleShot(0, [&host, act] {
        QPointer<QDialog> dialog = host.Window();
        const bool active = dialog && QTest::qWaitForWindowActive(dialog);
        if (active)
            act(*dialog);
        if (dialog && dialog->isVisible())
            dialog->done(kLeftOpen);
        QVERIFY2(active, "the dialog never became the active window");
    });
    return host.RunModal(events);
}

// Runs `act` on the window `find` returns as soon as there is one, then closes it. Looks again a
// bounded number of times while a nested event loop gets going.
inline void WhenUp(std::function<QWidget*()> find, std::function<void(QWidget&)> act, int looksLeft = 200)
{
    QTimer::singleShot(10, [find, act, looksLeft] {
        QPointer<QWidget> widget = find();
        if (widget && widget->isVisible()) {
            act(*widget);
            if (widget && widget->isVisible())
                widget->close();
        } else if (looksLeft > 0) {
            WhenUp(find, act, looksLeft - 1);
        } else {
            QFAIL("the awaited window never came up");
        }
    });
}

inline QWidget* ModalTitled(const QString& title)
{
    QWidget* modal = QApplication::activeModalWidget();
    return modal && modal->windowTitle() == title ? modal : nullptr;
}

#endif
