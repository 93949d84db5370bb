#include "platform/text/hex_dump.h"

#include <algorithm>
#include <cstring>

namespace {

// Lines made at once when one is read, so that stepping through the dump makes each block about once.
constexpr std::int64_t kBlockLines = 64;
constexpr char kHexDigits[] = "0123456789abcdef";
constexpr char kLineMark = '*';
constexpr char kChunkMark = '>';

} // namespace

HexDump::HexDump(const TextStore& store)
    : store_(store)
    , bytes_(store)
{ }

void HexDump::refresh() const
{
    forgetRead();
    bytes_.forget();
}

std::int64_t HexDump::lastLine() const
{
    const std::int64_t end = store_.receivedEnd();
    return end > store_.receivedBegin() ? (end - 1) / kBytesPerLine : end / kBytesPerLine;
}

std::int64_t HexDump::lineLength(std::int64_t absoluteLine) const
{
    if (absoluteLine < lastLine())
        return kLineLength;
    const std::int64_t end = store_.receivedEnd();
    if (end == store_.receivedBegin())
        return 0;
    const std::int64_t bytes = end - absoluteLine * kBytesPerLine;
    return bytes == kBytesPerLine ? kLineLength : kPrintableColumn + bytes;
}

std::int64_t HexDump::longestLine() const
{
    return lineCount() > 1 ? kLineLength : lineLength(lastLine());
}

std::int64_t HexDump::lineEnd(std::int64_t line) const
{
    return lineStart(line) + lineLength(firstLine() + line);
}

std::int64_t HexDump::lineAt(std::int64_t offset) const
{
    return std::clamp(offset / kLineStride, firstLine(), lastLine()) - firstLine();
}

std::int64_t HexDump::receivedAt(std::int64_t offset) const
{
    const std::int64_t line = firstLine() + lineAt(offset);
    const std::int64_t column = std::max<std::int64_t>(0, offset - line * kLineStride);
    std::int64_t j = 0;
    if (column >= kPrintableColumn)
        j = column - kPrintableColumn;
    else if (column >= kFirstHexColumn)
        j = (column - kFirstHexColumn - (column >= hexColumn(8) ? 1 : 0)) / 3;
    j = std::clamp<std::int64_t>(j, 0, kBytesPerLine - 1);
    return std::clamp(line * kBytesPerLine + j, store_.receivedBegin(), store_.receivedEnd());
}

TextRange HexDump::cellsOf(std::int64_t from, std::int64_t to) const
{
    auto cell = [](std::int64_t position) {
        return position / kBytesPerLine * kLineStride + hexColumn(position % kBytesPerLine);
    };
    return {cell(from), to > from ? cell(to - 1) + 2 : cell(from)};
}

void HexDump::formatLine(std::int64_t absoluteLine, char* out) const
{
    const std::int64_t length = lineLength(absoluteLine);
    if (length == 0)
        return;
    std::memset(out, ' ', static_cast<std::size_t>(length));
    const std::int64_t base = absoluteLine * kBytesPerLine;
    for (int digit = 0; digit < kOffsetDigits; ++digit)
        out[digit] = kHexDigits[(base >> (4 * (kOffsetDigits - 1 - digit))) & 0xF];

    const std::int64_t from = std::max(base, store_.receivedBegin());
    const std::int64_t to = std::min(base + kBytesPerLine, store_.receivedEnd());
    for (std::int64_t at = from; at < to;) {
        const std::string_view piece = store_.received(at);
        const std::int64_t n = std::min<std::int64_t>(to - at, static_cast<std::int64_t>(piece.size()));
        for (std::int64_t k = 0; k < n; ++k) {
            const auto byte = static_cast<unsigned char>(piece[static_cast<std::size_t>(k)]);
            const std::int64_t j = at + k - base;
            out[hexColumn(j)] = kHexDigits[byte >> 4];
            out[hexColumn(j) + 1] = kHexDigits[byte & 0xF];
            out[kPrintableColumn + j] = byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : '.';
        }
        at += n;
    }
    for (std::int64_t frame = store_.frameStartFrom(from); frame >= 0 && frame < to;
         frame = store_.frameStartFrom(frame + 1)) {
        out[kOffsetDigits] = kLineMark;
        out[hexColumn(frame - base) - 1] = kChunkMark;
    }
}

std::string_view HexDump::readable(std::int64_t offset) const
{
    const std::int64_t first = std::max(firstLine(), offset / kLineStride / kBlockLines * kBlockLines);
    const std::int64_t last = std::min(lastLine(), first + kBlockLines - 1);
    lines_.resize(static_cast<std::size_t>((last - first) * kLineStride + lineLength(last)));
    char* out = lines_.data();
    for (std::int64_t line = first; line <= last; ++line) {
        formatLine(line, out);
        out += lineLength(line);
        if (line < last)
            *out++ = '\n';
    }
    const std::int64_t from = first * kLineStride;
    read_ = ReadSpan{from, from + static_cast<std::int64_t>(lines_.size()), lines_.data()};
    return std::string_view(lines_).substr(static_cast<std::size_t>(offset - from));
}

std::string_view HexDump::ReceivedBytes::readable(std::int64_t offset) const
{
    const std::string_view piece = store_.received(offset);
    read_ = ReadSpan{offset, offset + static_cast<std::int64_t>(piece.size()), piece.data()};
    return piece;
}
