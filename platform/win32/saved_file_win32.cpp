// The file beside the chosen name is a new one in the same folder, which MoveFileEx then puts in the
// name's place, replacing an old file in one step.
#include "platform/saved_file.h"

#include <algorithm>
#include <string>

#include "platform/win32/utf8_paths.h"
#include "platform/win32/windows_api.h"

namespace {

SaveError FromLastError(DWORD error)
{
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return SaveError::NoRoom;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
        return SaveError::NoPermission;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return SaveError::NoSuchFolder;
    default:
        return SaveError::Other;
    }
}

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class Win32SavedFile final : public SavedFile {
public:
    Win32SavedFile(HANDLE file, std::wstring temporary, std::wstring path)
        : file_(file)
        , temporary_(std::move(temporary))
        , path_(std::move(path))
    { }
    Win32SavedFile(const Win32SavedFile&) = delete;
    Win32SavedFile& operator=(const Win32SavedFile&) = delete;

    ~Win32SavedFile() override
    {
        if (file_ != INVALID_HANDLE_VALUE)
            CloseHandle(file_);
        if (!committed_)
            DeleteFileW(temporary_.c_str());
    }

    SaveError write(std::string_view bytes) override
    {
        while (!bytes.empty()) {
            const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), DWORD{1} << 30));
            DWORD written = 0;
            if (!WriteFile(file_, bytes.data(), piece, &written, nullptr))
                return FromLastError(GetLastError());
            if (written == 0)
                return SaveError::NoRoom;
            bytes.remove_prefix(written);
        }
        return SaveError::None;
    }

    SaveError commit() override
    {
        if (!FlushFileBuffers(file_))
            return FromLastError(GetLastError());
        const BOOL closed = CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        if (!closed)
            return FromLastError(GetLastError());
        if (!MoveFileExW(temporary_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return IsDirectory(path_) ? SaveError::IsDirectory : FromLastError(GetLastError());
        committed_ = true;
        return SaveError::None;
    }

private:
    HANDLE file_;
    std::wstring temporary_;
    std::wstring path_;
    bool committed_ = false;
};

} // namespace

std::unique_ptr<SavedFile> CreateSavedFile(const std::string& path, SaveError* error)
{
    const std::wstring wide = Widened(path);
    if (wide.empty() || IsDirectory(wide) || wide.back() == L'\\' || wide.back() == L'/') {
        *error = SaveError::IsDirectory;
        return nullptr;
    }
    // A name of its own beside the chosen one: the process and a count make it unique among saves.
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring temporary;
    for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = wide + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".part";
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            *error = FromLastError(GetLastError());
            return nullptr;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        *error = SaveError::Other;
        return nullptr;
    }
    *error = SaveError::None;
    return std::make_unique<Win32SavedFile>(file, std::move(temporary), wide);
}
