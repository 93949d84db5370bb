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

// Bytes held at one moment, in order, kept alive while the store they came from moves on: a save reads
// them off the user-interface thread while traffic keeps arriving and old bytes are dropped.
class ByteSnapshot {
public:
    std::int64_t size() const { return to_ - from_; }
    // The bytes in pieces of at most a chunk, in order.
    std::vector<std::string_view> pieces() const;

private:
    friend class ByteChunks;
    std::vector<std::shared_ptr<char[]>> chunks_;
    std::int64_t from_ = 0; // of the first chunk's start
    std::int64_t to_ = 0;
};

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
    // The bytes [from, to), which must be held.
    ByteSnapshot snapshot(std::int64_t from, std::int64_t to) const;
    std::int64_t end() const { return end_; }
    // Bytes allocated, the last chunk and the spares counted whole.
    std::size_t memoryUsage() const;

private:
    // Shared with the snapshots that still read them; bytes once written never change.
    std::deque<std::shared_ptr<char[]>> chunks_;
    // At capacity the store then writes to pages it already has instead of faulting in fresh ones.
    std::vector<std::shared_ptr<char[]>> spareChunks_;
    std::int64_t firstChunk_ = 0;
    std::int64_t end_ = 0;
};

#endif
