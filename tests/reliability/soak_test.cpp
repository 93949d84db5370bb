// 2,000 HTTP exchanges in a row through the relay, both "Auto" and both "Clear" boxes ticked, real
// loopback sockets, the real sockets layer and tick handler, and Python's HTTP server as the
// destination. Exchanges go in batches over keep-alive connections; the last request of each batch
// asks the server to close, so connections come and go too. Every response must match, byte for
// byte, the one the server gives a direct request; descriptors and memory must not grow.
//
// The tick runs at once when a socket of the console is readable or a queue holds a block, and
// every 100 ms otherwise: waiting out the full period between the three ticks of each exchange would
// take the better part of an hour.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "loopback_peer.h"
#include "relay_harness.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kExchanges = 2000;
constexpr int kExchangesPerConnection = 50;
constexpr int kWarmUpExchanges = 200;
constexpr long kRssMarginBytes = 16L * 1024 * 1024;
// AddressSanitizer holds freed memory back for a while, so resident memory says nothing under it;
// its leak checker does that job there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentMemoryTells = false;
#else
constexpr bool kResidentMemoryTells = true;
#endif

// The standard library's file server, speaking HTTP/1.1 (so keeping connections open), with a
// fixed date and name so that its answers can be compared byte for byte.
constexpr const char* kServerScript = R"(
import functools, http.server, sys
class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True
    def date_time_string(self, timestamp=None):
        return "Thu, 01 Jan 2015 00:00:00 GMT"
    def version_string(self):
        return "soak"
    def log_message(self, *args):
        pass
handler = functools.partial(Handler, directory=sys.argv[2])
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), handler).serve_forever()
)";

std::size_t OpenDescriptors()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

long ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

std::string Request(int file, bool close)
{
    return "GET /f" + std::to_string(file) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + (close ? "Connection: close\r\n" : "")
        + "\r\n";
}

// One whole response: up to the end of the connection when it is to close, else the head and as
// many bytes as its Content-Length says.
std::string ReadResponse(const Descriptor& socket, bool close)
{
    if (close)
        return ReadUntilClosed(socket, std::string::npos, 20s);
    std::string response = ReadUntilMarker(socket, "\r\n\r\n", 20s);
    const std::size_t headEnd = response.find("\r\n\r\n");
    const std::size_t field = response.find("Content-Length: ");
    if (headEnd == std::string::npos || field == std::string::npos || field > headEnd)
        return response;
    const std::size_t total = headEnd + 4 + std::stoul(response.substr(field + 16));
    if (response.size() < total)
        response += ReadUntilClosed(socket, total - response.size(), 20s);
    return response;
}

struct ClientReport {
    std::atomic<int> exchanges{0};
    std::int64_t responseBytes = 0;
    int mismatches = 0;
    std::string firstMismatch;
    std::atomic<bool> finished{false};
};

class SoakTest : public RelayTest {
protected:
    void SetUp() override
    {
        if (!HaveProgram("python3"))
            GTEST_SKIP() << "python3 is needed for this test";
        directory = fs::temp_directory_path() / ("brindle-soak-" + std::to_string(::getpid()));
        fs::create_directories(directory);
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }

    // Files around the chunk and piece sizes of the console, text and binary.
    void WriteFiles()
    {
        const std::size_t sizes[]
            = {0, 1, 119, 120, 121, 4095, 4096, 4097, 8195, 16384, 40000, 65536, 100000, 131079, 200000, 262144};
        std::mt19937 random(2000);
        for (std::size_t i = 0; i < std::size(sizes); ++i) {
            std::string content(sizes[i], '\0');
            for (char& c : content)
                c = static_cast<char>(random());
            files.push_back(content);
        }
        std::string text;
        while (text.size() < 30000)
            text += "line " + std::to_string(text.size()) + " with CR LF\r\n\tand a tab, a lone LF\n";
        files.push_back(text);
        files.push_back(std::string(5000, '\r'));
        files.push_back(std::string(4096, '\0'));
        files.push_back(std::string(70000, 'x'));
        for (std::size_t i = 0; i < files.size(); ++i)
            std::ofstream(directory / ("f" + std::to_string(i)), std::ios::binary) << files[i];
    }

    // The server's answer to each request when asked directly.
    void FetchReferences(int serverPort)
    {
        for (bool close : {false, true}) {
            for (std::size_t i = 0; i < files.size(); ++i) {
                Descriptor direct = ConnectLoopback(serverPort);
                ASSERT_TRUE(SendAll(direct, Request(static_cast<int>(i), close)));
                const std::string response = ReadResponse(direct, close);
                ASSERT_TRUE(response.size() > files[i].size()
                    && response.compare(response.size() - files[i].size(), files[i].size(), files[i]) == 0)
                    << "file " << i;
                (close ? closing : keeping).push_back(response);
            }
        }
    }

    // The client side of the soak: batches of exchanges, each batch on a new connection.
    void RunClient(int listenPort, ClientReport& report)
    {
        std::mt19937 random(7);
        Descriptor connection;
        for (int i = 0; i < kExchanges && report.mismatches == 0; ++i) {
            const bool close = (i + 1) % kExchangesPerConnection == 0 || i + 1 == kExchanges;
            const int file = static_cast<int>(random() % files.size());
            if (!connection.Valid())
                connection = ConnectLoopback(listenPort);
            std::string response;
            if (SendAll(connection, Request(file, close)))
                response = ReadResponse(connection, close);
            const std::string& expected
                = close ? closing[static_cast<std::size_t>(file)] : keeping[static_cast<std::size_t>(file)];
            if (response != expected) {
                ++report.mismatches;
                report.firstMismatch = "exchange " + std::to_string(i) + " (f" + std::to_string(file)
                    + "): " + std::to_string(response.size()) + " bytes instead of " + std::to_string(expected.size());
            }
            report.responseBytes += static_cast<std::int64_t>(response.size());
            if (close)
                connection = Descriptor(); // the relay has closed its end after the reply
            ++report.exchanges;
        }
        report.finished = true;
    }

    // Ticks at once when there is something for the console to do, otherwise every 100 ms.
    void TickWhenReady()
    {
        std::vector<pollfd> looks;
        auto look = [&looks](SocketHandle s) {
            if (s != kNoSocket)
                looks.push_back({s, POLLIN, 0});
        };
        if (RemoteClient() == kNoSocket)
            look(Listener());
        look(RemoteClient());
        if (ServerConnected() == 1)
            look(RemoteServer());
        const bool queued = QueuedChunks() > 0;
        ::poll(looks.data(), looks.size(), queued ? 0 : static_cast<int>(kPollPeriodMs));
        dlg.OnTimer(POLL_TIMER_ID);
        ++ticks;
        // The in-memory window keeps a history of its own; it is not the console's memory.
        host.appends.clear();
        host.statusHistory.clear();
    }

    fs::path directory;
    std::vector<std::string> files;
    std::vector<std::string> keeping;
    std::vector<std::string> closing;
    long ticks = 0;
};

TEST_F(SoakTest, TwoThousandExchangesLoseNothingAndLeakNothing)
{
    WriteFiles();
    const int serverPort = FreeLoopbackPort();
    ChildProcess server({"python3", "-c", kServerScript, std::to_string(serverPort), directory.string()});
    ASSERT_TRUE(server.Started());
    const auto serverDeadline = std::chrono::steady_clock::now() + 15s;
    while (!ConnectLoopback(serverPort).Valid() && std::chrono::steady_clock::now() < serverDeadline)
        std::this_thread::sleep_for(50ms);
    FetchReferences(serverPort);
    if (HasFatalFailure())
        return;

    const std::size_t descriptorsBefore = OpenDescriptors();
    const int listenPort = FreeLoopbackPort();
    Listen(listenPort, serverPort, true, true);
    host.Click(IDC_CLIENT_CLEAR_ON_SEND);
    host.Click(IDC_SERVER_CLEAR_ON_SEND);
    ASSERT_EQ(host.GetCheck(IDC_CLIENT_CLEAR_ON_SEND), 1u);
    ASSERT_EQ(host.GetCheck(IDC_SERVER_CLEAR_ON_SEND), 1u);

    ClientReport report;
    std::thread client([&] { RunClient(listenPort, report); });
    long warmResident = 0;
    const auto deadline = std::chrono::steady_clock::now() + 20min;
    while (!report.finished && std::chrono::steady_clock::now() < deadline) {
        TickWhenReady();
        if (warmResident == 0 && report.exchanges >= kWarmUpExchanges)
            warmResident = ResidentBytes();
    }
    // The last reply closes the relay's connections; a few more ticks see it through.
    for (int i = 0; i < 20 && RemoteClient() != kNoSocket; ++i)
        TickWhenReady();
    client.join();
    const long endResident = ResidentBytes();

    EXPECT_EQ(report.exchanges, kExchanges);
    EXPECT_EQ(report.mismatches, 0) << report.firstMismatch;
    EXPECT_EQ(Counter(IDC_SERVER_RECEIVED), Counter(IDC_CLIENT_SENT));
    EXPECT_EQ(Counter(IDC_CLIENT_RECEIVED), Counter(IDC_SERVER_SENT));
    EXPECT_EQ(Counter(IDC_SERVER_SENT), report.responseBytes);
    EXPECT_EQ(QueuedChunks(), 0u);
    EXPECT_EQ(host.Text(IDC_TO_CLIENT_VIEW).size() + host.Text(IDC_TO_SERVER_VIEW).size() < 1024 * 1024, true)
        << "the Clear boxes did not keep the views short";

    host.Click(IDC_STOP_SERVER);
    dlg.OnCommand(IDC_CLIENT_DISCONNECT);
    EXPECT_EQ(sockets.OpenSocketCount(), 0u);
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
    ASSERT_GT(warmResident, 0);
    if (kResidentMemoryTells) {
        EXPECT_LT(endResident - warmResident, kRssMarginBytes)
            << "resident memory grew from " << warmResident << " to " << endResident << " bytes";
    }
    std::printf("%d exchanges, %lld response bytes, %lld request bytes, %ld ticks, RSS %ld -> %ld\n",
        report.exchanges.load(), static_cast<long long>(report.responseBytes),
        static_cast<long long>(Counter(IDC_CLIENT_SENT)), ticks, warmResident, endResident);
}

} // namespace
