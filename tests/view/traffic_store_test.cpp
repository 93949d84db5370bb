// A store that keeps received chunks as bytes answers every reader as one fed their formatted text.
#include "platform/text/text_store.h"
#include "platform/text/traffic_format.h"
#include "platform/text/traffic_scan_paths.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

// Bytes drawn from `alphabet`, or from all 256 values when it is empty.
std::string drawBytes(std::mt19937& random, std::size_t length, std::string_view alphabet)
{
    std::string bytes(length, '\0');
    for (char& byte : bytes)
        byte = alphabet.empty() ? static_cast<char>(random() & 0xFF) : alphabet[random() % alphabet.size()];
    return bytes;
}

constexpr std::string_view kAlphabets[]
    = {"", "GET /a HTTP/1.1\r\n", "\n\n\r\x01", "abcdefghij\x7f", "a\n\r\x7f\x80\xff\x10"};

TrafficFormat drawFormat(std::mt19937& random)
{
    return TrafficFormat{(random() & 1) != 0, (random() & 2) != 0};
}

// Each way of measuring this build has and this processor runs.
std::vector<TrafficScanPath> runnableScanPaths()
{
    std::vector<TrafficScanPath> paths;
    for (const TrafficScanPath path :
        {TrafficScanPath::portable, TrafficScanPath::sse2, TrafficScanPath::avx2, TrafficScanPath::avx512}) {
        if (TrafficScanPathRuns(path))
            paths.push_back(path);
    }
    return paths;
}

// Every path, and ScanTraffic with the one it takes, measures the length and line starts of the text
// that formatting writes.
void expectScansMeasureText(std::string_view bytes, TrafficFormat format, const std::string& label)
{
    const std::string text = TrafficText(bytes, format);
    std::vector<std::uint32_t> expected;
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; ++at)
        expected.push_back(static_cast<std::uint32_t>(at + 1));
    std::vector<std::uint32_t> starts;
    auto expectMeasured = [&](const TrafficExtent& extent, const std::string& by) {
        ASSERT_EQ(extent.length, text.size()) << label << " by " << by;
        ASSERT_EQ(std::vector<std::uint32_t>(starts.begin(), starts.begin() + extent.lineStarts), expected)
            << label << " by " << by;
    };
    for (const TrafficScanPath path : runnableScanPaths()) {
        starts.assign(TrafficLineStartsBound(bytes.size()), 0);
        expectMeasured(
            ScanTrafficBy(path, bytes, format, starts.data()), "path " + std::to_string(static_cast<int>(path)));
    }
    starts.assign(TrafficLineStartsBound(bytes.size()), 0);
    expectMeasured(ScanTraffic(bytes, format, starts.data()), "ScanTraffic");
}

TEST(TrafficScanTest, MeasuresWhatFormattingWrites)
{
    std::mt19937 random(19);
    for (int round = 0; round < 600; ++round) {
        const std::string bytes = drawBytes(random, random() % 9000, kAlphabets[round % std::size(kAlphabets)]);
        expectScansMeasureText(bytes, drawFormat(random), "round " + std::to_string(round));
    }
}

// Runs of one kind of byte of every length up to 300, alone and before a LF, put line breaks, LFs
// and CRs at every place in and across blocks; long runs after a few wide bytes end pieces there.
TEST(TrafficScanTest, EveryPathAtBlockLineAndPieceEdges)
{
    constexpr std::string_view kRuns[] = {"a", "\xff", "\x01", "\r", "\x7f\x80", "ab\r\n", "\x0f\x10\x1f\x20\x7e"};
    auto run = [](std::string_view unit, std::size_t length) {
        std::string bytes;
        while (bytes.size() < length)
            bytes += unit;
        bytes.resize(length);
        return bytes;
    };
    for (const TrafficFormat format : {TrafficFormat{false, false}, TrafficFormat{true, false},
             TrafficFormat{false, true}, TrafficFormat{true, true}}) {
        for (const std::string_view unit : kRuns) {
            for (std::size_t length = 0; length <= 300; ++length) {
                const std::string label = "run of " + std::to_string(length);
                expectScansMeasureText(run(unit, length), format, label);
                expectScansMeasureText(run(unit, length) + "\n" + run(unit, 300 - length), format, label + " then LF");
            }
        }
        for (std::size_t shift = 0; shift < 64; ++shift) {
            for (const std::string_view unit : {std::string_view("a"), std::string_view("ab\r\n")})
                expectScansMeasureText(
                    run("\xff", shift) + run(unit, 4200), format, "shifted " + std::to_string(shift));
        }
    }
    // A line that starts a few characters before a piece's last 120, then printable bytes, at every
    // alignment to the blocks: the line breaks right at the piece's end or just before it. Leading
    // CRs shift the bytes without adding characters.
    for (int start = 3970; start <= 3978; ++start) {
        for (std::size_t shift = 0; shift < 32; ++shift) {
            std::string bytes(shift, '\r');
            for (int line = 0; line < (start - 2) / 100; ++line)
                bytes += run("a", 98) + "\n";
            bytes += run("a", static_cast<std::size_t>((start - 2) % 100)) + "\n" + run("a", 400);
            expectScansMeasureText(
                bytes, TrafficFormat{}, "line at " + std::to_string(start) + ", shift " + std::to_string(shift));
        }
    }
}

void expectSameAnswers(const TextStore& lazy, const TextStore& eager, std::mt19937& random)
{
    ASSERT_EQ(lazy.beginOffset(), eager.beginOffset());
    ASSERT_EQ(lazy.endOffset(), eager.endOffset());
    ASSERT_EQ(lazy.lineCount(), eager.lineCount());
    ASSERT_EQ(lazy.droppedLines(), eager.droppedLines());
    ASSERT_EQ(lazy.longestLine(), eager.longestLine());
    for (std::int64_t line = 0; line < eager.lineCount(); ++line) {
        ASSERT_EQ(lazy.lineStart(line), eager.lineStart(line)) << "line " << line;
        ASSERT_EQ(lazy.lineEnd(line), eager.lineEnd(line)) << "line " << line;
    }
    if (eager.size() == 0)
        return;
    const auto draw = [&] { return eager.beginOffset() + static_cast<std::int64_t>(random() % eager.size()); };
    for (int probe = 0; probe < 64; ++probe) {
        const std::int64_t offset = draw();
        ASSERT_EQ(lazy.at(offset), eager.at(offset)) << "offset " << offset;
        ASSERT_EQ(lazy.lineAt(offset), eager.lineAt(offset)) << "offset " << offset;
        const std::int64_t other = draw();
        ASSERT_EQ(lazy.text(std::min(offset, other), std::max(offset, other)),
            eager.text(std::min(offset, other), std::max(offset, other)));
    }
    // Backwards, as a caret steps.
    const std::int64_t from = draw();
    for (std::int64_t offset = from; offset >= std::max(eager.beginOffset(), from - 300); --offset)
        ASSERT_EQ(lazy.at(offset), eager.at(offset)) << "offset " << offset;
    ASSERT_EQ(lazy.text(), eager.text());
}

struct MixCase {
    const char* name;
    std::int64_t capacity;
    int rounds;
    std::size_t longestChunk;
    int checkEvery;
    unsigned clearPercent;
};

void PrintTo(const MixCase& c, std::ostream* out)
{
    *out << c.name;
}

class TrafficStoreEquivalence : public ::testing::TestWithParam<MixCase> { };

TEST_P(TrafficStoreEquivalence, AnswersAsTheFormattedText)
{
    const MixCase& c = GetParam();
    std::mt19937 random(static_cast<std::uint32_t>(c.capacity));
    TextStore lazy;
    TextStore eager;
    lazy.setCapacity(c.capacity);
    eager.setCapacity(c.capacity);
    for (int round = 0; round < c.rounds; ++round) {
        const unsigned kind = random() % 100;
        const std::string bytes
            = drawBytes(random, random() % (c.longestChunk + 1), kAlphabets[random() % std::size(kAlphabets)]);
        if (kind < 75) {
            const TrafficFormat format = drawFormat(random);
            ASSERT_TRUE(lazy.appendTraffic(bytes, format));
            ASSERT_TRUE(eager.append(TrafficText(bytes, format)));
        } else if (kind < 95) {
            const std::string text = bytes.substr(0, random() % 300);
            ASSERT_TRUE(lazy.append(text));
            ASSERT_TRUE(eager.append(text));
        } else if (kind < 95 + c.clearPercent) {
            lazy.clear();
            eager.clear();
        } else {
            const auto capacity = static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(2 * c.capacity)) + 1;
            lazy.setCapacity(capacity);
            eager.setCapacity(capacity);
        }
        if (round % c.checkEvery == 0 || round + 1 == c.rounds) {
            SCOPED_TRACE("round " + std::to_string(round));
            expectSameAnswers(lazy, eager, random);
            if (HasFatalFailure())
                return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Mixes, TrafficStoreEquivalence,
    ::testing::Values(MixCase{"TinyCapacity", 7, 300, 400, 1, 2}, MixCase{"SmallerThanAChunk", 3000, 400, 5000, 1, 2},
        MixCase{"ManyChunks", 200000, 300, 5000, 10, 2},
        MixCase{"ChunkLargerThanFormattedLazily", 1000000, 30, TextStore::kLazyTrafficBytes + 5000, 5, 2},
        MixCase{"BytesOverManyMemoryChunks", 6 * TextStore::kChunkBytes, 1500, 5000, 300, 0}),
    [](const ::testing::TestParamInfo<MixCase>& info) { return info.param.name; });

// A LF with nothing before it on its line, at the start or where everything before it went, has no
// character to look back at.
TEST(TrafficStoreEdgeTest, LineFeedWithNothingBeforeIt)
{
    TextStore store;
    store.setCapacity(1);
    ASSERT_TRUE(store.append("a\n"));
    ASSERT_EQ(store.size(), 0);
    ASSERT_TRUE(store.append("\n"));
    EXPECT_EQ(store.text(), "\n");
    EXPECT_EQ(store.lineEnd(0), store.beginOffset());
    store.clear();
    ASSERT_TRUE(store.append("\n"));
    EXPECT_EQ(store.lineCount(), 2);
    EXPECT_EQ(store.longestLine(), 0);
}

struct MemoryCase {
    const char* name;
    std::string_view alphabet;
    std::int64_t capacity;
    std::size_t appends;
    double mostBytesPerChar; // beyond two chunks' worth
    bool textFills; // else the received bytes reach their bound first
};

void PrintTo(const MemoryCase& c, std::ostream* out)
{
    *out << c.name;
}

class TrafficStoreMemory : public ::testing::TestWithParam<MemoryCase> { };

TEST_P(TrafficStoreMemory, TakesNoMoreThanItsText)
{
    const MemoryCase& c = GetParam();
    std::mt19937 random(7);
    const std::string bytes = drawBytes(random, 1 << 20, c.alphabet);
    TextStore store;
    store.setCapacity(c.capacity);
    for (std::size_t i = 0; i < c.appends; ++i)
        store.appendTraffic(std::string_view(bytes).substr(i * 4096 % (bytes.size() - 4096), 4096), TrafficFormat{});
    const std::int64_t received = store.receivedEnd() - store.receivedBegin();
    ASSERT_GE(c.textFills ? store.size() : received, c.capacity / 2);
    ASSERT_LE(received, store.maxReceived());
    EXPECT_LT(store.memoryUsage(),
        static_cast<std::size_t>(static_cast<double>(store.size() + received) * c.mostBytesPerChar)
            + 2 * TextStore::kChunkBytes);
}

// Random bytes take a third of their text; bytes that show as next to nothing are held as their text
// and their bytes, the bytes bounded by the capacity.
INSTANTIATE_TEST_SUITE_P(Kinds, TrafficStoreMemory,
    ::testing::Values(MemoryCase{"RandomBytes", "", 16 * TextStore::kChunkBytes, 3000, 0.3, true},
        MemoryCase{"MostlyCarriageReturns", "\r\r\r\r\r\r\r\ra", TextStore::kChunkBytes, 2500, 1.1, false}),
    [](const ::testing::TestParamInfo<MemoryCase>& info) { return info.param.name; });

} // namespace
