// Append-only single-byte text with an index of line starts, sized for traffic that grows by hundreds
// of megabytes a minute. Received chunks are held as their bytes and options, a few characters fewer
// each than their text, and only the chunks that are read get formatted: most traffic is dropped again
// before anyone looks at it. The received bytes of every chunk are kept as they came, for the hex dump
// and for saving, whether the chunk's text is made from them or held beside them.
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
#include "platform/text/view_text.h"

// Offsets are counted from the first byte appended since the last clear, so an offset keeps naming the
// same byte while older text is dropped. A line ends at LF; a CR right before the LF belongs to the line
// break, as does a CR that ends the text while its LF may still come. An empty store has one empty line.
// Received bytes are counted the same way, from the first one since the last clear.
class TextStore final : public ViewText {
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

    std::int64_t beginOffset() const override { return begin_; }
    std::int64_t endOffset() const override { return end_; }
    std::int64_t lineCount() const override { return static_cast<std::int64_t>(lineStarts_.size()); }
    // Since the last clear; only ever grows until the next one.
    std::int64_t droppedLines() const override { return droppedLines_; }
    std::int64_t longestLine() const override;
    std::int64_t lineStart(std::int64_t line) const override;
    std::int64_t lineEnd(std::int64_t line) const override;
    std::int64_t lineAt(std::int64_t offset) const override;

    // The received bytes held, [receivedBegin(), receivedEnd()): those of every chunk whose text is
    // held, whole, even where its first lines were dropped. No more than maxReceived(), so that traffic
    // that shows as nothing (CR bytes) cannot grow without bound.
    std::int64_t receivedBegin() const;
    std::int64_t receivedEnd() const { return bytes_.end(); }
    // The capacity, and a chunk of memory for the bytes of a chunk whose text is partly dropped.
    std::int64_t maxReceived() const { return capacity_ + kChunkBytes; }
    // The held received bytes from `position` to the end of their chunk of memory or of what is held.
    std::string_view received(std::int64_t position) const { return bytes_.from(position); }
    ByteSnapshot receivedSnapshot() const { return bytes_.snapshot(receivedBegin(), receivedEnd()); }
    // The first received position at or after `from` where a chunk framed by "Buffers" starts, or -1.
    std::int64_t frameStartFrom(std::int64_t from) const;
    // The text offset near which the received byte's text lies, and the received byte near the text
    // offset, for keeping one's place between the text and the dump: exact at chunk starts, in between
    // in proportion.
    std::int64_t offsetNearReceived(std::int64_t position) const;
    std::int64_t receivedNearOffset(std::int64_t offset) const;

    // Bytes allocated for bytes held, index and formatted chunks, the last chunk counted whole.
    std::size_t memoryUsage() const;

private:
    // One stretch of the text: text held as it is (appended text, and chunks formatted as they came,
    // their received bytes beside it), or one received chunk held as its bytes alone.
    struct Segment {
        std::int64_t charBegin;
        std::int64_t charLength;
        std::int64_t textBegin; // in text_, for held text
        std::int64_t receivedBegin;
        std::int64_t receivedLength;
        bool traffic; // the text is made from the received bytes
        TrafficFormat format;
        std::int64_t charEnd() const { return charBegin + charLength; }
    };
    struct FormattedChunk {
        std::int64_t charBegin = -1;
        std::string text;
    };
    static constexpr std::size_t kFormattedChunks = 4;

    // Text goes in slices of this many characters, old lines dropped after each: what is held then
    // stays below capacity plus one slice, which the 32-bit line starts rely on.
    std::int64_t sliceLength() const { return std::max<std::int64_t>(capacity_ / 4, 4096); }
    // Appends held text whose received bytes (the last `received` of bytes_) go with it.
    bool appendHeld(std::string_view text, std::int64_t received);
    bool appendSlice(std::string_view text, std::int64_t received);
    void addLineStart(std::int64_t lf, bool crBefore);
    void dropToCapacity();
    std::int64_t startAt(std::size_t index) const
    {
        return begin_ + static_cast<std::uint32_t>(lineStarts_[index] - static_cast<std::uint32_t>(begin_));
    }
    const Segment& segmentAt(std::int64_t offset) const;
    // Whether a CR comes right before `end`, which is a LF's offset or the end of the text.
    bool crBefore(std::int64_t end) const;
    std::string_view readable(std::int64_t offset) const override;

    // Received bytes, of every chunk.
    ByteChunks bytes_;
    // Text held as characters.
    ByteChunks text_;
    // Received positions where chunks framed by "Buffers" start.
    std::deque<std::int64_t> frameStarts_;
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
    mutable std::string gathered_;
};

#endif
