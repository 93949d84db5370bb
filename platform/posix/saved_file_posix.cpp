// The file beside the chosen name is a hidden one made by mkstemp in the same folder, so that the rename
// that gives it the name stays within one file system and replaces an old file in one step.
#include "platform/saved_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

SaveError FromErrno(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return SaveError::NoRoom;
    case EACCES:
    case EPERM:
    case EROFS:
        return SaveError::NoPermission;
    case EISDIR:
        return SaveError::IsDirectory;
    case ENOENT:
    case ENOTDIR:
        return SaveError::NoSuchFolder;
    default:
        return SaveError::Other;
    }
}

class PosixSavedFile final : public SavedFile {
public:
    PosixSavedFile(int descriptor, std::string temporary, std::string path)
        : descriptor_(descriptor)
        , temporary_(std::move(temporary))
        , path_(std::move(path))
    { }
    PosixSavedFile(const PosixSavedFile&) = delete;
    PosixSavedFile& operator=(const PosixSavedFile&) = delete;

    ~PosixSavedFile() override
    {
        if (descriptor_ >= 0)
            ::close(descriptor_);
        if (!committed_)
            ::unlink(temporary_.c_str());
    }

    SaveError write(std::string_view bytes) override
    {
        while (!bytes.empty()) {
            const ssize_t n = ::write(descriptor_, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n < 0 ? FromErrno(errno) : SaveError::NoRoom;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return SaveError::None;
    }

    SaveError commit() override
    {
        // Some file systems report a full disk only when the data is flushed or the file closed.
        if (::fsync(descriptor_) != 0 && errno != EINVAL)
            return FromErrno(errno);
        const int closed = ::close(descriptor_);
        descriptor_ = -1;
        if (closed != 0)
            return FromErrno(errno);
        if (::rename(temporary_.c_str(), path_.c_str()) != 0)
            return FromErrno(errno);
        committed_ = true;
        return SaveError::None;
    }

private:
    int descriptor_;
    std::string temporary_;
    std::string path_;
    bool committed_ = false;
};

} // namespace

std::unique_ptr<SavedFile> CreateSavedFile(const std::string& path, SaveError* error)
{
    struct stat existing { };
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        *error = SaveError::IsDirectory;
        return nullptr;
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) {
        *error = SaveError::IsDirectory;
        return nullptr;
    }
    std::string temporary = folder + "." + name + ".XXXXXX";
    const int descriptor = ::mkstemp(temporary.data());
    if (descriptor < 0) {
        *error = FromErrno(errno);
        return nullptr;
    }
    // mkstemp makes the file for its owner alone; a saved file gets the mode a new file would, or keeps
    // the one of the file it replaces.
    mode_t mode = 0;
    if (exists) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(descriptor, mode);
    *error = SaveError::None;
    return std::make_unique<PosixSavedFile>(descriptor, std::move(temporary), path);
}
