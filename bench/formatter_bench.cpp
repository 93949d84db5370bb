// Display formatter throughput, in bytes of received input per second.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "console/relay_dlg.h"
#include "platform/system_services.h"
#include "res/resource.h"

namespace {

// A window whose views only count what reaches them.
class CountingHost final : public DialogHost {
public:
    bool HasControl(int) const override { return true; }
    std::string GetControlText(int) const override { return {}; }
    void SetControlText(int, std::string_view) override { }
    void EnableControl(int, bool) override { }
    unsigned GetCheck(int) const override { return 0; }
    void AppendToEnd(int, std::string_view text) override { appended += text.size(); }
    void MessageBox(std::string_view) override { }
    bool SetTimer(unsigned, unsigned) override { return true; }
    bool AppendSystemMenuItem(unsigned, std::string_view) override { return true; }
    void SetIcon(int, bool) override { }
    void RunModalDialog(int, DialogEvents&) override { }
    int RunModal(DialogEvents&) override { return IDOK; }

    std::size_t appended = 0;
};

class NoSockets final : public SocketsLayer {
public:
    bool Startup() override { return true; }
    SocketHandle Socket(int, int, int) override { return kNoSocket; }
    int Bind(SocketHandle, const SocketAddressIn&) override { return kSocketError; }
    int Listen(SocketHandle, int) override { return kSocketError; }
    SocketHandle Accept(SocketHandle, SocketAddressIn*) override { return kNoSocket; }
    int Connect(SocketHandle, const SocketAddressIn&) override { return kSocketError; }
    int SelectWritable(SocketHandle) override { return kSocketError; }
    int WaitWritable(SocketHandle, int) override { return kSocketError; }
    int Recv(SocketHandle, char*, int, int) override { return kSocketError; }
    int Send(SocketHandle, const char*, int, int) override { return kSocketError; }
    int SetNonBlocking(SocketHandle, bool) override { return 0; }
    int SetTcpNoDelay(SocketHandle, int) override { return 0; }
    int Shutdown(SocketHandle, int) override { return 0; }
    int CloseSocket(SocketHandle) override { return 0; }
    std::uint32_t InetAddr(const char*) override { return kInaddrNone; }
    bool GetHostByName(const char*, std::uint32_t*) override { return false; }
    int LastError() override { return kWsaEnotsock; }
};

enum class Input { Printable, HttpText, RandomBytes };

std::string MakeInput(Input kind, std::size_t size)
{
    std::mt19937 random(42);
    std::string bytes;
    bytes.reserve(size);
    if (kind == Input::RandomBytes) {
        while (bytes.size() < size)
            bytes += static_cast<char>(random());
    } else if (kind == Input::Printable) {
        while (bytes.size() < size)
            bytes += static_cast<char>(0x20 + random() % 95);
    } else {
        const std::string lines[] = {"HTTP/1.1 200 OK\r\n", "Content-Type: text/html; charset=utf-8\r\n",
            "<p>The quick brown fox jumps over the lazy dog.</p>\r\n",
            "<a href=\"/some/longer/path/index.html?query=value&other=1\">link</a>\r\n"};
        while (bytes.size() < size)
            bytes += lines[random() % 4];
        bytes.resize(size);
    }
    return bytes;
}

void FormatChunks(benchmark::State& state, Input kind, int crlf, int buffers)
{
    CountingHost host;
    NoSockets sockets;
    RealSystemServices system;
    CRelayDlg dlg(host, sockets, system);
    const std::string input = MakeInput(kind, 1 << 20);
    for (auto _ : state) {
        for (std::size_t offset = 0; offset < input.size(); offset += kReceiveChunkSize)
            dlg.FormatToView(input.data() + offset, kReceiveChunkSize, IDC_TO_SERVER_VIEW, crlf, buffers);
        benchmark::DoNotOptimize(host.appended);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(input.size()));
    state.counters["view_chars_per_input_byte"]
        = static_cast<double>(host.appended) / static_cast<double>(state.iterations() * input.size());
}

BENCHMARK_CAPTURE(FormatChunks, printable, Input::Printable, 0, 0);
BENCHMARK_CAPTURE(FormatChunks, http_text, Input::HttpText, 0, 0);
BENCHMARK_CAPTURE(FormatChunks, http_text_crlf_buffers, Input::HttpText, 1, 1);
BENCHMARK_CAPTURE(FormatChunks, random_bytes, Input::RandomBytes, 0, 0);

} // namespace

BENCHMARK_MAIN();
