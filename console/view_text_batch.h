// Display text of one receive pass, gathered for its view and handed over in a few large appends
// instead of one per piece: the view then pays its per-append cost (lookup, index, notification)
// a few times a tick rather than thousands of times.
#ifndef BRINDLE_CONSOLE_VIEW_TEXT_BATCH_H
#define BRINDLE_CONSOLE_VIEW_TEXT_BATCH_H

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/text/traffic_format.h"

class ViewTextBatch {
public:
    // Text held before it must go to the view, and room always left after it for the text of one
    // whole chunk.
    static constexpr std::size_t kHandOverSize = std::size_t{1} << 20;
    static constexpr std::size_t kChunkRoom = FormattedTrafficBound(4096);

    ViewTextBatch()
        : text_(new char[kHandOverSize + kChunkRoom])
    { }

    // Starts gathering for a view; 0 means none.
    void Begin(int viewId) { viewId_ = viewId; }
    void End() { viewId_ = 0; }
    bool Gathers(int viewId) const { return viewId_ != 0 && viewId == viewId_; }
    int ViewId() const { return viewId_; }

    bool Full() const { return size_ >= kHandOverSize; }
    // Where the next text goes; at least kChunkRoom characters are free there until Commit.
    char* Tail() { return text_.get() + size_; }
    void Commit(std::size_t length) { size_ += length; }
    void Append(std::string_view text);

    std::string_view Text() const { return {text_.get(), size_}; }
    void Clear() { size_ = 0; }

private:
    std::unique_ptr<char[]> text_;
    std::size_t size_ = 0;
    int viewId_ = 0;
};

#endif
