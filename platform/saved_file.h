// A file written whole or not at all: the bytes go to a new file beside the chosen name, which takes
// that name only once everything is written and flushed. Whatever fails, nothing half-written is left
// under the name, and a file that was there stays as it was.
#ifndef BRINDLE_PLATFORM_SAVED_FILE_H
#define BRINDLE_PLATFORM_SAVED_FILE_H

#include <memory>
#include <string>
#include <string_view>

enum class SaveError {
    None,
    NoRoom, // the disk or the quota is full
    NoPermission, // the folder or the file may not be written
    IsDirectory, // the name is a folder's
    NoSuchFolder,
    Other,
};

class SavedFile {
public:
    virtual ~SavedFile() = default;
    virtual SaveError write(std::string_view bytes) = 0;
    // Flushes, closes and gives the file its name. Without it, the destructor removes what was written.
    virtual SaveError commit() = 0;
};

// Opens the file beside `path` (UTF-8) that becomes it; null, with the reason, when that cannot be.
std::unique_ptr<SavedFile> CreateSavedFile(const std::string& path, SaveError* error);

#endif
