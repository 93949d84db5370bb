#include "fake_dialog_host.h"

#include "res/resource.h"

FakeDialogHost::FakeDialogHost(const res::DialogTemplate& dialog)
{
    for (const res::ControlTemplate& control : dialog.controls) {
        if (control.id == IDC_STATIC)
            continue;
        controls_[control.id] = Control{control.kind, control.text, (control.style & res::kDisabled) == 0, 0};
    }
}

bool FakeDialogHost::HasControl(int controlId) const
{
    return controls_.count(controlId) != 0;
}

std::string FakeDialogHost::GetControlText(int controlId) const
{
    auto it = controls_.find(controlId);
    return it == controls_.end() ? std::string() : it->second.text;
}

void FakeDialogHost::SetControlText(int controlId, std::string_view text)
{
    auto it = controls_.find(controlId);
    if (it == controls_.end())
        return;
    it->second.text = std::string(text);
    if (controlId == IDC_CLIENT_STATUS || controlId == IDC_SERVER_STATUS)
        statusHistory.emplace_back(controlId, std::string(text));
}

void FakeDialogHost::EnableControl(int controlId, bool enable)
{
    auto it = controls_.find(controlId);
    if (it != controls_.end())
        it->second.enabled = enable;
}

unsigned FakeDialogHost::GetCheck(int controlId) const
{
    auto it = controls_.find(controlId);
    return it == controls_.end() ? 0 : it->second.check;
}

void FakeDialogHost::AppendTrafficToEnd(int controlId, std::string_view bytes, TrafficFormat format)
{
    auto it = controls_.find(controlId);
    if (it == controls_.end())
        return;
    std::string text = TrafficText(bytes, format);
    it->second.text.append(text);
    appends.emplace_back(controlId, std::move(text));
}

void FakeDialogHost::MessageBox(std::string_view text)
{
    messageBoxes.emplace_back(text);
    if (whileMessageBoxOpen)
        whileMessageBoxOpen();
}

bool FakeDialogHost::SetTimer(unsigned timerId, unsigned periodMs)
{
    ++timerStarts;
    if (failTimers)
        return false;
    timers[timerId] = periodMs;
    return true;
}

bool FakeDialogHost::AppendSystemMenuItem(unsigned commandId, std::string_view text)
{
    systemMenu.emplace_back(commandId, std::string(text));
    return true;
}

void FakeDialogHost::SetIcon(int iconId, bool large)
{
    icons.emplace_back(iconId, large);
}

void FakeDialogHost::RunModalDialog(int templateId, DialogEvents& dialogEvents)
{
    modalDialogs.push_back(templateId);
    dialogEvents.OnInitDialog();
}

int FakeDialogHost::RunModal(DialogEvents& dialogEvents)
{
    events = &dialogEvents;
    dialogEvents.OnInitDialog();
    return IDOK;
}

void FakeDialogHost::Click(int controlId)
{
    Control& control = controls_.at(controlId);
    if (!control.enabled)
        return;
    if (control.kind == res::ControlKind::AutoCheckBox)
        control.check = control.check == 1 ? 0 : 1;
    if (events != nullptr)
        events->OnCommand(controlId);
}
