#include "platform/text/byte_chunks.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::int64_t kOffsetMask = ByteChunks::kChunkBytes - 1;

} // namespace

bool ByteChunks::append(std::string_view bytes)
{
    const std::int64_t newEnd = end_ + static_cast<std::int64_t>(bytes.size());
    std::int64_t allocatedEnd = (firstChunk_ + static_cast<std::int64_t>(chunks_.size())) << kChunkShift;
    std::size_t added = 0;
    while (allocatedEnd < newEnd) {
        std::shared_ptr<char[]> chunk;
        if (!spareChunks_.empty()) {
            chunk = std::move(spareChunks_.back());
            spareChunks_.pop_back();
        } else {
            // Left uninitialised: pages not yet written cost no memory.
            chunk.reset(new (std::nothrow) char[kChunkBytes]);
        }
        if (!chunk) {
            chunks_.erase(chunks_.end() - static_cast<std::ptrdiff_t>(added), chunks_.end());
            return false;
        }
        chunks_.push_back(std::move(chunk));
        ++added;
        allocatedEnd += kChunkBytes;
    }

    for (std::string_view rest = bytes; !rest.empty();) {
        const auto room = static_cast<std::size_t>(kChunkBytes - (end_ & kOffsetMask));
        const std::size_t n = std::min(room, rest.size());
        char* chunk = chunks_[static_cast<std::size_t>((end_ >> kChunkShift) - firstChunk_)].get();
        std::memcpy(chunk + (end_ & kOffsetMask), rest.data(), n);
        rest.remove_prefix(n);
        end_ += static_cast<std::int64_t>(n);
    }
    return true;
}

std::string_view ByteChunks::from(std::int64_t position) const
{
    const char* chunk = chunks_[static_cast<std::size_t>((position >> kChunkShift) - firstChunk_)].get();
    const std::int64_t n = std::min(end_ - position, kChunkBytes - (position & kOffsetMask));
    return {chunk + (position & kOffsetMask), static_cast<std::size_t>(n)};
}

void ByteChunks::releaseBefore(std::int64_t position, std::size_t spares)
{
    while (firstChunk_ < (position >> kChunkShift)) {
        // A chunk a snapshot still reads is left to it.
        if (chunks_.front().use_count() == 1)
            spareChunks_.push_back(std::move(chunks_.front()));
        chunks_.pop_front();
        ++firstChunk_;
    }
    if (spareChunks_.size() > spares)
        spareChunks_.resize(spares);
}

void ByteChunks::clear()
{
    chunks_.clear();
    spareChunks_.clear();
    firstChunk_ = 0;
    end_ = 0;
}

std::size_t ByteChunks::memoryUsage() const
{
    return (chunks_.size() + spareChunks_.size()) * static_cast<std::size_t>(kChunkBytes);
}

ByteSnapshot ByteChunks::snapshot(std::int64_t from, std::int64_t to) const
{
    ByteSnapshot snapshot;
    snapshot.from_ = from;
    snapshot.to_ = to;
    if (from >= to)
        return snapshot;
    for (std::int64_t chunk = from >> kChunkShift; chunk <= (to - 1) >> kChunkShift; ++chunk)
        snapshot.chunks_.push_back(chunks_[static_cast<std::size_t>(chunk - firstChunk_)]);
    return snapshot;
}

std::vector<std::string_view> ByteSnapshot::pieces() const
{
    std::vector<std::string_view> pieces;
    std::int64_t at = from_;
    for (const std::shared_ptr<char[]>& chunk : chunks_) {
        const std::int64_t n = std::min(to_ - at, ByteChunks::kChunkBytes - (at & kOffsetMask));
        pieces.emplace_back(chunk.get() + (at & kOffsetMask), static_cast<std::size_t>(n));
        at += n;
    }
    return pieces;
}
