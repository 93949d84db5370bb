// What assistive tools are told of a dialog's controls: the names the template gives them, and a
// status line's new text where the focus is not.
#include "platform/accessible_names.h"
#include "platform/win32/win32_dialog_host.h"

namespace {

std::wstring Widened(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        wide[i] = static_cast<unsigned char>(text[i]);
    return wide;
}

} // namespace

void Win32DialogHost::AnnotateControls()
{
    const res::DialogTemplate* dialogTemplate = res::FindDialogTemplate(templateId_);
    if (!dialogTemplate)
        return;
    for (const auto& [control, name] : AccessibleNames(*dialogTemplate)) {
        if (TrafficViewWindow* view = View(control->id))
            view->SetAccessibleName(name);
        else if (const HWND window = Control(control->id))
            annotations_.push_back(std::make_unique<ControlAnnotation>(window, Widened(name)));
    }
    for (const res::ControlTemplate& control : dialogTemplate->controls) {
        if (IsStatusLine(control))
            statusLines_.insert(control.id);
    }
    if (!statusLines_.empty() && !uia_)
        uia_ = UiaLibrary::Load();
}

void Win32DialogHost::AnnounceStatus(HWND line) const
{
    AnnounceNewName(line, uia_.get());
}
