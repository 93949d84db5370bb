// Any chunk through the traffic display. The first input byte holds the two flags (bit 0 "CRLF",
// bit 1 "Buffers"); the rest, 1 to 4096 bytes, is the chunk as one receive would hand it over.
//
// What must hold whatever the bytes: only printable ASCII, escapes and CR LF pairs reach the view;
// the text fits the bound its readers size their areas by; the view spells the chunk exactly (a CR
// shows only as "\r" under "CRLF"); and no line runs past 124 characters but one that spans the
// point where the format starts counting afresh (every 4096 characters), and that one at most twice.
// Every way the processor runs of measuring the chunk finds that text's length and line starts.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "console/relay_dlg.h"
#include "fakes/fake_dialog_host.h"
#include "fakes/fake_sockets.h"
#include "platform/system_services.h"
#include "platform/text/traffic_format.h"
#include "platform/text/traffic_scan_paths.h"
#include "res/dialog_template.h"
#include "res/resource.h"

namespace {

constexpr std::size_t kNoMatch = std::string::npos;
constexpr std::size_t kLongestLine = 124; // 119 characters and a 5-character escape

void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool StartsWith(const std::string& text, std::size_t at, const char* prefix)
{
    return text.compare(at, std::strlen(prefix), prefix) == 0;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// How many characters of `view` at `at` spell `byte`, or kNoMatch. An escape is "(x" and the
// value in lowercase hexadecimal without leading zeros, then ")".
std::size_t Spelling(const std::string& view, std::size_t at, unsigned char byte, bool crlf)
{
    if (byte >= 0x20 && byte <= 0x7E)
        return at < view.size() && view[at] == static_cast<char>(byte) ? 1 : kNoMatch;
    if (byte == '\n') {
        const char* form = crlf ? "\\n\r\n" : "\r\n";
        return StartsWith(view, at, form) ? std::strlen(form) : kNoMatch;
    }
    if (byte == '\r') {
        if (!crlf)
            return 0;
        return StartsWith(view, at, "\\r") ? 2 : kNoMatch;
    }
    if (!StartsWith(view, at, "(x"))
        return kNoMatch;
    std::size_t i = at + 2;
    int value = 0;
    int digits = 0;
    while (i < view.size() && HexDigit(view[i]) >= 0 && digits < 2) {
        value = value * 16 + HexDigit(view[i]);
        ++digits;
        ++i;
    }
    const bool canonical = digits == (byte >= 0x10 ? 2 : 1);
    if (!canonical || value != byte || i >= view.size() || view[i] != ')')
        return kNoMatch;
    return i + 1 - at;
}

// The view's text decodes to the chunk: each byte's spelling in turn, with a wrap (CR LF) allowed
// between any two and after the last.
void CheckDecodes(const std::string& view, const unsigned char* chunk, std::size_t length, bool crlf)
{
    std::size_t at = 0;
    for (std::size_t i = 0; i < length; ++i) {
        std::size_t n = Spelling(view, at, chunk[i], crlf);
        if (n == kNoMatch && StartsWith(view, at, "\r\n")) {
            at += 2;
            n = Spelling(view, at, chunk[i], crlf);
        }
        Require(n != kNoMatch);
        at += n;
    }
    if (StartsWith(view, at, "\r\n"))
        at += 2;
    Require(at == view.size());
}

void CheckCharacters(const std::string& piece)
{
    for (std::size_t i = 0; i < piece.size(); ++i) {
        const auto c = static_cast<unsigned char>(piece[i]);
        if (c == '\r')
            Require(i + 1 < piece.size() && piece[i + 1] == '\n');
        else if (c == '\n')
            Require(i > 0 && piece[i - 1] == '\r');
        else
            Require(c >= 0x20 && c <= 0x7E);
    }
}

// Lines are cut at 120 characters, counted afresh every 4096 characters.
void CheckLines(const std::string& all)
{
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t end = all.find("\r\n", start);
        if (end == std::string::npos)
            end = all.size();
        Require(end - start <= 2 * kLongestLine);
        start = end + 2;
    }
}

void CheckScans(const unsigned char* chunk, std::size_t length, TrafficFormat format)
{
    const std::string_view bytes(reinterpret_cast<const char*>(chunk), length);
    const std::string text = TrafficText(bytes, format);
    std::vector<std::uint32_t> starts(TrafficLineStartsBound(length));
    for (const TrafficScanPath path :
        {TrafficScanPath::portable, TrafficScanPath::sse2, TrafficScanPath::avx2, TrafficScanPath::avx512}) {
        if (!TrafficScanPathRuns(path))
            continue;
        const TrafficExtent extent = ScanTrafficBy(path, bytes, format, starts.data());
        Require(extent.length == text.size());
        std::size_t count = 0;
        for (std::size_t at = 0; (at = text.find('\n', at)) != kNoMatch; ++at)
            Require(count < extent.lineStarts && starts[count++] == at + 1);
        Require(count == extent.lineStarts);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 || size > 1 + static_cast<std::size_t>(kReceiveChunkSize))
        return -1;
    const bool crlf = (data[0] & 1) != 0;
    const bool buffers = (data[0] & 2) != 0;
    const unsigned char* chunk = data + 1;
    const std::size_t length = size - 1;

    // A remote client sends the chunk; the tick reads it in one receive.
    FakeDialogHost host{res::RelayDialogTemplate()};
    FakeSockets sockets;
    RealSystemServices system;
    CRelayDlg dlg(host, sockets, system);
    dlg.DoModal();
    host.Type(IDC_DEST_HOST, "h");
    host.Click(IDC_LISTEN);
    sockets.QueueClient();
    dlg.OnTimer(POLL_TIMER_ID);
    Require(sockets.lastAccepted != kNoSocket);
    host.SetCheck(IDC_CLIENT_CRLF, crlf ? 1 : 0);
    host.SetCheck(IDC_SERVER_BUFFERS, buffers ? 1 : 0);
    sockets.Deliver(sockets.lastAccepted, std::string(reinterpret_cast<const char*>(chunk), length));
    dlg.OnTimer(POLL_TIMER_ID);

    Require(host.appends.size() == 1 && host.appends[0].first == IDC_TO_SERVER_VIEW);
    std::string view = host.appends[0].second;
    Require(view.size() + 8 <= FormattedTrafficBound(length));
    CheckCharacters(view);
    CheckLines(view);
    if (buffers) {
        Require(view.size() >= 6 && view.compare(0, 4, "BUF:") == 0 && view.compare(view.size() - 2, 2, "\r\n") == 0);
        view = view.substr(4, view.size() - 6);
    }
    CheckDecodes(view, chunk, length, crlf);
    CheckScans(chunk, length, TrafficFormat{crlf, buffers});
    return 0;
}
