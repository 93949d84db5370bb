// Append-only bytes in fixed-size chunks, for a store that grows by hundreds of megabytes a minute:
// releasing the oldest bytes frees whole chunks instead of moving what stays, and the chunks freed are
// written again by the appends that follow.
#ifndef BRINDLE_PLATFORM_TEXT_BYTE_CHUNKS_H
#define BRINDLE_PLATFORM_TEXT_BYTE_CHUNKS_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

// Positions count from the first byte appended since the last clear.
class ByteChunks {
public:
    static constexpr int kChunkShift = 20;
    static constexpr std::int64_t kChunkBytes = std::int64_t{1} << kChunkShift;

    // False, with nothing appended, when memory ran out.
    bool append(std::string_view bytes);
    // The held bytes from `position` to the end of its chunk or of what is held.
    std::string_view from(std::int64_t position) const;
    // Where the chunk holding `position` starts.
    static std::int64_t chunkStart(std::int64_t position) { return position & ~(kChunkBytes - 1); }
    // Gives up the chunks wholly before `position`, keeping at most `spares` of them for reuse.
    void releaseBefore(std::int64_t position, std::size_t spares);
    void clear();
    std::int64_t end() const { return end_; }
    // Bytes allocated, the last chunk and the spares counted whole.
    std::size_t memoryUsage() const;

private:
    std::deque<std::unique_ptr<char[]>> chunks_;
    // At capacity the store then writes to pages it already has instead of faulting in fresh ones.
    std::vector<std::unique_ptr<char[]>> spareChunks_;
    std::int64_t firstChunk_ = 0;
    std::int64_t end_ = 0;
};

#endif
