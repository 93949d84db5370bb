#include "platform/text/text_store.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace {

// Lines as a reader sees them: split at LF, a CR before the LF or at the very end left out.
std::vector<std::string> referenceLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t lf = text.find('\n', start);
        std::string line = text.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        if (lf == std::string::npos)
            return lines;
        start = lf + 1;
    }
}

std::vector<std::string> pieces(const std::string& text, std::size_t size)
{
    std::vector<std::string> out;
    for (std::size_t at = 0; at < text.size(); at += size)
        out.push_back(text.substr(at, size));
    return out;
}

// Numbered lines of the given length before CR LF, so that every line differs.
std::string numberedLines(std::size_t count, std::size_t length)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        std::string line = std::to_string(i) + ':';
        line.resize(std::max(length, line.size()), static_cast<char>('a' + i % 26));
        text += line.substr(0, length) + "\r\n";
    }
    return text;
}

struct LineCase {
    const char* name;
    std::vector<std::string> pieces;
    std::size_t lineCount;
};

void PrintTo(const LineCase& c, std::ostream* out)
{
    *out << c.name;
}

class TextStoreLines : public ::testing::TestWithParam<LineCase> { };

TEST_P(TextStoreLines, IndexMatchesTheTextAppended)
{
    TextStore store;
    std::string all;
    for (const std::string& piece : GetParam().pieces) {
        ASSERT_TRUE(store.append(piece));
        all += piece;
    }
    const std::vector<std::string> expected = referenceLines(all);

    ASSERT_EQ(store.lineCount(), static_cast<std::int64_t>(GetParam().lineCount));
    ASSERT_EQ(expected.size(), GetParam().lineCount);
    EXPECT_EQ(store.size(), static_cast<std::int64_t>(all.size()));
    EXPECT_EQ(store.text(), all);
    std::size_t longest = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto line = static_cast<std::int64_t>(i);
        EXPECT_EQ(store.text(store.lineStart(line), store.lineEnd(line)), expected[i]) << "line " << i;
        EXPECT_EQ(store.lineAt(store.lineStart(line)), line);
        EXPECT_EQ(store.lineAt(store.lineEnd(line)), line);
        longest = std::max(longest, expected[i].size());
    }
    EXPECT_EQ(store.longestLine(), static_cast<std::int64_t>(longest));
    EXPECT_EQ(store.lineAt(store.endOffset()), store.lineCount() - 1);
}

std::string chunkOf(char c, std::int64_t extra)
{
    return std::string(static_cast<std::size_t>(TextStore::kChunkBytes + extra), c);
}

INSTANTIATE_TEST_SUITE_P(Pieces, TextStoreLines,
    ::testing::Values(LineCase{"Nothing", {}, 1}, LineCase{"OneLineNoBreak", {"abc"}, 1},
        LineCase{"EmptyPieces", {"", "ab", "", "\r\n", ""}, 2}, LineCase{"CrLfSplitAcrossPieces", {"ab\r", "\ncd"}, 2},
        LineCase{"BreakPiecesAlone", {"ab\r", "\n", "\r", "\n"}, 3}, LineCase{"CrAwaitingItsLf", {"ab\r"}, 1},
        LineCase{"BlankLines", {"\r\n\r\n"}, 3}, LineCase{"CrInsideALine", {"a\rb\r\n"}, 2},
        LineCase{"LineLongerThanAChunk", {chunkOf('x', 10), "\r\n", "tail"}, 2},
        LineCase{"BreakOnChunkEdge", {chunkOf('y', -1) + "\r\nz"}, 2},
        LineCase{"TrafficIn4KPieces", pieces(numberedLines(20000, 120), 4096), 20001},
        LineCase{"TrafficIn121BytePieces", pieces(numberedLines(20000, 120), 121), 20001}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return info.param.name; });

struct CapacityCase {
    const char* name;
    std::int64_t capacity;
    std::string text;
    std::size_t pieceSize;
};

void PrintTo(const CapacityCase& c, std::ostream* out)
{
    *out << c.name;
}

class TextStoreCapacity : public ::testing::TestWithParam<CapacityCase> { };

TEST_P(TextStoreCapacity, KeepsANewestSuffixOfWholeLines)
{
    const CapacityCase& c = GetParam();
    TextStore store;
    store.setCapacity(c.capacity);
    std::string all;
    for (const std::string& piece : pieces(c.text, c.pieceSize)) {
        ASSERT_TRUE(store.append(piece));
        all += piece;
        ASSERT_LE(store.size(), c.capacity);
    }

    const auto begin = static_cast<std::size_t>(store.beginOffset());
    EXPECT_EQ(begin + static_cast<std::size_t>(store.size()), all.size());
    EXPECT_EQ(store.text(), all.substr(begin));
    const bool lastLineTooLong = all.rfind('\n') == std::string::npos || all.rfind('\n') < begin;
    if (begin > 0 && !lastLineTooLong) {
        EXPECT_EQ(all[begin - 1], '\n') << "cut inside a line";
    }
    EXPECT_EQ(store.droppedLines(), std::count(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(begin), '\n'));
    EXPECT_EQ(store.lineCount(), static_cast<std::int64_t>(referenceLines(all.substr(begin)).size()));
    EXPECT_LE(store.memoryUsage(), static_cast<std::size_t>(store.size() * 11 / 10 + 2 * TextStore::kChunkBytes));
}

INSTANTIATE_TEST_SUITE_P(Drops, TextStoreCapacity,
    ::testing::Values(CapacityCase{"ShortLines", 1000, numberedLines(500, 37), 64},
        CapacityCase{"OneByteCapacity", 1, numberedLines(20, 5), 7},
        CapacityCase{"LineLongerThanCapacity", 1000, std::string(5000, 'q'), 300},
        CapacityCase{"ManyChunks", 3 * TextStore::kChunkBytes + 17, numberedLines(170000, 120), 4096}),
    [](const ::testing::TestParamInfo<CapacityCase>& info) { return info.param.name; });

TEST(TextStoreCapacityTest, DropsInLargeStepsNotOnEveryAppend)
{
    TextStore store;
    store.setCapacity(10000);
    const std::string line = numberedLines(1, 98);
    std::vector<std::int64_t> dropsAt;
    for (int i = 0; i < 1000; ++i) {
        const std::int64_t before = store.droppedLines();
        store.append(line);
        if (store.droppedLines() != before)
            dropsAt.push_back(store.droppedLines() - before);
    }
    // 100 kB through 10 kB in 100-byte lines: a quarter of capacity, 25 lines, goes at a time.
    ASSERT_FALSE(dropsAt.empty());
    EXPECT_LE(dropsAt.size(), 40u);
    for (const std::int64_t lines : dropsAt)
        EXPECT_GE(lines, 25);
}

TEST(TextStoreCapacityTest, LoweringCapacityDropsAtOnce)
{
    TextStore store;
    const std::string text = numberedLines(100, 8);
    store.append(text);
    store.setCapacity(100);
    EXPECT_LE(store.size(), 100);
    EXPECT_GT(store.size(), 0);
    EXPECT_EQ(store.text(), text.substr(text.size() - static_cast<std::size_t>(store.size())));
    EXPECT_EQ(store.lineStart(0), store.beginOffset());
}

TEST(TextStoreClearTest, StartsOverAfterDrops)
{
    TextStore store;
    store.setCapacity(100);
    store.append(numberedLines(50, 10));
    ASSERT_GT(store.droppedLines(), 0);

    store.clear();
    EXPECT_EQ(store.size(), 0);
    EXPECT_EQ(store.text(), "");
    EXPECT_EQ(store.lineCount(), 1);
    EXPECT_EQ(store.lineEnd(0), 0);
    EXPECT_EQ(store.droppedLines(), 0);
    EXPECT_EQ(store.beginOffset(), 0);
    EXPECT_EQ(store.longestLine(), 0);

    store.append("ab\r\ncd");
    EXPECT_EQ(store.text(), "ab\r\ncd");
    EXPECT_EQ(store.lineCount(), 2);
    EXPECT_EQ(store.capacity(), 100);
}

} // namespace
