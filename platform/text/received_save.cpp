#include "platform/text/received_save.h"

#include <utility>

SaveError WriteSnapshot(const ByteSnapshot& bytes, SavedFile& file)
{
    for (const std::string_view piece : bytes.pieces()) {
        if (const SaveError error = file.write(piece); error != SaveError::None)
            return error;
    }
    return file.commit();
}

std::string saveFailureMessage(SaveError error, std::string_view path)
{
    const char* reason = "it could not be written.";
    switch (error) {
    case SaveError::NoRoom:
        reason = "there is not enough room on the disk.";
        break;
    case SaveError::NoPermission:
        reason = "you do not have permission to write there.";
        break;
    case SaveError::IsDirectory:
        reason = "it is a folder.";
        break;
    case SaveError::NoSuchFolder:
        reason = "the folder does not exist.";
        break;
    case SaveError::None:
    case SaveError::Other:
        break;
    }
    return "Could not save to \"" + std::string(path) + "\": " + reason + " Nothing was written there.";
}

ReceivedSave::ReceivedSave(ByteSnapshot bytes, std::unique_ptr<SavedFile> file, std::function<void()> done)
    : bytes_(std::move(bytes))
    , file_(std::move(file))
{
    writer_ = std::thread([this, done = std::move(done)] {
        result_ = WriteSnapshot(bytes_, *file_);
        // Closed (or removed) before anyone hears it is over.
        file_.reset();
        finished_.store(true, std::memory_order_release);
        if (done)
            done();
    });
}

ReceivedSave::~ReceivedSave()
{
    writer_.join();
}
