#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "console_fixture.h"

namespace {

using Pieces = std::vector<std::string>;

std::string Join(const Pieces& pieces)
{
    std::string text;
    for (const std::string& piece : pieces)
        text += piece;
    return text;
}

std::string Repeat(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

// The display rules written out byte by byte, the slow and obvious way.
Pieces ReferenceFormat(const std::string& bytes, bool crlf, bool buffers)
{
    Pieces pieces;
    if (buffers)
        pieces.push_back("BUF:");
    std::string piece;
    std::size_t lineStart = 0;
    for (char c : bytes) {
        const signed char value = static_cast<signed char>(c);
        if (value >= 0x20 && value <= 0x7E) {
            piece += c;
        } else if (value == '\n') {
            piece += crlf ? "\\n\r\n" : "\r\n";
            lineStart = piece.size();
        } else if (value == '\r') {
            if (crlf)
                piece += "\\r";
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "(x%x)", static_cast<unsigned char>(c));
            piece += escape;
        }
        if (piece.size() - lineStart >= 120) {
            piece += "\r\n";
            lineStart = piece.size();
        }
        if (piece.size() > 4095) {
            pieces.push_back(piece);
            piece.clear();
            lineStart = 0;
        }
    }
    if (!piece.empty())
        pieces.push_back(piece);
    if (buffers)
        pieces.push_back("\r\n");
    return pieces;
}

class DisplayFormatterTest : public ConsoleTest {
protected:
    // What the chunk, of at most 4096 bytes, adds to the view when a remote client sends it.
    std::string Format(const std::string& bytes, int crlf, int buffers)
    {
        if (client == kNoSocket) {
            Listen();
            client = AcceptClient();
        }
        host.SetCheck(IDC_CLIENT_CRLF, static_cast<unsigned>(crlf));
        host.SetCheck(IDC_SERVER_BUFFERS, static_cast<unsigned>(buffers));
        host.appends.clear();
        sockets.Deliver(client, bytes);
        Tick();
        std::string text;
        for (const auto& [view, appended] : host.appends) {
            EXPECT_EQ(view, IDC_TO_SERVER_VIEW);
            text += appended;
        }
        return text;
    }
};

struct FormatCase {
    const char* name;
    std::string input;
    int crlf;
    int buffers;
    Pieces expected;
};

const std::string kA120 = std::string(120, 'A');
const std::string kZeroLine = Repeat("(x0)", 30) + "\r\n";

const FormatCase kFormatCases[] = {
    {"OkTwoLineEndsPlain", "ok\r\n\r\n", 0, 0, {"ok\r\n\r\n"}},
    {"OkTwoLineEndsBothFlags", "ok\r\n\r\n", 1, 1, {"BUF:", "ok\\r\\n\r\n\\r\\n\r\n", "\r\n"}},
    {"WrapAfter120", std::string(130, 'A'), 0, 0, {kA120 + "\r\n" + std::string(10, 'A')}},
    {"EscapeCarriesLineTo123", std::string(118, 'A') + "\x1b" + "B", 0, 0, {std::string(118, 'A') + "(x1b)\r\nB"}},
    {"FullChunkOfPrintables", std::string(4096, 'A'), 0, 0,
        {Repeat(kA120 + "\r\n", 33) + std::string(70, 'A'), std::string(66, 'A')}},
    {"FullChunkOfZeros", std::string(4096, '\0'), 0, 0,
        {Repeat(kZeroLine, 33) + Repeat("(x0)", 18), Repeat(kZeroLine, 33) + Repeat("(x0)", 18),
            Repeat(kZeroLine, 33) + Repeat("(x0)", 18), Repeat(kZeroLine, 33) + Repeat("(x0)", 18),
            Repeat(kZeroLine, 2) + Repeat("(x0)", 4)}},
    {"AllCarriageReturnsFramed", std::string(10, '\r'), 0, 1, {"BUF:", "\r\n"}},
    {"HighByteTabAndLoneCr", "\xe9\t\r", 0, 0, {"(xe9)(x9)"}},
    {"LoneCrShowsNothing", "\r", 0, 0, {}},
    {"LoneCrVisible", "\r", 1, 0, {"\\r"}},
    {"DeleteAndHighBoundary", "\x7f\x80\xff\x1f ~", 0, 0, {"(x7f)(x80)(xff)(x1f) ~"}},
    {"VisibleLfEndsLineOf121", std::string(119, 'A') + "\n", 1, 0, {std::string(119, 'A') + "\\n\r\n"}},
};

class FormatCases : public DisplayFormatterTest, public ::testing::WithParamInterface<FormatCase> { };

TEST_P(FormatCases, AppendsExactText)
{
    const FormatCase& c = GetParam();
    EXPECT_EQ(Format(c.input, c.crlf, c.buffers), Join(c.expected));
    EXPECT_EQ(Format(c.input, c.crlf, c.buffers), Join(ReferenceFormat(c.input, c.crlf, c.buffers)));
}

INSTANTIATE_TEST_SUITE_P(Display, FormatCases, ::testing::ValuesIn(kFormatCases),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DisplayFormatterTest, FullChunkOfZerosShows192CharacterLinesAtPieceBoundaries)
{
    Format(std::string(4096, '\0'), 0, 0);
    const std::string& view = host.Text(IDC_TO_SERVER_VIEW);
    std::vector<std::size_t> lengths;
    std::size_t start = 0;
    for (std::size_t end; (end = view.find("\r\n", start)) != std::string::npos; start = end + 2)
        lengths.push_back(end - start);
    EXPECT_EQ(std::count(lengths.begin(), lengths.end(), 192u), 4);
    EXPECT_EQ(view.size() - start, 16u);
}

// Every mix of bytes, chunk sizes and flags matches the byte-by-byte rules.
TEST_F(DisplayFormatterTest, MatchesByteByByteRulesOnRandomChunks)
{
    std::mt19937 random(20261208);
    const std::string alphabets[] = {"AB \r\n", std::string("\x00\x1b\x7f\xe9z\n", 6), "GET / HTTP/1.1\r\n"};
    for (int round = 0; round < 300; ++round) {
        const std::string& alphabet = alphabets[round % 3];
        std::string chunk(1 + random() % 4096, ' ');
        for (char& c : chunk)
            c = round % 5 == 0 ? static_cast<char>(random()) : alphabet[random() % alphabet.size()];
        const int crlf = round & 1;
        const int buffers = (round >> 1) & 1;
        ASSERT_EQ(Format(chunk, crlf, buffers), Join(ReferenceFormat(chunk, crlf, buffers))) << "round " << round;
    }
}

// A tick's chunks reach the view one by one, each with the options of its side.
class TickTextCases : public DisplayFormatterTest, public ::testing::WithParamInterface<int> { };

TEST_P(TickTextCases, ViewHoldsEveryChunksPiecesInOrder)
{
    const int crlf = GetParam() & 1;
    const int buffers = GetParam() >> 1;
    ConnectBoth();
    host.SetCheck(IDC_CLIENT_CRLF, static_cast<unsigned>(crlf));
    host.SetCheck(IDC_SERVER_BUFFERS, static_cast<unsigned>(buffers));
    std::mt19937 random(static_cast<unsigned>(GetParam()));
    std::string bytes(3 * 512 * 1024 + 1000, ' ');
    for (char& c : bytes)
        c = static_cast<char>(random());
    sockets.Deliver(client, bytes);
    Tick();
    std::string expected;
    for (std::size_t at = 0; at < bytes.size(); at += 4096) {
        for (const std::string& piece : ReferenceFormat(bytes.substr(at, 4096), crlf, buffers))
            expected += piece;
    }
    ASSERT_EQ(Counter(IDC_SERVER_RECEIVED), static_cast<std::int64_t>(bytes.size()));
    EXPECT_TRUE(host.Text(IDC_TO_SERVER_VIEW) == expected);
    EXPECT_EQ(host.appends.size(), (bytes.size() + 4095) / 4096);
}

INSTANTIATE_TEST_SUITE_P(Display, TickTextCases, ::testing::Values(0, 1, 2, 3));

TEST_F(DisplayFormatterTest, ViewWithoutControlIsSilentlySkipped)
{
    host.RemoveControl(IDC_TO_SERVER_VIEW);
    EXPECT_TRUE(Format("hello\n", 0, 1).empty());
}

} // namespace
