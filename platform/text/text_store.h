// Append-only single-byte text with an index of line starts, sized for traffic that grows by hundreds
// of megabytes a minute. Received chunks are held as their bytes and options, a few characters fewer
// each than their text, and only the chunks that are read get formatted: most traffic is dropped again
// before anyone looks at it.
#ifndef BRINDLE_PLATFORM_TEXT_TEXT_STORE_H
#define BRINDLE_PLATFORM_TEXT_TEXT_STORE_H

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/byte_chunks.h"
#include "platform/text/traffic_format.h"

// Offsets are counted from the first byte appended since the last clear, so an offset keeps naming the
// same byte while older text is dropped. A line ends at LF; a CR right before the LF belongs to the line
// break, as does a CR that ends the text while its LF may still come. An empty store has one empty line.
class TextStore {
public:
    static constexpr std::int64_t kDefaultCapacity = std::int64_t{256} << 20;
    // Line starts are held as 32 bits relative to the oldest byte, which bounds what one store may hold.
    static constexpr std::int64_t kMaxCapacity = std::int64_t{1} << 31;
    static constexpr std::int64_t kChunkBytes = ByteChunks::kChunkBytes;
    // Larger chunks are formatted as they come, so that reading one character never formats megabytes;
    // and so are chunks whose text is shorter than this or than their bytes, which take less room as
    // text.
    static constexpr std::size_t kLazyTrafficBytes = 64 * 1024;
    static constexpr std::size_t kLazyTrafficChars = 256;

    TextStore();
    TextStore(const TextStore&) = delete;
    TextStore& operator=(const TextStore&) = delete;

    // False when memory ran out; text before the failing chunk is held.
    bool append(std::string_view text);
    // Appends the view text of one received chunk, as FormatTraffic makes it, the same in every answer
    // as appending that text.
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

    // Reads format the received chunks they touch and keep the last few, so that painting, stepping
    // through the text and searching it in slices format each chunk about once. Not safe from two
    // threads at once.
    char at(std::int64_t offset) const
    {
        if (static_cast<std::uint64_t>(offset - read_.from) < static_cast<std::uint64_t>(read_.to - read_.from))
            return read_.data[offset - read_.from];
        return readable(offset)[0];
    }
    // [from, to) must lie within what is held.
    void copy(std::int64_t from, std::int64_t to, char* out) const;
    std::string text(std::int64_t from, std::int64_t to) const;
    std::string text() const { return text(begin_, end_); }

    // Bytes allocated for bytes held, index and formatted chunks, the last chunk counted whole.
    std::size_t memoryUsage() const;

private:
    // One stretch of the text: text appended as it is, or one received chunk held as its bytes.
    struct Segment {
        std::int64_t charBegin;
        std::int64_t charLength;
        std::int64_t rawBegin;
        std::int64_t rawLength; // of a received chunk
        bool traffic;
        TrafficFormat format;
        std::int64_t charEnd() const { return charBegin + charLength; }
    };
    // Characters a read may take at once, and where they came from.
    struct ReadSpan {
        std::int64_t from = 0;
        std::int64_t to = 0;
        const char* data = nullptr;
    };
    struct FormattedChunk {
        std::int64_t charBegin = -1;
        std::string text;
    };
    static constexpr std::size_t kFormattedChunks = 4;

    // Text goes in slices of this many characters, old lines dropped after each: what is held then
    // stays below capacity plus one slice, which the 32-bit line starts rely on.
    std::int64_t sliceLength() const { return std::max<std::int64_t>(capacity_ / 4, 4096); }
    bool appendSlice(std::string_view text);
    void addLineStart(std::int64_t lf, bool crBefore);
    void dropToCapacity();
    std::int64_t startAt(std::size_t index) const
    {
        return begin_ + static_cast<std::uint32_t>(lineStarts_[index] - static_cast<std::uint32_t>(begin_));
    }
    const Segment& segmentAt(std::int64_t offset) const;
    // Whether a CR comes right before `end`, which is a LF's offset or the end of the text.
    bool crBefore(std::int64_t end) const;
    // The characters from `offset` on that lie together, at least one.
    std::string_view readable(std::int64_t offset) const;

    ByteChunks bytes_;
    std::deque<Segment> segments_;
    std::int64_t begin_ = 0;
    std::int64_t end_ = 0;
    std::deque<std::uint32_t> lineStarts_;
    std::int64_t droppedLines_ = 0;
    std::int64_t longestEnded_ = 0;
    std::int64_t capacity_ = kDefaultCapacity;
    // Where a received chunk's lines start, measured before it is appended.
    std::vector<std::uint32_t> chunkLineStarts_;
    mutable std::array<FormattedChunk, kFormattedChunks> formatted_;
    mutable std::size_t nextFormatted_ = 0;
    mutable ReadSpan read_;
    mutable std::string gathered_;
};

#endif
