// Append-only single-byte text with an index of line starts, sized for traffic that grows by hundreds
// of megabytes a minute. Bytes live in fixed-size chunks so that dropping the oldest lines frees whole
// chunks instead of moving what stays.
#ifndef BRINDLE_PLATFORM_TEXT_TEXT_STORE_H
#define BRINDLE_PLATFORM_TEXT_TEXT_STORE_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/traffic_format.h"

// Offsets are counted from the first byte appended since the last clear, so an offset keeps naming the
// same byte while older text is dropped. A line ends at LF; a CR right before the LF belongs to the line
// break, as does a CR that ends the text while its LF may still come. An empty store has one empty line.
class TextStore {
public:
    static constexpr std::int64_t kDefaultCapacity = std::int64_t{256} << 20;
    // Line starts are held as 32 bits relative to the oldest byte, which bounds what one store may hold.
    static constexpr std::int64_t kMaxCapacity = std::int64_t{1} << 31;
    static constexpr int kChunkShift = 20;
    static constexpr std::int64_t kChunkBytes = std::int64_t{1} << kChunkShift;

    TextStore();
    TextStore(const TextStore&) = delete;
    TextStore& operator=(const TextStore&) = delete;

    // False when memory ran out; text before the failing chunk is held.
    bool append(std::string_view text);
    // Appends the view text of one received chunk, as FormatTraffic makes it.
    bool appendTraffic(std::string_view bytes, TrafficFormat format);
    void clear();
    // Clamped to [1, kMaxCapacity]. Past it, the oldest whole lines go at once down to three quarters of
    // it, so that appends at capacity stay cheap.
    void setCapacity(std::int64_t maxCharacters);
    std::int64_t capacity() const { return capacity_; }

    std::int64_t size() const { return end_ - begin_; }
    std::int64_t beginOffset() const { return begin_; }
    std::int64_t endOffset() const { return end_; }
    std::int64_t lineCount() const { return static_cast<std::int64_t>(lineStarts_.size()); }
    // Lines dropped from the front since the last clear: a reader holding line numbers subtracts the
    // change.
    std::int64_t droppedLines() const { return droppedLines_; }
    // Only ever grows until the next clear, so a horizontal extent taken from it never shrinks under the
    // reader while old lines go.
    std::int64_t longestLine() const;

    std::int64_t lineStart(std::int64_t line) const;
    // Where the line's characters end, before its line break.
    std::int64_t lineEnd(std::int64_t line) const;
    // The line holding the offset; offsets past the end belong to the last line.
    std::int64_t lineAt(std::int64_t offset) const;

    char at(std::int64_t offset) const;
    // [from, to) must lie within what is held.
    void copy(std::int64_t from, std::int64_t to, char* out) const;
    std::string text(std::int64_t from, std::int64_t to) const;
    std::string text() const { return text(begin_, end_); }

    // Bytes allocated for text and index, the last chunk counted whole.
    std::size_t memoryUsage() const;

private:
    bool appendSlice(std::string_view text);
    void dropToCapacity();
    std::int64_t startAt(std::size_t index) const
    {
        return begin_ + static_cast<std::uint32_t>(lineStarts_[index] - static_cast<std::uint32_t>(begin_));
    }
    char* chunkFor(std::int64_t offset) const
    {
        return chunks_[static_cast<std::size_t>((offset >> kChunkShift) - firstChunk_)].get();
    }

    std::deque<std::unique_ptr<char[]>> chunks_;
    // Chunks freed by dropping old lines, taken again by the appends that follow: at capacity the
    // store then writes to pages it already has instead of faulting in fresh ones.
    std::vector<std::unique_ptr<char[]>> spareChunks_;
    std::int64_t firstChunk_ = 0;
    std::int64_t begin_ = 0;
    std::int64_t end_ = 0;
    std::deque<std::uint32_t> lineStarts_;
    std::int64_t droppedLines_ = 0;
    std::int64_t longestEnded_ = 0;
    std::int64_t capacity_ = kDefaultCapacity;
};

#endif
