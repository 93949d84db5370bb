// A DialogHost over a QDialog built from a dialog template. The window, and with it its controls,
// timers, menu and icon, exists only while RunModal runs, as a modal dialog's does.
#ifndef BRINDLE_PLATFORM_QT_QT_DIALOG_HOST_H
#define BRINDLE_PLATFORM_QT_QT_DIALOG_HOST_H

#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include <QPointer>
#include <QString>

#include "platform/dialog_host.h"
#include "platform/qt/dialog_builder.h"
#include "res/dialog_template.h"

class QDialog;
class QPoint;
class QTimer;
class QWidget;

class QtDialogHost final : public DialogHost {
public:
    explicit QtDialogHost(const res::DialogTemplate& dialogTemplate, QWidget* parent = nullptr);
    ~QtDialogHost() override;
    QtDialogHost(const QtDialogHost&) = delete;
    QtDialogHost& operator=(const QtDialogHost&) = delete;

    bool HasControl(int controlId) const override;
    std::string GetControlText(int controlId) const override;
    void SetControlText(int controlId, std::string_view text) override;
    void EnableControl(int controlId, bool enable) override;
    unsigned GetCheck(int controlId) const override;
    void AppendTrafficToEnd(int controlId, std::string_view bytes, TrafficFormat format) override;
    void MessageBox(std::string_view text) override;
    bool SetTimer(unsigned timerId, unsigned periodMs) override;
    bool AppendSystemMenuItem(unsigned commandId, std::string_view text) override;
    void SetIcon(int iconId, bool large) override;
    void RunModalDialog(int templateId, DialogEvents& events) override;
    int RunModal(DialogEvents& events) override;

    // The window while RunModal runs, nullptr otherwise.
    QDialog* Window() const;
    // nullptr for an unknown id or while there is no window.
    QWidget* Control(int controlId) const;
    // The scale of the current window.
    const DialogUnits& Units() const { return units_; }

private:
    class TemplateDialog;

    void Command(int controlId);
    bool WantsReturn(const QWidget* focus) const;
    void ShowSystemMenu(const QPoint& globalPos);
    void CloseWindow();

    const res::DialogTemplate& template_;
    QPointer<QWidget> parent_;
    std::unique_ptr<TemplateDialog> window_;
    DialogEvents* events_ = nullptr;
    DialogUnits units_;
    std::map<int, QWidget*> controls_;
    std::set<const QWidget*> takesReturn_;
    std::map<unsigned, QTimer*> timers_; // owned by the window
    std::vector<std::pair<unsigned, QString>> systemMenu_;
};

#endif
