#include "platform/text/text_store.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::int64_t kOffsetMask = TextStore::kChunkBytes - 1;
// std::deque's node size in libstdc++, for an honest account of the index.
constexpr std::size_t kIndexNodeBytes = 512;

} // namespace

TextStore::TextStore()
{
    lineStarts_.push_back(0);
}

bool TextStore::append(std::string_view text)
{
    // Slices keep what is held below capacity plus one slice, which the 32-bit line starts rely on.
    const auto slice = static_cast<std::size_t>(std::max<std::int64_t>(capacity_ / 4, 4096));
    while (!text.empty()) {
        const std::string_view piece = text.substr(0, slice);
        if (!appendSlice(piece))
            return false;
        dropToCapacity();
        text.remove_prefix(piece.size());
    }
    return true;
}

bool TextStore::appendSlice(std::string_view text)
{
    const std::int64_t newEnd = end_ + static_cast<std::int64_t>(text.size());
    std::int64_t allocatedEnd = (firstChunk_ + static_cast<std::int64_t>(chunks_.size())) << kChunkShift;
    std::size_t added = 0;
    while (allocatedEnd < newEnd) {
        std::unique_ptr<char[]> chunk;
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

    std::int64_t at = end_;
    for (std::string_view rest = text; !rest.empty();) {
        const auto room = static_cast<std::size_t>(kChunkBytes - (at & kOffsetMask));
        const std::size_t n = std::min(room, rest.size());
        std::memcpy(chunkFor(at) + (at & kOffsetMask), rest.data(), n);
        rest.remove_prefix(n);
        at += static_cast<std::int64_t>(n);
    }

    const char* const first = text.data();
    const char* const last = first + text.size();
    for (const char* p = first; (p = static_cast<const char*>(std::memchr(p, '\n', last - p))) != nullptr; ++p) {
        const std::int64_t lf = end_ + (p - first);
        const std::int64_t start = startAt(lineStarts_.size() - 1);
        std::int64_t length = lf - start;
        if (length > 0 && (p > first ? p[-1] : this->at(lf - 1)) == '\r')
            --length;
        longestEnded_ = std::max(longestEnded_, length);
        lineStarts_.push_back(static_cast<std::uint32_t>(lf + 1));
    }
    end_ = newEnd;
    return true;
}

void TextStore::dropToCapacity()
{
    if (size() <= capacity_)
        return;
    const std::int64_t cut = end_ - (capacity_ - capacity_ / 4);

    std::size_t lo = 0;
    std::size_t hi = lineStarts_.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (startAt(mid) < cut)
            lo = mid + 1;
        else
            hi = mid;
    }
    std::size_t firstKept = lo;
    std::int64_t newBegin = 0;
    if (firstKept == lineStarts_.size()) {
        // The last line alone is longer than may stay: it loses its head rather than the store its bound.
        firstKept = lineStarts_.size() - 1;
        newBegin = cut;
    } else {
        newBegin = startAt(firstKept);
    }

    lineStarts_.erase(lineStarts_.begin(), lineStarts_.begin() + static_cast<std::ptrdiff_t>(firstKept));
    lineStarts_.front() = static_cast<std::uint32_t>(newBegin);
    droppedLines_ += static_cast<std::int64_t>(firstKept);
    begin_ = newBegin;
    while (firstChunk_ < (begin_ >> kChunkShift)) {
        spareChunks_.push_back(std::move(chunks_.front()));
        chunks_.pop_front();
        ++firstChunk_;
    }
    // No more spares than refilling to capacity takes, should the capacity have been lowered.
    const auto refill = static_cast<std::size_t>((capacity_ - size()) / kChunkBytes + 1);
    if (spareChunks_.size() > refill)
        spareChunks_.resize(refill);
}

void TextStore::clear()
{
    chunks_.clear();
    spareChunks_.clear();
    firstChunk_ = 0;
    begin_ = 0;
    end_ = 0;
    lineStarts_.clear();
    lineStarts_.shrink_to_fit();
    lineStarts_.push_back(0);
    droppedLines_ = 0;
    longestEnded_ = 0;
}

void TextStore::setCapacity(std::int64_t maxCharacters)
{
    capacity_ = std::clamp<std::int64_t>(maxCharacters, 1, kMaxCapacity);
    dropToCapacity();
}

std::int64_t TextStore::longestLine() const
{
    const std::int64_t last = lineCount() - 1;
    return std::max(longestEnded_, lineEnd(last) - lineStart(last));
}

std::int64_t TextStore::lineStart(std::int64_t line) const
{
    return startAt(static_cast<std::size_t>(line));
}

std::int64_t TextStore::lineEnd(std::int64_t line) const
{
    const std::int64_t start = lineStart(line);
    std::int64_t end = line + 1 < lineCount() ? lineStart(line + 1) - 1 : end_;
    if (end > start && at(end - 1) == '\r')
        --end;
    return end;
}

std::int64_t TextStore::lineAt(std::int64_t offset) const
{
    std::size_t lo = 1;
    std::size_t hi = lineStarts_.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (startAt(mid) <= offset)
            lo = mid + 1;
        else
            hi = mid;
    }
    return static_cast<std::int64_t>(lo) - 1;
}

char TextStore::at(std::int64_t offset) const
{
    return chunkFor(offset)[offset & kOffsetMask];
}

void TextStore::copy(std::int64_t from, std::int64_t to, char* out) const
{
    while (from < to) {
        const std::int64_t n = std::min(to - from, kChunkBytes - (from & kOffsetMask));
        std::memcpy(out, chunkFor(from) + (from & kOffsetMask), static_cast<std::size_t>(n));
        out += n;
        from += n;
    }
}

std::string TextStore::text(std::int64_t from, std::int64_t to) const
{
    std::string out(static_cast<std::size_t>(to - from), '\0');
    copy(from, to, out.data());
    return out;
}

std::size_t TextStore::memoryUsage() const
{
    const std::size_t perNode = kIndexNodeBytes / sizeof(std::uint32_t);
    const std::size_t nodes = (lineStarts_.size() + perNode - 1) / perNode;
    return (chunks_.size() + spareChunks_.size()) * static_cast<std::size_t>(kChunkBytes) + nodes * kIndexNodeBytes
        + sizeof(*this);
}

bool TextStore::appendTraffic(std::string_view bytes, TrafficFormat format)
{
    std::string text(FormattedTrafficBound(bytes.size()), '\0');
    text.resize(FormatTraffic(bytes, format, text.data()));
    return append(text);
}
