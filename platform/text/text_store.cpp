#include "platform/text/text_store.h"

#include <algorithm>
#include <cstring>

namespace {

// std::deque's node size in libstdc++, for an honest account of the index and the segments.
constexpr std::size_t kDequeNodeBytes = 512;

template<typename T> std::size_t dequeBytes(const std::deque<T>& deque)
{
    const std::size_t perNode = std::max<std::size_t>(1, kDequeNodeBytes / sizeof(T));
    return (deque.size() + perNode - 1) / perNode * kDequeNodeBytes;
}

// The length of a line that starts at `start` and ends with the LF at `lf`, not counting a CR
// before the LF.
std::int64_t endedLength(std::int64_t start, std::int64_t lf, bool crBefore)
{
    const std::int64_t length = lf - start;
    return length > 0 && crBefore ? length - 1 : length;
}

} // namespace

TextStore::TextStore()
{
    lineStarts_.push_back(0);
}

bool TextStore::append(std::string_view text)
{
    const auto slice = static_cast<std::size_t>(sliceLength());
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
    const std::int64_t rawBegin = bytes_.end();
    if (!bytes_.append(text))
        return false;
    const auto length = static_cast<std::int64_t>(text.size());
    if (!segments_.empty() && !segments_.back().traffic)
        segments_.back().charLength += length;
    else
        segments_.push_back(Segment{end_, length, rawBegin, 0, false, TrafficFormat{}});

    const char* const first = text.data();
    const char* const last = first + text.size();
    for (const char* p = first; (p = static_cast<const char*>(std::memchr(p, '\n', last - p))) != nullptr; ++p) {
        const std::int64_t lf = end_ + (p - first);
        // A LF first on its line has nothing before it to look at: what came before may be dropped.
        const bool afterCharacter = lf > startAt(lineStarts_.size() - 1);
        addLineStart(lf, afterCharacter && (p > first ? p[-1] == '\r' : crBefore(lf)));
    }
    end_ += length;
    return true;
}

void TextStore::addLineStart(std::int64_t lf, bool crBefore)
{
    longestEnded_ = std::max(longestEnded_, endedLength(startAt(lineStarts_.size() - 1), lf, crBefore));
    lineStarts_.push_back(static_cast<std::uint32_t>(lf + 1));
}

bool TextStore::appendTraffic(std::string_view bytes, TrafficFormat format)
{
    if (bytes.size() > kLazyTrafficBytes)
        return append(TrafficText(bytes, format));
    if (chunkLineStarts_.size() < TrafficLineStartsBound(bytes.size()))
        chunkLineStarts_.resize(TrafficLineStartsBound(bytes.size()));
    const TrafficExtent extent = ScanTraffic(bytes, format, chunkLineStarts_.data());
    if (extent.length < std::max(bytes.size(), kLazyTrafficChars)) {
        // Held as text where the bytes would take more room than it: a short chunk's segment, or
        // bytes that show as nothing (CR), would cost more than its characters.
        return append(TrafficText(bytes, format));
    }
    const std::int64_t rawBegin = bytes_.end();
    if (!bytes_.append(bytes))
        return false;
    const std::int64_t charBegin = end_;
    const auto length = static_cast<std::int64_t>(extent.length);
    segments_.push_back(Segment{charBegin, length, rawBegin, static_cast<std::int64_t>(bytes.size()), true, format});

    // Lines are indexed and old ones dropped in the same slices as appending the text would take.
    // Every LF in a chunk's text comes right after a CR.
    const std::int64_t slice = sliceLength();
    std::size_t next = 0;
    for (std::int64_t from = 0; from < length; from += slice) {
        const std::int64_t to = std::min(length, from + slice);
        // Each LF of the slice indexed as addLineStart does it, with the start of the line it ends kept
        // at hand instead of read back from the index.
        std::int64_t start = startAt(lineStarts_.size() - 1);
        std::int64_t longest = longestEnded_;
        for (; next < extent.lineStarts && chunkLineStarts_[next] <= to; ++next) {
            const std::int64_t lf = charBegin + chunkLineStarts_[next] - 1;
            longest = std::max(longest, endedLength(start, lf, true));
            start = lf + 1;
            lineStarts_.push_back(static_cast<std::uint32_t>(start));
        }
        longestEnded_ = longest;
        end_ = charBegin + to;
        dropToCapacity();
    }
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

    while (!segments_.empty() && segments_.front().charEnd() <= begin_)
        segments_.pop_front();
    std::int64_t rawKept = bytes_.end();
    if (!segments_.empty()) {
        const Segment& first = segments_.front();
        rawKept = first.rawBegin + (first.traffic ? 0 : begin_ - first.charBegin);
    }
    // No more spares than refilling to capacity takes, should the capacity have been lowered. Text
    // read from a freed chunk is read again from where it now is.
    bytes_.releaseBefore(rawKept, static_cast<std::size_t>((capacity_ - size()) / kChunkBytes + 1));
    read_ = ReadSpan{};
}

void TextStore::clear()
{
    bytes_.clear();
    segments_.clear();
    begin_ = 0;
    end_ = 0;
    lineStarts_.clear();
    lineStarts_.shrink_to_fit();
    lineStarts_.push_back(0);
    droppedLines_ = 0;
    longestEnded_ = 0;
    chunkLineStarts_ = {};
    formatted_ = {};
    read_ = ReadSpan{};
    gathered_ = {};
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
    if (end > start && crBefore(end))
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

const TextStore::Segment& TextStore::segmentAt(std::int64_t offset) const
{
    // Appends and painting read at the end; everything else finds its segment by halving.
    if (segments_.back().charBegin <= offset)
        return segments_.back();
    const auto after = std::upper_bound(segments_.begin(), segments_.end(), offset,
        [](std::int64_t value, const Segment& segment) { return value < segment.charBegin; });
    return *(after - 1);
}

bool TextStore::crBefore(std::int64_t end) const
{
    const Segment& segment = segmentAt(end - 1);
    // A chunk's text holds a CR only right before a LF of its own, and never ends in one.
    if (segment.traffic)
        return end < segment.charEnd();
    return at(end - 1) == '\r';
}

std::string_view TextStore::readable(std::int64_t offset) const
{
    const Segment& segment = segmentAt(offset);
    if (!segment.traffic) {
        const std::int64_t raw = segment.rawBegin + (offset - segment.charBegin);
        const std::int64_t length
            = std::min<std::int64_t>(static_cast<std::int64_t>(bytes_.from(raw).size()), segment.charEnd() - offset);
        // The span reaches back to the start of its chunk, or of what is held, for steps backwards.
        const std::int64_t from = std::max(
            {segment.charBegin + (ByteChunks::chunkStart(raw) - segment.rawBegin), segment.charBegin, begin_});
        const std::string_view back = bytes_.from(segment.rawBegin + (from - segment.charBegin));
        read_ = ReadSpan{from, offset + length, back.data()};
        return {back.data() + (offset - from), static_cast<std::size_t>(length)};
    }

    FormattedChunk* chunk = nullptr;
    for (FormattedChunk& candidate : formatted_) {
        if (candidate.charBegin == segment.charBegin)
            chunk = &candidate;
    }
    if (chunk == nullptr) {
        chunk = &formatted_[nextFormatted_];
        nextFormatted_ = (nextFormatted_ + 1) % kFormattedChunks;
        const auto rawLength = static_cast<std::size_t>(segment.rawLength);
        std::string_view raw = bytes_.from(segment.rawBegin);
        if (raw.size() < rawLength) {
            // The bytes run over a chunk's edge.
            gathered_.resize(rawLength);
            for (std::size_t at = 0; at < rawLength;) {
                const std::string_view piece = bytes_.from(segment.rawBegin + static_cast<std::int64_t>(at));
                const std::size_t n = std::min(piece.size(), rawLength - at);
                std::memcpy(gathered_.data() + at, piece.data(), n);
                at += n;
            }
            raw = gathered_;
        }
        chunk->text.resize(FormattedTrafficBound(rawLength));
        FormatTraffic(raw.substr(0, rawLength), segment.format, chunk->text.data());
        chunk->charBegin = segment.charBegin;
    }
    read_ = ReadSpan{segment.charBegin, segment.charEnd(), chunk->text.data()};
    return {chunk->text.data() + (offset - segment.charBegin), static_cast<std::size_t>(segment.charEnd() - offset)};
}

void TextStore::copy(std::int64_t from, std::int64_t to, char* out) const
{
    while (from < to) {
        const std::string_view piece = readable(from);
        const auto n = std::min<std::int64_t>(to - from, static_cast<std::int64_t>(piece.size()));
        std::memcpy(out, piece.data(), static_cast<std::size_t>(n));
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
    std::size_t formatted = gathered_.capacity();
    for (const FormattedChunk& chunk : formatted_)
        formatted += chunk.text.capacity();
    return bytes_.memoryUsage() + dequeBytes(lineStarts_) + dequeBytes(segments_)
        + chunkLineStarts_.capacity() * sizeof(std::uint32_t) + formatted + sizeof(*this);
}
