// Escaping, wrapping and framing of received chunks, eight bytes at a time where it can.
#include "platform/text/traffic_format.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr int kWrapWidth = 120;
constexpr int kFlushThreshold = 4096; // a piece is handed over once it holds this many characters
// Frames each received chunk when "Buffers" is ticked.
constexpr std::string_view kBlockHeader = "BUF:";

// What one byte becomes in the view.
struct ByteForm {
    char text[8]; // padded so that a form goes out in one 8-byte store
    unsigned char length;
};

constexpr char kHexDigits[] = "0123456789abcdef";

constexpr ByteForm MakeForm(unsigned value, bool showCrLf)
{
    ByteForm form{};
    auto put = [&form](char c) { form.text[form.length++] = c; };
    if (value >= 0x20 && value <= 0x7E) {
        put(static_cast<char>(value));
    } else if (value == '\n') {
        if (showCrLf) {
            put('\\');
            put('n');
        }
        put('\r');
        put('\n');
    } else if (value == '\r') {
        if (showCrLf) {
            put('\\');
            put('r');
        }
    } else {
        // "(x%x)": lowercase hexadecimal without leading zeros.
        put('(');
        put('x');
        if (value >= 0x10)
            put(kHexDigits[value >> 4]);
        put(kHexDigits[value & 0xF]);
        put(')');
    }
    return form;
}

// The forms of all bytes, texts and lengths in arrays of their own, so that a byte indexes both
// directly.
struct ByteForms {
    char text[256][8];
    unsigned char length[256];
};

constexpr ByteForms MakeForms(bool showCrLf)
{
    ByteForms forms{};
    for (unsigned value = 0; value < 256; ++value) {
        const ByteForm form = MakeForm(value, showCrLf);
        for (int k = 0; k < 8; ++k)
            forms.text[value][k] = form.text[k];
        forms.length[value] = form.length;
    }
    return forms;
}

constexpr ByteForms kPlainForms = MakeForms(false);
constexpr ByteForms kCrLfForms = MakeForms(true);

constexpr int WidestForm(const ByteForms& forms)
{
    int widest = 0;
    for (const unsigned char length : forms.length)
        widest = std::max(widest, static_cast<int>(length));
    return widest;
}

constexpr int kLineBreakLength = 2; // the "\r\n" a full line gets
constexpr int kFormStoreWidth = static_cast<int>(sizeof ByteForms::text[0]);

// A byte adds its widest form and at most a forced line break, and its form is stored 8 bytes
// wide: the bound leaves room for both.
static_assert(std::max(WidestForm(kPlainForms), WidestForm(kCrLfForms)) <= 5);
static_assert(kFormStoreWidth <= 8 && kLineBreakLength == 2);

constexpr bool IsPrintable(unsigned char byte)
{
    return byte >= 0x20 && byte <= 0x7E;
}

// Whether all eight bytes at `p` are printable, tested a word at a time so that text runs
// through in blocks and random bytes do not pay for a mispredicted test per byte.
inline bool AllPrintable8(const unsigned char* p)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    std::uint64_t x;
    std::memcpy(&x, p, sizeof x);
    const std::uint64_t belowSpace = (x - kOnes * 0x20) & ~x;
    const std::uint64_t y = x ^ (kOnes * 0x7F);
    const std::uint64_t isDelete = (y - kOnes) & ~y;
    return ((x | belowSpace | isDelete) & kHighBits) == 0;
}

// Whether any of the eight bytes at `p` is a line feed, the one byte that starts a line.
inline bool HasLineFeed8(const unsigned char* p)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    std::uint64_t x;
    std::memcpy(&x, p, sizeof x);
    const std::uint64_t y = x ^ (kOnes * '\n');
    return ((y - kOnes) & ~y & kHighBits) != 0;
}

} // namespace

std::size_t FormatTraffic(std::string_view bytes, TrafficFormat format, char* out)
{
    char* area = out;
    if (format.frameBuffers) {
        std::memcpy(area, kBlockHeader.data(), kBlockHeader.size());
        area += kBlockHeader.size();
    }
    const ByteForms& forms = format.showCrLf ? kCrLfForms : kPlainForms;
    const auto* input = reinterpret_cast<const unsigned char*>(bytes.data());
    const int length = static_cast<int>(bytes.size());
    // Positions count from the start of the current piece.
    int position = 0;
    int lineStart = 0;
    auto handOver = [&] {
        area += position;
        position = 0;
        lineStart = 0;
    };
    // After each byte: break a line that has reached the wrap width, and hand over a piece that
    // has reached the flush threshold.
    auto endOfByte = [&] {
        if (position - lineStart >= kWrapWidth) {
            area[position++] = '\r';
            area[position++] = '\n';
            lineStart = position;
        }
        if (position >= kFlushThreshold)
            handOver();
    };
    int i = 0;
    while (i < length) {
        if (length - i >= 8 && AllPrintable8(input + i)) {
            // Copy a run of printable bytes at once, stopping at the byte that reaches the wrap
            // width or the flush threshold, so that the checks see it as they would byte by byte.
            const int run = std::min({length - i, kWrapWidth - (position - lineStart), kFlushThreshold - position});
            int n = std::min(run, 8);
            while (n + 8 <= run && AllPrintable8(input + i + n))
                n += 8;
            while (n < run && IsPrintable(input[i + n]))
                ++n;
            std::memcpy(area + position, input + i, static_cast<std::size_t>(n));
            position += n;
            i += n;
            endOfByte();
            continue;
        }
        // Some byte of the next eight needs its table form: take all eight through the table.
        int limit = std::min(lineStart + kWrapWidth, kFlushThreshold);
        if (length - i >= 8 && !HasLineFeed8(input + i)) {
            // Eight forms that end before the line or the piece is full need no check after each
            // byte: none of them can reach the limit, so they go out in one stretch.
            const unsigned char* group = input + i;
            const int width = forms.length[group[0]] + forms.length[group[1]] + forms.length[group[2]]
                + forms.length[group[3]] + forms.length[group[4]] + forms.length[group[5]] + forms.length[group[6]]
                + forms.length[group[7]];
            if (position + width < limit) {
                for (int k = 0; k < 8; ++k) {
                    std::memcpy(area + position, forms.text[group[k]], sizeof forms.text[0]);
                    position += forms.length[group[k]];
                }
                i += 8;
                continue;
            }
        }
        // One test after each byte stands for both checks; it changes only where a line or piece
        // starts.
        const int end = std::min(i + 8, length);
        for (; i < end; ++i) {
            const unsigned char byte = input[i];
            std::memcpy(area + position, forms.text[byte], sizeof forms.text[byte]);
            position += forms.length[byte];
            if (byte == '\n') {
                lineStart = position;
                limit = std::min(lineStart + kWrapWidth, kFlushThreshold);
            }
            if (position >= limit) {
                endOfByte();
                limit = std::min(lineStart + kWrapWidth, kFlushThreshold);
            }
        }
    }
    area += position;
    if (format.frameBuffers) {
        area[0] = '\r';
        area[1] = '\n';
        area += 2;
    }
    return static_cast<std::size_t>(area - out);
}

TrafficExtent ScanTraffic(std::string_view bytes, TrafficFormat format, std::uint32_t* lineStarts)
{
    // The same steps as FormatTraffic, with widths added where it writes forms.
    const unsigned char* widths = (format.showCrLf ? kCrLfForms : kPlainForms).length;
    const auto* input = reinterpret_cast<const unsigned char*>(bytes.data());
    const int length = static_cast<int>(bytes.size());
    std::size_t piece = format.frameBuffers ? kBlockHeader.size() : 0; // where the current piece starts
    std::uint32_t* next = lineStarts;
    int position = 0;
    int lineStart = 0;
    int limit = std::min(kWrapWidth, kFlushThreshold);
    int i = 0;
    while (i < length) {
        if (length - i >= 8 && !HasLineFeed8(input + i)) {
            const unsigned char* group = input + i;
            const int width = AllPrintable8(group) ? 8
                                                   : widths[group[0]] + widths[group[1]] + widths[group[2]]
                    + widths[group[3]] + widths[group[4]] + widths[group[5]] + widths[group[6]] + widths[group[7]];
            if (position + width < limit) {
                position += width;
                i += 8;
                continue;
            }
        }
        const int end = std::min(i + 8, length);
        for (; i < end; ++i) {
            const unsigned char byte = input[i];
            position += widths[byte];
            if (byte == '\n') {
                lineStart = position;
                *next++ = static_cast<std::uint32_t>(piece + static_cast<std::size_t>(position));
            }
            if (position >= limit) {
                if (position - lineStart >= kWrapWidth) {
                    position += kLineBreakLength;
                    lineStart = position;
                    *next++ = static_cast<std::uint32_t>(piece + static_cast<std::size_t>(position));
                }
                if (position >= kFlushThreshold) {
                    piece += static_cast<std::size_t>(position);
                    position = 0;
                    lineStart = 0;
                }
            }
            limit = std::min(lineStart + kWrapWidth, kFlushThreshold);
        }
    }
    piece += static_cast<std::size_t>(position);
    if (format.frameBuffers) {
        piece += kLineBreakLength;
        *next++ = static_cast<std::uint32_t>(piece);
    }
    return {piece, static_cast<std::size_t>(next - lineStarts)};
}
