// "Save As...": the received bytes a view holds, written to a file as they came, off the user-interface
// thread so that hundreds of megabytes do not stop the window. The bytes are a snapshot: traffic keeps
// arriving and old bytes keep being dropped while it is written, and neither changes the file.
#ifndef BRINDLE_PLATFORM_TEXT_RECEIVED_SAVE_H
#define BRINDLE_PLATFORM_TEXT_RECEIVED_SAVE_H

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "platform/saved_file.h"
#include "platform/text/byte_chunks.h"

// Every piece, then the commit; the first failure ends it.
SaveError WriteSnapshot(const ByteSnapshot& bytes, SavedFile& file);

// What the message box says when a save to `path` failed.
std::string saveFailureMessage(SaveError error, std::string_view path);

class ReceivedSave {
public:
    // Starts writing at once; `done` runs on the writing thread when it has ended, for the host to
    // post itself a note.
    ReceivedSave(ByteSnapshot bytes, std::unique_ptr<SavedFile> file, std::function<void()> done);
    ReceivedSave(const ReceivedSave&) = delete;
    ReceivedSave& operator=(const ReceivedSave&) = delete;
    // Waits for the writing to end.
    ~ReceivedSave();

    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // Once finished.
    SaveError result() const { return result_; }

private:
    ByteSnapshot bytes_;
    std::unique_ptr<SavedFile> file_;
    SaveError result_ = SaveError::None;
    std::atomic<bool> finished_{false};
    std::thread writer_;
};

#endif
