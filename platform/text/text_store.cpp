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
    return text.empty() || appendHeld(text, 0);
}

bool TextStore::appendHeld(std::string_view text, std::int64_t received)
{
    const auto slice = static_cast<std::size_t>(sliceLength());
    do {
        const std::string_view piece = text.substr(0, slice);
        // The received bytes go with the segment the text starts in.
        if (!appendSlice(piece, received))
            return false;
        received = 0;
        dropToCapacity();
        text.remove_prefix(piece.size());
    } while (!text.empty());
    return true;
}

bool TextStore::appendSlice(std::string_view text, std::int64_t received)
{
    if (!text_.append(text))
        return false;
    const auto length = static_cast<std::int64_t>(text.size());
    // Held text joins the segment before it up to a chunk of memory's worth, so that the received bytes
    // a partly dropped segment keeps stay few.
    if (!segments_.empty() && !segments_.back().traffic && segments_.back().charLength < kChunkBytes
        && segments_.back().receivedLength < kChunkBytes) {
        segments_.back().charLength += length;
        segments_.back().receivedLength += received;
    } else {
        segments_.push_back(
            Segment{end_, length, text_.end() - length, bytes_.end() - received, received, false, TrafficFormat{}});
    }

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
    const std::int64_t receivedAt = bytes_.end();
    if (!bytes_.append(bytes))
        return false;
    // An empty chunk's frame marks no byte.
    if (format.frameBuffers && !bytes.empty())
        frameStarts_.push_back(receivedAt);
    const auto received = static_cast<std::int64_t>(bytes.size());
    if (bytes.size() > kLazyTrafficBytes)
        return appendHeld(TrafficText(bytes, format), received);
    if (chunkLineStarts_.size() < TrafficLineStartsBound(bytes.size()))
        chunkLineStarts_.resize(TrafficLineStartsBound(bytes.size()));
    const TrafficExtent extent = ScanTraffic(bytes, format, chunkLineStarts_.data());
    if (extent.length < std::max(bytes.size(), kLazyTrafficChars)) {
        // Held as text where the bytes would take more room than it: a short chunk's segment, or
        // bytes that show as nothing (CR), would cost more than its characters.
        return appendHeld(TrafficText(bytes, format), received);
    }
    const std::int64_t charBegin = end_;
    const auto length = static_cast<std::int64_t>(extent.length);
    segments_.push_back(Segment{charBegin, length, 0, receivedAt, received, true, format});

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
    const bool tooManyBytes = receivedEnd() - receivedBegin() > maxReceived();
    if (size() <= capacity_ && !tooManyBytes)
        return;
    const std::int64_t kept = capacity_ - capacity_ / 4;
    std::int64_t cut = end_ - kept;
    if (tooManyBytes) {
        // Bytes whose text is short (CR bytes show as nothing): the text goes from the first segment
        // whose bytes start late enough.
        const auto keeps = std::find_if(segments_.begin(), segments_.end(),
            [&](const Segment& segment) { return segment.receivedBegin >= receivedEnd() - kept; });
        cut = std::max(cut, keeps == segments_.end() ? end_ : keeps->charBegin);
    }

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

    // A segment whose text is all gone goes, and its received bytes with it.
    while (!segments_.empty() && segments_.front().charEnd() <= begin_)
        segments_.pop_front();
    std::int64_t textKept = text_.end();
    for (const Segment& segment : segments_) {
        if (!segment.traffic) {
            textKept = segment.textBegin + std::max<std::int64_t>(0, begin_ - segment.charBegin);
            break;
        }
    }
    while (!frameStarts_.empty() && frameStarts_.front() < receivedBegin())
        frameStarts_.pop_front();
    // No more spares than refilling to capacity takes, should the capacity have been lowered. Text
    // read from a freed chunk is read again from where it now is.
    const auto spares = static_cast<std::size_t>((capacity_ - size()) / kChunkBytes + 1);
    bytes_.releaseBefore(receivedBegin(), spares);
    text_.releaseBefore(textKept, spares);
    forgetRead();
}

void TextStore::clear()
{
    bytes_.clear();
    text_.clear();
    frameStarts_.clear();
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
    forgetRead();
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
        const std::int64_t raw = segment.textBegin + (offset - segment.charBegin);
        const std::int64_t length
            = std::min<std::int64_t>(static_cast<std::int64_t>(text_.from(raw).size()), segment.charEnd() - offset);
        // The span reaches back to the start of its chunk, or of what is held, for steps backwards.
        const std::int64_t from = std::max(
            {segment.charBegin + (ByteChunks::chunkStart(raw) - segment.textBegin), segment.charBegin, begin_});
        const std::string_view back = text_.from(segment.textBegin + (from - segment.charBegin));
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
        const auto rawLength = static_cast<std::size_t>(segment.receivedLength);
        std::string_view raw = bytes_.from(segment.receivedBegin);
        if (raw.size() < rawLength) {
            // The bytes run over a chunk's edge.
            gathered_.resize(rawLength);
            for (std::size_t at = 0; at < rawLength;) {
                const std::string_view piece = bytes_.from(segment.receivedBegin + static_cast<std::int64_t>(at));
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

std::int64_t TextStore::receivedBegin() const
{
    return segments_.empty() ? bytes_.end() : segments_.front().receivedBegin;
}

std::int64_t TextStore::frameStartFrom(std::int64_t from) const
{
    const auto at = std::lower_bound(frameStarts_.begin(), frameStarts_.end(), from);
    return at == frameStarts_.end() ? -1 : *at;
}

std::int64_t TextStore::offsetNearReceived(std::int64_t position) const
{
    const auto after = std::upper_bound(segments_.begin(), segments_.end(), position,
        [](std::int64_t value, const Segment& segment) { return value < segment.receivedBegin; });
    if (after == segments_.begin())
        return begin_;
    const Segment& segment = *(after - 1);
    const std::int64_t into = std::min(position - segment.receivedBegin, segment.receivedLength);
    const std::int64_t offset = segment.charBegin
        + (segment.receivedLength > 0 ? into * segment.charLength / segment.receivedLength : segment.charLength);
    return std::clamp(offset, begin_, end_);
}

std::int64_t TextStore::receivedNearOffset(std::int64_t offset) const
{
    if (segments_.empty())
        return receivedEnd();
    const Segment& segment = segmentAt(std::clamp(offset, begin_, end_));
    const std::int64_t into = std::clamp<std::int64_t>(offset - segment.charBegin, 0, segment.charLength);
    return segment.receivedBegin + (segment.charLength > 0 ? into * segment.receivedLength / segment.charLength : 0);
}

std::size_t TextStore::memoryUsage() const
{
    std::size_t formatted = gathered_.capacity();
    for (const FormattedChunk& chunk : formatted_)
        formatted += chunk.text.capacity();
    return bytes_.memoryUsage() + text_.memoryUsage() + dequeBytes(lineStarts_) + dequeBytes(segments_)
        + dequeBytes(frameStarts_) + chunkLineStarts_.capacity() * sizeof(std::uint32_t) + formatted + sizeof(*this);
}
