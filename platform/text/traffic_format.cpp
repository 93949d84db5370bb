// Escaping, wrapping and framing of received chunks, eight bytes at a time where it can; measuring
// them with the widest vectors the processor has.
#include "platform/text/traffic_format.h"

#include "platform/text/traffic_scan_paths.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
// x86 processors measure several bytes at a time, as widely as the one at hand allows.
#if defined(__GNUC__) && defined(__x86_64__)
#define BRINDLE_SCAN_X86 1
#include <immintrin.h>
#else
#define BRINDLE_SCAN_X86 0
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

// Measuring: the same steps as FormatTraffic, with widths added where it writes forms. Every path
// gives the same answer; they differ in how many bytes they measure at a time.
namespace {

// Where a scan stands: the piece it is in, the line starts written so far, and the position, line
// start and limit within the piece.
struct ScanCursor {
    std::size_t piece; // where the current piece starts in the chunk's text
    std::uint32_t* next; // where the next line start goes
    int position = 0;
    int lineStart = 0;
    // The position at which the byte just measured breaks its line or ends its piece; it is always
    // ahead of the position, by at most the wrap width.
    int limit = std::min(kWrapWidth, kFlushThreshold);

    void startLine(int at)
    {
        lineStart = at;
        *next++ = static_cast<std::uint32_t>(piece + static_cast<std::size_t>(at));
    }
    void followLineStart() { limit = std::min(lineStart + kWrapWidth, kFlushThreshold); }
    // After a byte has added its width: what the formatter does after writing its form.
    void endOfByte(unsigned char byte)
    {
        if (byte == '\n')
            startLine(position);
        if (position >= limit) {
            if (position - lineStart >= kWrapWidth) {
                position += kLineBreakLength;
                startLine(position);
            }
            if (position >= kFlushThreshold) {
                piece += static_cast<std::size_t>(position);
                position = 0;
                lineStart = 0;
            }
        }
        followLineStart();
    }
};

// The bytes from `i` on, eight at a time where none of them can end a line or a piece.
void ScanEightAtATime(const unsigned char* input, int i, int length, const unsigned char* widths, ScanCursor& scanned)
{
    // A copy of its own, which the line starts written cannot alias: its fields stay in registers.
    ScanCursor cursor = scanned;
    while (i < length) {
        if (length - i >= 8 && !HasLineFeed8(input + i)) {
            const unsigned char* group = input + i;
            const int width = AllPrintable8(group) ? 8
                                                   : widths[group[0]] + widths[group[1]] + widths[group[2]]
                    + widths[group[3]] + widths[group[4]] + widths[group[5]] + widths[group[6]] + widths[group[7]];
            if (cursor.position + width < cursor.limit) {
                cursor.position += width;
                i += 8;
                continue;
            }
        }
        const int end = std::min(i + 8, length);
        for (; i < end; ++i) {
            cursor.position += widths[input[i]];
            cursor.endOfByte(input[i]);
        }
    }
    scanned = cursor;
}

// The most `count` bytes and a line break can add.
constexpr int MostWidth(int count)
{
    return count * std::max(WidestForm(kPlainForms), WidestForm(kCrLfForms)) + kLineBreakLength;
}

} // namespace

#if BRINDLE_SCAN_X86
namespace {

#define BRINDLE_AVX2 __attribute__((target("avx2")))

inline __m128i Bytes(unsigned char value)
{
    return _mm_set1_epi8(static_cast<char>(value));
}

// The bytes whose sum reaches `threshold`, which is within a byte.
inline unsigned Reaching16(__m128i sums, int threshold)
{
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(sums, Bytes(static_cast<unsigned char>(threshold))), sums)));
}

// A block of sixteen or thirty-two bytes measured at once: their widths summed from the first
// (`sum`, the last being `total`), which of them are LFs, and which reach the room left on the line
// (`reach`), one bit a byte. Each vector path measures blocks; what a block does to the cursor is
// the same for all.
struct Block {
    const unsigned char* bytes;
    const unsigned char* sum;
    int size;
    int total;
    unsigned lineFeeds;
    unsigned reach;

    // The bytes whose sum reaches `threshold`, read back from `sum`.
    unsigned reaching(int threshold) const
    {
        // A threshold beyond every sum stands for all of them; one byte holds it.
        threshold = std::min(threshold, 255);
        unsigned bits = Reaching16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sum)), threshold);
        if (size > 16)
            bits |= Reaching16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sum + 16)), threshold) << 16;
        return bits;
    }
};

// The byte that breaks a line is the first whose sum reaches the room left on it. Where the block
// cannot end the piece, only one break can come before its first LF, and none after the first line
// start when what follows it is narrower than a line: then each line start is read off the sums
// without a step per byte. Without a LF, thirty-two bytes (at most 160 wide) can break a line
// twice, the second time where the sums reach a line past the first break. Returns false, having
// changed nothing, where none of that holds.
inline bool TakeBlockAtOnce(ScanCursor& cursor, const Block& block)
{
    const int total = block.total;
    if (cursor.position + total + 2 * kLineBreakLength >= kFlushThreshold)
        return false;
    const unsigned wraps = block.reach & ((block.lineFeeds & (0u - block.lineFeeds)) - 1);
    if (block.size > 16) {
        // What follows the first line start is narrower than a line, or breaks a second one.
        const int first = block.sum[std::countr_zero(wraps | block.lineFeeds | 1u << (block.size - 1))];
        if (total - first >= kWrapWidth) {
            if (block.lineFeeds != 0)
                return false;
            const int second = block.sum[std::countr_zero(block.reaching(first + kWrapWidth))];
            cursor.startLine(cursor.position + first + kLineBreakLength);
            cursor.startLine(cursor.position + second + 2 * kLineBreakLength);
            cursor.position += total + 2 * kLineBreakLength;
            cursor.followLineStart();
            return true;
        }
    }
    int base = cursor.position;
    if (wraps != 0) {
        base += kLineBreakLength;
        cursor.startLine(base + block.sum[std::countr_zero(wraps)]);
    }
    for (unsigned feeds = block.lineFeeds; feeds != 0; feeds &= feeds - 1)
        cursor.startLine(base + block.sum[std::countr_zero(feeds)]);
    cursor.position = base + total;
    cursor.followLineStart();
    return true;
}

// The block a step for each LF and each byte that reaches the limit: near the piece's end, or where
// a line breaks more than once.
inline void StepThroughBlock(ScanCursor& cursor, const Block& block)
{
    unsigned stops = block.lineFeeds | block.reach;
    int counted = 0; // the sum up to the last byte stepped through
    while (stops != 0) {
        const int stop = std::countr_zero(stops);
        cursor.position += block.sum[stop] - counted;
        counted = block.sum[stop];
        cursor.endOfByte(block.bytes[stop]);
        const unsigned later = stop < 31 ? ~((2u << stop) - 1) : 0u;
        stops = (block.lineFeeds | block.reaching(counted + cursor.limit - cursor.position)) & later;
    }
    cursor.position += block.total - counted;
}

inline void TakeBlock(ScanCursor& cursor, const Block& block)
{
    if (!TakeBlockAtOnce(cursor, block))
        StepThroughBlock(cursor, block);
}

// Widths by class, as vectors of one byte repeated: a byte's width is that of the bytes no class
// takes, plus what each class it falls in adds; a LF or CR is also below sixteen.
struct Sse2Deltas {
    __m128i otherWidth, printableDelta, belowSixteenDelta, lineFeedDelta, carriageReturnDelta;
};

// What a class adds to the width of the class it is taken from, as a byte.
constexpr unsigned char Delta(int to, int from)
{
    return static_cast<unsigned char>(to - from);
}

// The widths of the sixteen bytes at `at`, each summed with those before it.
inline __m128i SummedWidths16(const unsigned char* at, const Sse2Deltas& deltas)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    // 0x20..0x7E moved by 0x60 are the signed bytes below -33, and no other byte is.
    const __m128i printable = _mm_cmplt_epi8(_mm_add_epi8(v, Bytes(0x60)), Bytes(0xDF));
    const __m128i belowSixteen = _mm_cmpeq_epi8(_mm_min_epu8(v, Bytes(0x0F)), v);
    const __m128i lineFeed = _mm_cmpeq_epi8(v, Bytes('\n'));
    const __m128i carriageReturn = _mm_cmpeq_epi8(v, Bytes('\r'));
    __m128i sums = _mm_add_epi8(_mm_add_epi8(deltas.otherWidth, _mm_and_si128(printable, deltas.printableDelta)),
        _mm_and_si128(belowSixteen, deltas.belowSixteenDelta));
    sums = _mm_add_epi8(sums,
        _mm_add_epi8(
            _mm_and_si128(lineFeed, deltas.lineFeedDelta), _mm_and_si128(carriageReturn, deltas.carriageReturnDelta)));
    // At most 16 times five: every sum fits a byte.
    sums = _mm_add_epi8(sums, _mm_slli_si128(sums, 1));
    sums = _mm_add_epi8(sums, _mm_slli_si128(sums, 2));
    sums = _mm_add_epi8(sums, _mm_slli_si128(sums, 4));
    return _mm_add_epi8(sums, _mm_slli_si128(sums, 8));
}

inline unsigned LineFeeds16(const unsigned char* at)
{
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), Bytes('\n'))));
}

// Which of the sixteen bytes at `at` are printable.
inline unsigned Printable16(const unsigned char* at)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(_mm_add_epi8(v, Bytes(0x60)), Bytes(0xDF))));
}

// Thirty-two printable bytes far from the piece's end: one character each, so they break the line
// where it has no room left, at most once, and need no sums. Returns false where they are not.
inline bool TakePrintableBlock(ScanCursor& cursor, unsigned printable)
{
    if (printable != ~0u || cursor.position + 32 + 2 * kLineBreakLength >= kFlushThreshold)
        return false;
    if (cursor.position + 32 >= cursor.limit) {
        cursor.position += kLineBreakLength;
        cursor.startLine(cursor.limit + kLineBreakLength);
        cursor.followLineStart();
    }
    cursor.position += 32;
    return true;
}

// Sixteen bytes at a time; returns how many it measured.
int ScanSse2(const unsigned char* input, int length, const ClassWidths& classes, ScanCursor& scanned)
{
    ScanCursor cursor = scanned; // as in ScanEightAtATime
    const Sse2Deltas deltas{Bytes(classes.other), Bytes(Delta(classes.printable, classes.other)),
        Bytes(Delta(classes.belowSixteen, classes.other)), Bytes(Delta(classes.lineFeed, classes.belowSixteen)),
        Bytes(Delta(classes.carriageReturn, classes.belowSixteen))};
    int i = 0;
    while (length - i >= 16) {
        // Random bytes leave at the first half.
        if (length - i >= 32 && Printable16(input + i) == 0xFFFF
            && TakePrintableBlock(cursor, 0xFFFF | Printable16(input + i + 16) << 16)) {
            i += 32;
            continue;
        }
        const unsigned lineFeeds = LineFeeds16(input + i);
        if (lineFeeds == 0 && length - i >= 32 && cursor.position + 2 * MostWidth(16) < kFlushThreshold
            && LineFeeds16(input + i + 16) == 0) {
            // Thirty-two bytes without a LF, at most 160 wide and far from the piece's end, measured
            // together: whether sixteen random bytes break the line is a toss-up that costs a
            // mispredicted branch half the time, while thirty-two nearly always break it, and at
            // most once unless what follows the break reaches the wrap width again.
            const __m128i first = SummedWidths16(input + i, deltas);
            const __m128i firstTotal = _mm_shufflehi_epi16(_mm_unpackhi_epi8(first, first), 0xFF);
            const __m128i second
                = _mm_add_epi8(SummedWidths16(input + i + 16, deltas), _mm_unpackhi_epi64(firstTotal, firstTotal));
            alignas(16) unsigned char sum[32];
            _mm_store_si128(reinterpret_cast<__m128i*>(sum), first);
            _mm_store_si128(reinterpret_cast<__m128i*>(sum + 16), second);
            const int room = cursor.limit - cursor.position;
            const unsigned wraps = Reaching16(first, room) | Reaching16(second, room) << 16;
            const int total = sum[31];
            if (wraps == 0) {
                cursor.position += total;
                i += 32;
                continue;
            }
            const int reached = sum[std::countr_zero(wraps)];
            if (total - reached < kWrapWidth) {
                cursor.startLine(cursor.position + reached + kLineBreakLength);
                cursor.position += total + kLineBreakLength;
                cursor.followLineStart();
                i += 32;
                continue;
            }
        }
        const __m128i sums = SummedWidths16(input + i, deltas);
        alignas(16) unsigned char sum[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(sum), sums);
        // A sum reaches the room left, at most the wrap width, where adding 128 less that room sets
        // its top bit: at most 80 plus 127, within a byte.
        const auto lift = static_cast<unsigned char>(128 - (cursor.limit - cursor.position));
        const auto reach = static_cast<unsigned>(_mm_movemask_epi8(_mm_add_epi8(sums, Bytes(lift))));
        TakeBlock(cursor, {input + i, sum, 16, _mm_extract_epi16(sums, 7) >> 8, lineFeeds, reach});
        i += 16;
    }
    scanned = cursor;
    return i;
}

BRINDLE_AVX2 inline __m256i Bytes32(unsigned char value)
{
    return _mm256_set1_epi8(static_cast<char>(value));
}

struct Avx2Deltas {
    __m256i otherWidth, printableDelta, belowSixteenDelta, lineFeedDelta, carriageReturnDelta;
};

// The widths of the thirty-two bytes in `v`, each summed with those before it.
BRINDLE_AVX2 inline __m256i SummedWidths32(__m256i v, const Avx2Deltas& deltas)
{
    const __m256i printable = _mm256_cmpgt_epi8(Bytes32(0xDF), _mm256_add_epi8(v, Bytes32(0x60)));
    const __m256i belowSixteen = _mm256_cmpeq_epi8(_mm256_min_epu8(v, Bytes32(0x0F)), v);
    const __m256i lineFeed = _mm256_cmpeq_epi8(v, Bytes32('\n'));
    const __m256i carriageReturn = _mm256_cmpeq_epi8(v, Bytes32('\r'));
    __m256i sums
        = _mm256_add_epi8(_mm256_add_epi8(deltas.otherWidth, _mm256_and_si256(printable, deltas.printableDelta)),
            _mm256_and_si256(belowSixteen, deltas.belowSixteenDelta));
    sums = _mm256_add_epi8(sums,
        _mm256_add_epi8(_mm256_and_si256(lineFeed, deltas.lineFeedDelta),
            _mm256_and_si256(carriageReturn, deltas.carriageReturnDelta)));
    // Within each half, then the first half's total added to the second: at most 32 times five.
    sums = _mm256_add_epi8(sums, _mm256_slli_si256(sums, 1));
    sums = _mm256_add_epi8(sums, _mm256_slli_si256(sums, 2));
    sums = _mm256_add_epi8(sums, _mm256_slli_si256(sums, 4));
    sums = _mm256_add_epi8(sums, _mm256_slli_si256(sums, 8));
    const __m256i halfTotals = _mm256_shuffle_epi8(sums, Bytes32(15));
    return _mm256_add_epi8(sums, _mm256_permute2x128_si256(halfTotals, halfTotals, 0x08));
}

// Which of the thirty-two bytes in `v` are printable: each shows as itself, one character wide.
BRINDLE_AVX2 inline unsigned Printable32(__m256i v)
{
    // 0x20..0x7E moved by 0x60 are the signed bytes below -33, and no other byte is.
    return static_cast<unsigned>(
        _mm256_movemask_epi8(_mm256_cmpgt_epi8(Bytes32(0xDF), _mm256_add_epi8(v, Bytes32(0x60)))));
}

BRINDLE_AVX2 inline unsigned Reaching32(__m256i sums, int threshold)
{
    return static_cast<unsigned>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(_mm256_max_epu8(sums, Bytes32(static_cast<unsigned char>(threshold))), sums)));
}

// Thirty-two bytes at a time; returns how many it measured.
BRINDLE_AVX2 int ScanAvx2(const unsigned char* input, int length, const ClassWidths& classes, ScanCursor& scanned)
{
    ScanCursor cursor = scanned; // as in ScanEightAtATime
    const Avx2Deltas deltas{Bytes32(classes.other), Bytes32(Delta(classes.printable, classes.other)),
        Bytes32(Delta(classes.belowSixteen, classes.other)), Bytes32(Delta(classes.lineFeed, classes.belowSixteen)),
        Bytes32(Delta(classes.carriageReturn, classes.belowSixteen))};
    int i = 0;
    for (; length - i >= 32; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(input + i));
        if (TakePrintableBlock(cursor, Printable32(v)))
            continue;
        const auto lineFeeds = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, Bytes32('\n'))));
        const __m256i sums = SummedWidths32(v, deltas);
        unsigned char sum[32];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sum), sums);
        const unsigned reach = Reaching32(sums, cursor.limit - cursor.position);
        const int total = sum[31];
        if (lineFeeds == 0 && cursor.position + total + 2 * kLineBreakLength < kFlushThreshold) {
            const int first = sum[std::countr_zero(reach | 1u << 31)];
            if (total - first < kWrapWidth) {
                const bool wraps = reach != 0;
                const int start = cursor.position + first + kLineBreakLength;
                *cursor.next = static_cast<std::uint32_t>(cursor.piece + static_cast<std::size_t>(start));
                cursor.next += wraps;
                cursor.lineStart = wraps ? start : cursor.lineStart;
                cursor.position += total + (wraps ? kLineBreakLength : 0);
                cursor.followLineStart();
                continue;
            }
        }
        TakeBlock(cursor, {input + i, sum, 32, total, lineFeeds, reach});
    }
    scanned = cursor;
    return i;
}

#define BRINDLE_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi2")))

// Thirty-two bytes at a time as ScanAvx2 does, with the room left on the line kept in a vector
// from one block without a LF to the next: the first byte that reaches it is picked out by a
// compress instead of a trip through a general register and memory. Random bytes break a line
// about every thirty-four bytes, each break waiting for the one before, so that trip is what they
// cost.
BRINDLE_AVX512 int ScanAvx512(const unsigned char* input, int length, const ClassWidths& classes, ScanCursor& scanned)
{
    ScanCursor cursor = scanned; // as in ScanEightAtATime
    const Avx2Deltas deltas{Bytes32(classes.other), Bytes32(Delta(classes.printable, classes.other)),
        Bytes32(Delta(classes.belowSixteen, classes.other)), Bytes32(Delta(classes.lineFeed, classes.belowSixteen)),
        Bytes32(Delta(classes.carriageReturn, classes.belowSixteen))};
    __m256i room = Bytes32(static_cast<unsigned char>(cursor.limit - cursor.position));
    int i = 0;
    for (; length - i >= 32; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(input + i));
        if (TakePrintableBlock(cursor, Printable32(v))) {
            room = Bytes32(static_cast<unsigned char>(cursor.limit - cursor.position));
            continue;
        }
        const unsigned lineFeeds = _mm256_cmpeq_epi8_mask(v, Bytes32('\n'));
        const __m256i sums = SummedWidths32(v, deltas);
        unsigned char sum[32];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sum), sums);
        const int total = sum[31];
        if (lineFeeds == 0 && cursor.position + total + 2 * kLineBreakLength < kFlushThreshold) {
            const __mmask32 wraps = _mm256_cmpge_epu8_mask(sums, room);
            const int first = sum[std::countr_zero(wraps | 1u << 31)];
            if (total - first < kWrapWidth) {
                if (wraps != 0) {
                    cursor.startLine(cursor.position + first + kLineBreakLength);
                    cursor.position += kLineBreakLength;
                    cursor.followLineStart();
                }
                cursor.position += total;
                // The room after the block: from the break, whose sum is the first that reaches the
                // room, or (where none does) what was left less the block.
                const __m256i reached
                    = _mm256_mask_compress_epi8(_mm256_sub_epi8(room, Bytes32(kWrapWidth)), wraps, sums);
                room = _mm256_add_epi8(_mm256_broadcastb_epi8(_mm256_castsi256_si128(reached)),
                    Bytes32(static_cast<unsigned char>(kWrapWidth - total)));
                continue;
            }
        }
        TakeBlock(cursor, {input + i, sum, 32, total, lineFeeds, Reaching32(sums, cursor.limit - cursor.position)});
        room = Bytes32(static_cast<unsigned char>(cursor.limit - cursor.position));
    }
    scanned = cursor;
    return i;
}

#undef BRINDLE_AVX512
#undef BRINDLE_AVX2

} // namespace
#endif

bool TrafficScanPathRuns(TrafficScanPath path)
{
    switch (path) {
    case TrafficScanPath::portable:
        return true;
#if BRINDLE_SCAN_X86
    case TrafficScanPath::sse2:
        return __builtin_cpu_supports("sse2");
    case TrafficScanPath::avx2:
        return __builtin_cpu_supports("avx2");
    case TrafficScanPath::avx512:
        return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl")
            && __builtin_cpu_supports("avx512vbmi2");
#else
    case TrafficScanPath::sse2:
    case TrafficScanPath::avx2:
    case TrafficScanPath::avx512:
        return false;
#endif
    }
    return false;
}

TrafficExtent ScanTrafficBy(
    TrafficScanPath path, std::string_view bytes, TrafficFormat format, std::uint32_t* lineStarts)
{
    const ByteForms& forms = format.showCrLf ? kCrLfForms : kPlainForms;
    const auto* input = reinterpret_cast<const unsigned char*>(bytes.data());
    const int length = static_cast<int>(bytes.size());
    ScanCursor cursor{format.frameBuffers ? kBlockHeader.size() : 0, lineStarts};
    int measured = 0;
#if BRINDLE_SCAN_X86
    if (path == TrafficScanPath::avx512)
        measured = ScanAvx512(input, length, WidthsOf(forms), cursor);
    else if (path == TrafficScanPath::avx2)
        measured = ScanAvx2(input, length, WidthsOf(forms), cursor);
    else if (path == TrafficScanPath::sse2)
        measured = ScanSse2(input, length, WidthsOf(forms), cursor);
#else
    (void)path;
#endif
    ScanEightAtATime(input, measured, length, forms.length, cursor);
    std::size_t end = cursor.piece + static_cast<std::size_t>(cursor.position);
    if (format.frameBuffers) {
        end += kLineBreakLength;
        *cursor.next++ = static_cast<std::uint32_t>(end);
    }
    return {end, static_cast<std::size_t>(cursor.next - lineStarts)};
}

TrafficExtent ScanTraffic(std::string_view bytes, TrafficFormat format, std::uint32_t* lineStarts)
{
    // The widest path this processor runs, asked once.
    static const TrafficScanPath widest = [] {
        for (const TrafficScanPath path : {TrafficScanPath::avx512, TrafficScanPath::avx2, TrafficScanPath::sse2}) {
            if (TrafficScanPathRuns(path))
                return path;
        }
        return TrafficScanPath::portable;
    }();
    return ScanTrafficBy(widest, bytes, format, lineStarts);
}

std::string TrafficText(std::string_view bytes, TrafficFormat format)
{
    std::string text(FormattedTrafficBound(bytes.size()), '\0');
    text.resize(FormatTraffic(bytes, format, text.data()));
    return text;
}
