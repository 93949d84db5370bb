// An in-memory window with the controls of a dialog template: texts, enable states, check
// states and view texts are plain data the test can read and change.
#ifndef BRINDLE_TESTS_FAKE_DIALOG_HOST_H
#define BRINDLE_TESTS_FAKE_DIALOG_HOST_H

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/dialog_host.h"
#include "res/dialog_template.h"

class FakeDialogHost final : public DialogHost {
public:
    struct Control {
        res::ControlKind kind;
        std::string text;
        bool enabled = true;
        unsigned check = 0;
    };

    explicit FakeDialogHost(const res::DialogTemplate& dialog);

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

    // What a user does: a click on a button, or on a checkbox (which flips it first).
    void Click(int controlId);
    void SetCheck(int controlId, unsigned check) { controls_.at(controlId).check = check; }
    void Type(int controlId, const std::string& text) { controls_.at(controlId).text = text; }
    bool IsEnabled(int controlId) const { return controls_.at(controlId).enabled; }
    const std::string& Text(int controlId) const { return controls_.at(controlId).text; }
    void RemoveControl(int controlId) { controls_.erase(controlId); }

    DialogEvents* events = nullptr;
    std::vector<std::string> messageBoxes;
    // Runs while a message box is open, as the box's own loop would run timer ticks.
    std::function<void()> whileMessageBoxOpen;
    std::map<unsigned, unsigned> timers;
    bool failTimers = false;
    int timerStarts = 0;
    // The text of every chunk appended to a view, in order.
    std::vector<std::pair<int, std::string>> appends;
    std::vector<std::pair<unsigned, std::string>> systemMenu;
    std::vector<std::pair<int, bool>> icons;
    std::vector<int> modalDialogs;
    // Every status line text written, in order, by line id.
    std::vector<std::pair<int, std::string>> statusHistory;

private:
    std::map<int, Control> controls_;
};

#endif
