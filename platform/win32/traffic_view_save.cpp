// "Save As...": the system's save dialog for the name, the received bytes written on a thread of their
// own, and a message box for a save that failed.
#include "platform/win32/traffic_view_window.h"

#include <commdlg.h>
#include <string>

#include "platform/saved_file.h"

namespace {

std::string Narrowed(const std::wstring& wide)
{
    if (wide.empty())
        return {};
    const int length
        = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::wstring Widened(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

} // namespace

void TrafficViewWindow::SaveAs()
{
    if (save_) {
        MessageBoxW(window_, L"The last save is still being written.", L"Save As", MB_OK | MB_ICONINFORMATION);
        return;
    }
    wchar_t path[MAX_PATH * 4] = {};
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = L"All files (*.*)\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(std::size(path));
    dialog.lpstrTitle = L"Save As";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&dialog))
        return;
    savePath_ = path;
    SaveError error = SaveError::None;
    std::unique_ptr<SavedFile> file = CreateSavedFile(Narrowed(savePath_), &error);
    if (!file) {
        FinishSaveWith(error);
        return;
    }
    const HWND window = window_;
    save_ = std::make_unique<ReceivedSave>(
        model_.heldStore().receivedSnapshot(), std::move(file), [window] { PostMessageW(window, kSaveEnded, 0, 0); });
}

void TrafficViewWindow::FinishSave()
{
    if (!save_ || !save_->finished())
        return;
    const SaveError error = save_->result();
    save_.reset();
    FinishSaveWith(error);
}

void TrafficViewWindow::FinishSaveWith(SaveError error)
{
    if (error == SaveError::None)
        return;
    const std::wstring message = Widened(saveFailureMessage(error, Narrowed(savePath_)));
    MessageBoxW(window_, message.c_str(), L"Save As", MB_OK | MB_ICONWARNING);
}
