// "Save As...": the system's save dialog for the name, the received bytes written on a thread of their
// own, and a message box for a save that failed.
#include "platform/win32/traffic_view_window.h"

#include <commdlg.h>
#include <string>

#include "platform/saved_file.h"
#include "platform/win32/utf8_paths.h"

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
