// The hex dump of a view's received bytes: its lines for chunks of every size, framed or not, and with
// the oldest bytes dropped; and byte strings found in it.
#include "platform/text/hex_dump.h"
#include "platform/text/traffic_view_model.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Chunk {
    std::string bytes;
    TrafficFormat format;
};

constexpr TrafficFormat kPlain{};
constexpr TrafficFormat kFramed{false, true};
constexpr TrafficFormat kCrLfShown{true, false};

struct DumpCase {
    const char* name;
    std::int64_t capacity;
    std::vector<Chunk> chunks;
    std::int64_t lineCount;
    std::vector<std::pair<std::int64_t, std::string>> lines; // a line's number (negative from the end), its text
};

std::ostream& operator<<(std::ostream& out, const DumpCase& c)
{
    return out << c.name;
}

std::string dumpLine(const HexDump& dump, std::int64_t line)
{
    return dump.text(dump.lineStart(line), dump.lineEnd(line));
}

class HexDumpLines : public testing::TestWithParam<DumpCase> { };

TEST_P(HexDumpLines, ShowOffsetsBytesCellsAndMarks)
{
    const DumpCase& c = GetParam();
    TextStore store;
    store.setCapacity(c.capacity);
    HexDump dump(store);
    for (const Chunk& chunk : c.chunks) {
        ASSERT_TRUE(store.appendTraffic(chunk.bytes, chunk.format));
        dump.refresh();
    }
    ASSERT_EQ(dump.lineCount(), c.lineCount);
    for (const auto& [number, expected] : c.lines) {
        const std::int64_t line = number < 0 ? dump.lineCount() + number : number;
        EXPECT_EQ(dumpLine(dump, line), expected) << "line " << number;
    }
    // The text is its lines with LF between them, as read in one piece.
    std::string joined;
    for (std::int64_t line = 0; line < dump.lineCount(); ++line)
        joined += dumpLine(dump, line) + (line + 1 < dump.lineCount() ? "\n" : "");
    EXPECT_EQ(dump.text(), joined);
}

const std::string k16 = std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f", 16);

INSTANTIATE_TEST_SUITE_P(Table, HexDumpLines,
    testing::Values(DumpCase{"nothing received", 1 << 20, {}, 1, {{0, ""}}},
        DumpCase{"a short chunk, CRLF marks shown in the text but not here", 1 << 20,
            {{std::string("ok\r\n\0", 5), kCrLfShown}}, 1,
            {{0, "000000000000  6f 6b 0d 0a 00" + std::string(36, ' ') + "ok..."}}},
        DumpCase{"sixteen bytes fill one line", 1 << 20, {{k16, kPlain}}, 1,
            {{0, "000000000000  00 01 02 03 04 05 06 07  08 09 0a 0b 0c 0d 0e 0f  ................"}}},
        DumpCase{"high bytes and the stand-in column", 1 << 20, {{"\x80\xff\xe9 A~\x7f", kPlain}}, 1,
            {{0, "000000000000  80 ff e9 20 41 7e 7f" + std::string(30, ' ') + "... A~."}}},
        DumpCase{"a framed chunk starting inside a line", 1 << 20, {{"abc", kPlain}, {"defghijklmnopqrstu", kFramed}},
            2,
            {{0, "000000000000* 61 62 63>64 65 66 67 68  69 6a 6b 6c 6d 6e 6f 70  abcdefghijklmnop"},
                {1, "000000000010  71 72 73 74 75" + std::string(36, ' ') + "qrstu"}}},
        DumpCase{"framed chunks at the gap and at a line's start", 1 << 20,
            {{"01234567", kFramed}, {"89abcdef", kFramed}, {"g", kFramed}}, 2,
            {{0, "000000000000*>30 31 32 33 34 35 36 37 >38 39 61 62 63 64 65 66  0123456789abcdef"},
                {1, "000000000010*>67" + std::string(48, ' ') + "g"}}},
        DumpCase{"the oldest bytes dropped leave blanks before the first held", 400,
            {{std::string(300, 'a'), kPlain}, {std::string(300, 'b'), kPlain}}, 20,
            {{0, "000000000120" + std::string(39, ' ') + "62 62 62 62  " + std::string(12, ' ') + "bbbb"},
                {-1, "000000000250  62 62 62 62 62 62 62 62" + std::string(27, ' ') + "bbbbbbbb"}}}));

struct HexQueryCase {
    const char* name;
    std::u16string query;
    std::optional<std::string> bytes;
};

std::ostream& operator<<(std::ostream& out, const HexQueryCase& c)
{
    return out << c.name;
}

class HexQueries : public testing::TestWithParam<HexQueryCase> { };

TEST_P(HexQueries, NameBytesOrNothing)
{
    EXPECT_EQ(parseHexBytes(GetParam().query), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Table, HexQueries,
    testing::Values(HexQueryCase{"spaced pairs", u"de ad be ef", std::string("\xde\xad\xbe\xef")},
        HexQueryCase{"run together", u"DEADbeef", std::string("\xde\xad\xbe\xef")},
        HexQueryCase{"groups of pairs", u" 0a0d  00 ", std::string("\x0a\x0d\x00", 3)},
        HexQueryCase{"an odd digit in a group", u"de a dbe", std::nullopt},
        HexQueryCase{"a character that is no digit", u"dex0", std::nullopt},
        HexQueryCase{"blank", u"  ", std::nullopt}));

struct HexFindCase {
    const char* name;
    std::u16string query;
    bool matchCase;
    std::optional<std::pair<std::int64_t, std::int64_t>> bytes; // the match's received bytes
    std::optional<TextRange> text; // or, found as the dump's text, where
};

std::ostream& operator<<(std::ostream& out, const HexFindCase& c)
{
    return out << c.name;
}

class HexFind : public testing::TestWithParam<HexFindCase> { };

TEST_P(HexFind, FindsByteStringsAcrossLinesAndTheDumpsText)
{
    const HexFindCase& c = GetParam();
    TrafficViewModel model;
    model.setPage(10, 80);
    // 0xde 0xad 0xbe 0xef at 14..17, across the first line break; again at 40..43.
    std::string bytes(48, 'x');
    bytes.replace(14, 4, "\xde\xad\xbe\xef");
    bytes.replace(40, 4, "\xde\xad\xbe\xef");
    model.appendTraffic(bytes, kPlain);
    model.setHex(true);
    model.select(model.store().beginOffset(), model.store().beginOffset());
    model.setFindQuery(c.query, c.matchCase);
    model.find(SearchDirection::Forward);
    for (int pass = 0; pass < 100 && model.finding(); ++pass)
        model.continueFind();
    const HexDump dump(model.heldStore());
    if (c.bytes) {
        EXPECT_EQ(model.selection(), dump.cellsOf(c.bytes->first, c.bytes->second));
        // Again finds the next one.
        model.find(SearchDirection::Forward);
        for (int pass = 0; pass < 100 && model.finding(); ++pass)
            model.continueFind();
        EXPECT_EQ(model.selection(), dump.cellsOf(c.bytes->first + 26, c.bytes->second + 26));
    } else if (c.text) {
        EXPECT_EQ(model.selection(), *c.text);
    } else {
        EXPECT_EQ(model.findStatus(), FindStatus::NotFound);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HexFind,
    testing::Values(HexFindCase{"spaced across a line break", u"de ad be ef", false, std::pair{14, 18}, {}},
        HexFindCase{"run together", u"adbe", false, std::pair{15, 17}, {}},
        HexFindCase{"text of the dump", u"XXXX", false, {}, TextRange{64, 68}},
        HexFindCase{"bytes not there", u"ef de", false, {}, {}}));

TEST(HexMode, TogglesByKeyAndCopiesTheDump)
{
    TrafficViewModel model;
    model.setPage(10, 80);
    model.appendTraffic(std::string(20, 'z'), kFramed);
    model.takeChanges();
    EXPECT_EQ(model.pressKey(ViewKey::H, kControlModifier), ViewCommand::None);
    EXPECT_TRUE(model.hex());
    EXPECT_TRUE(model.checked(ViewCommand::ToggleHex));
    EXPECT_NE(model.takeChanges() & kModeChanged, 0u);
    model.selectAll();
    EXPECT_EQ(model.selectedText(LineEnds::CrLf),
        "000000000000*>7a 7a 7a 7a 7a 7a 7a 7a  7a 7a 7a 7a 7a 7a 7a 7a  zzzzzzzzzzzzzzzz\r\n"
        "000000000010  7a 7a 7a 7a"
            + std::string(39, ' ') + "zzzz");
    // New traffic appends in the dump too; Clear empties it and hex stays.
    model.appendTraffic("!", kPlain);
    EXPECT_EQ(model.store().lineEnd(1) - model.store().lineStart(1), HexDump::kPrintableColumn + 5);
    model.setText("");
    EXPECT_TRUE(model.hex());
    EXPECT_EQ(model.store().size(), 0);
    EXPECT_FALSE(model.enabled(ViewCommand::SaveAs));
    model.pressKey(ViewKey::H, kControlModifier);
    EXPECT_FALSE(model.hex());
}

} // namespace
