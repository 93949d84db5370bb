// Escaping, wrapping and framing of received chunks, eight bytes at a time where it can.
#include "platform/text/traffic_format.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The classes of bytes that measuring sixteen at a time tells apart, each with one width in both
// tables. Checked here, so that the tables stay the one rule of what a byte becomes.
struct ClassWidths {
    unsigned char printable;
    unsigned char lineFeed;
    unsigned char carriageReturn;
    unsigned char belowSixteen; // other bytes below 0x10: one hexadecimal digit
    unsigned char other;
};

constexpr ClassWidths WidthsOf(const ByteForms& forms)
{
    return {forms.length[static_cast<unsigned char>('a')], forms.length[static_cast<unsigned char>('\n')],
        forms.length[static_cast<unsigned char>('\r')], forms.length[0x01], forms.length[0x80]};
}

constexpr bool WidthsFollowClasses(const ByteForms& forms)
{
    const ClassWidths widths = WidthsOf(forms);
    for (unsigned value = 0; value < 256; ++value) {
        const unsigned char expected = IsPrintable(static_cast<unsigned char>(value)) ? widths.printable
            : value == '\n'                                                           ? widths.lineFeed
            : value == '\r'                                                           ? widths.carriageReturn
            : value < 0x10                                                            ? widths.belowSixteen
                                                                                      : widths.other;
        if (forms.length[value] != expected)
            return false;
    }
    return true;
}

static_assert(WidthsFollowClasses(kPlainForms) && WidthsFollowClasses(kCrLfForms));

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

#if defined(__SSE2__)
namespace {

inline __m128i Bytes(unsigned char value)
{
    return _mm_set1_epi8(static_cast<char>(value));
}

} // namespace
#endif

TrafficExtent ScanTraffic(std::string_view bytes, TrafficFormat format, std::uint32_t* lineStarts)
{
    // The same steps as FormatTraffic, with widths added where it writes forms.
    const ByteForms& forms = format.showCrLf ? kCrLfForms : kPlainForms;
    const unsigned char* widths = forms.length;
    const auto* input = reinterpret_cast<const unsigned char*>(bytes.data());
    const int length = static_cast<int>(bytes.size());
    std::size_t piece = format.frameBuffers ? kBlockHeader.size() : 0; // where the current piece starts
    std::uint32_t* next = lineStarts;
    int position = 0;
    int lineStart = 0;
    // The position at which the byte just measured breaks its line or ends its piece; it is always
    // ahead of the position, by at most the wrap width.
    int limit = std::min(kWrapWidth, kFlushThreshold);
    auto endOfByte = [&](unsigned char byte) {
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
    };
    int i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: their widths by class, summed from the first, the LFs among them and
    // the first byte that reaches the limit.
    const ClassWidths classes = WidthsOf(forms);
    // A byte's width is that of the bytes no class takes, plus what each class it falls in adds; a
    // LF or CR is also below sixteen.
    auto delta = [](int to, int from) { return Bytes(static_cast<unsigned char>(to - from)); };
    const __m128i otherWidth = Bytes(classes.other);
    const __m128i printableDelta = delta(classes.printable, classes.other);
    const __m128i belowSixteenDelta = delta(classes.belowSixteen, classes.other);
    const __m128i lineFeedDelta = delta(classes.lineFeed, classes.belowSixteen);
    const __m128i carriageReturnDelta = delta(classes.carriageReturn, classes.belowSixteen);
    // The most sixteen bytes and a line break can add: while the piece has more room than that, no
    // byte of them ends it, only one before their first LF can reach the wrap width, and none after
    // it or after that break can.
    constexpr int kMostVectorWidth = 16 * std::max(WidestForm(kPlainForms), WidestForm(kCrLfForms)) + kLineBreakLength;
    // The widths of the sixteen bytes at `at`, each summed with those before it.
    auto summedWidths = [&](const unsigned char* at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        // 0x20..0x7E moved by 0x60 are the signed bytes below -33, and no other byte is.
        const __m128i printable = _mm_cmplt_epi8(_mm_add_epi8(v, Bytes(0x60)), Bytes(0xDF));
        const __m128i belowSixteen = _mm_cmpeq_epi8(_mm_min_epu8(v, Bytes(0x0F)), v);
        const __m128i lineFeed = _mm_cmpeq_epi8(v, Bytes('\n'));
        const __m128i carriageReturn = _mm_cmpeq_epi8(v, Bytes('\r'));
        __m128i sums = _mm_add_epi8(_mm_add_epi8(otherWidth, _mm_and_si128(printable, printableDelta)),
            _mm_and_si128(belowSixteen, belowSixteenDelta));
        sums = _mm_add_epi8(sums,
            _mm_add_epi8(_mm_and_si128(lineFeed, lineFeedDelta), _mm_and_si128(carriageReturn, carriageReturnDelta)));
        // At most 16 times five: every sum fits a byte.
        sums = _mm_add_epi8(sums, _mm_slli_si128(sums, 1));
        sums = _mm_add_epi8(sums, _mm_slli_si128(sums, 2));
        sums = _mm_add_epi8(sums, _mm_slli_si128(sums, 4));
        return _mm_add_epi8(sums, _mm_slli_si128(sums, 8));
    };
    auto lineFeedsOf = [](const unsigned char* at) {
        return static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), Bytes('\n'))));
    };
    // The bytes whose sum reaches `threshold`, which is within a byte.
    auto reaching = [](__m128i sums, int threshold) {
        return static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(sums, Bytes(static_cast<unsigned char>(threshold))), sums)));
    };
    while (length - i >= 16) {
        const unsigned lineFeeds = lineFeedsOf(input + i);
        if (lineFeeds == 0 && length - i >= 32 && position + 2 * kMostVectorWidth < kFlushThreshold
            && lineFeedsOf(input + i + 16) == 0) {
            // Thirty-two bytes without a LF, at most 160 wide and far from the piece's end, measured
            // together: whether sixteen random bytes break the line is a toss-up that costs a
            // mispredicted branch half the time, while thirty-two nearly always break it, and at
            // most once unless what follows the break reaches the wrap width again.
            const __m128i first = summedWidths(input + i);
            const __m128i firstTotal = _mm_shufflehi_epi16(_mm_unpackhi_epi8(first, first), 0xFF);
            const __m128i second
                = _mm_add_epi8(summedWidths(input + i + 16), _mm_unpackhi_epi64(firstTotal, firstTotal));
            alignas(16) unsigned char sum[32];
            _mm_store_si128(reinterpret_cast<__m128i*>(sum), first);
            _mm_store_si128(reinterpret_cast<__m128i*>(sum + 16), second);
            const int total = sum[31];
            const unsigned wraps = reaching(first, limit - position) | reaching(second, limit - position) << 16;
            if (wraps == 0) {
                position += total;
                i += 32;
                continue;
            }
            const int reached = sum[__builtin_ctz(wraps)];
            if (total - reached < kWrapWidth) {
                lineStart = position + reached + kLineBreakLength;
                *next++ = static_cast<std::uint32_t>(piece + static_cast<std::size_t>(lineStart));
                position += total + kLineBreakLength;
                limit = std::min(lineStart + kWrapWidth, kFlushThreshold);
                i += 32;
                continue;
            }
        }
        const __m128i sums = summedWidths(input + i);
        const int total = _mm_extract_epi16(sums, 7) >> 8;
        alignas(16) unsigned char sum[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(sum), sums);
        if (position + kMostVectorWidth < kFlushThreshold) {
            // A LF that reaches the limit starts its line instead of breaking it.
            // A sum reaches the room left, at most the wrap width, where adding 128 less that room
            // sets its top bit: at most 80 plus 127, within a byte.
            const auto lift = static_cast<unsigned char>(128 - (limit - position));
            const unsigned wraps = static_cast<unsigned>(_mm_movemask_epi8(_mm_add_epi8(sums, Bytes(lift))))
                & ~lineFeeds & ((lineFeeds & (0u - lineFeeds)) - 1);
            int base = position;
            if (wraps != 0) {
                base += kLineBreakLength;
                lineStart = position + sum[__builtin_ctz(wraps)] + kLineBreakLength;
                *next++ = static_cast<std::uint32_t>(piece + static_cast<std::size_t>(lineStart));
            }
            for (unsigned feeds = lineFeeds; feeds != 0; feeds &= feeds - 1) {
                lineStart = base + sum[__builtin_ctz(feeds)];
                *next++ = static_cast<std::uint32_t>(piece + static_cast<std::size_t>(lineStart));
            }
            position = base + total;
            limit = std::min(lineStart + kWrapWidth, kFlushThreshold);
            i += 16;
            continue;
        }
        // Near the end of the piece: a step for each LF and each byte that reaches the limit.
        unsigned stops = lineFeeds | reaching(sums, limit - position);
        int counted = 0; // the sum up to the last byte stepped through
        while (stops != 0) {
            const int stop = __builtin_ctz(stops);
            position += sum[stop] - counted;
            counted = sum[stop];
            endOfByte(input[i + stop]);
            stops = (lineFeeds | reaching(sums, counted + limit - position)) & ~((2u << stop) - 1);
        }
        position += total - counted;
        i += 16;
    }
#endif
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
            position += widths[input[i]];
            endOfByte(input[i]);
        }
    }
    piece += static_cast<std::size_t>(position);
    if (format.frameBuffers) {
        piece += kLineBreakLength;
        *next++ = static_cast<std::uint32_t>(piece);
    }
    return {piece, static_cast<std::size_t>(next - lineStarts)};
}

std::string TrafficText(std::string_view bytes, TrafficFormat format)
{
    std::string text(FormattedTrafficBound(bytes.size()), '\0');
    text.resize(FormatTraffic(bytes, format, text.data()));
    return text;
}
