// HTTP exchanges through the relay with real peers: curl as the client and Python's HTTP server
// (which closes after each reply) or a keep-alive server of the test's own as the destination.
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "loopback_peer.h"
#include "relay_harness.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const fs::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// Waits until something accepts connections on the port.
bool WaitForListener(int port, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (ConnectLoopback(port).Valid())
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

class HttpExchangeTest : public RelayTest {
protected:
    void SetUp() override
    {
        if (!HaveProgram("curl") || !HaveProgram("python3"))
            GTEST_SKIP() << "curl and python3 are needed for this test";
        directory = fs::temp_directory_path() / ("brindle-http-" + std::to_string(::getpid()));
        fs::create_directories(directory);
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }

    // Fetches a path through the relay with curl, ticking until curl ends.
    std::string Fetch(int listenPort, const std::string& path, int* exitCode)
    {
        const fs::path output = directory / "fetched";
        ChildProcess curl({"curl", "-s", "--max-time", "30", "-o", output.string(),
            "http://127.0.0.1:" + std::to_string(listenPort) + path});
        EXPECT_TRUE(curl.Started());
        EXPECT_TRUE(TickUntil([&] { return curl.Poll().has_value(); }, 40s));
        *exitCode = curl.Poll().value_or(-1);
        return ReadFile(output);
    }

    fs::path directory;
};

TEST_F(HttpExchangeTest, ServerThatClosesAfterItsReplyBothAuto)
{
    const std::string body = RandomBytes(3 * 1024 * 1024 + 17, 7);
    WriteFile(directory / "blob.bin", body);
    WriteFile(directory / "index.html", "<html><body>hello\r\n</body></html>\n");
    const int serverPort = FreeLoopbackPort();
    ChildProcess server({"python3", "-m", "http.server", std::to_string(serverPort), "--bind", "127.0.0.1",
        "--directory", directory.string()});
    ASSERT_TRUE(WaitForListener(serverPort, 10s));
    const int listenPort = FreeLoopbackPort();
    Listen(listenPort, serverPort, true, true);

    int exitCode = -1;
    EXPECT_EQ(Fetch(listenPort, "/blob.bin", &exitCode), body);
    EXPECT_EQ(exitCode, 0);
    // Every byte read from one side went out on the other.
    EXPECT_EQ(Counter(IDC_SERVER_RECEIVED), Counter(IDC_CLIENT_SENT));
    EXPECT_EQ(Counter(IDC_CLIENT_RECEIVED), Counter(IDC_SERVER_SENT));
    EXPECT_GT(Counter(IDC_CLIENT_RECEIVED), static_cast<std::int64_t>(body.size()));
    EXPECT_EQ(host.Text(IDC_CLIENT_RECEIVED), std::to_string(Counter(IDC_CLIENT_RECEIVED)));
    EXPECT_EQ(QueuedChunks(), 0u);
    EXPECT_NE(host.Text(IDC_TO_SERVER_VIEW).find("GET /blob.bin HTTP/1.1\r\n"), std::string::npos);
    EXPECT_EQ(host.Text(IDC_TO_CLIENT_VIEW).rfind("HTTP/1.0 200 OK\r\n", 0), 0u);

    // The next exchange goes the same way, on fresh connections.
    EXPECT_EQ(Fetch(listenPort, "/index.html", &exitCode), "<html><body>hello\r\n</body></html>\n");
    EXPECT_TRUE(TickUntil([&] { return RemoteClient() == kNoSocket; }, 5s));
    EXPECT_EQ(ClientStatus(), "Connection gracefully terminated.");
    EXPECT_EQ(ServerStatus(), "Connection to client terminated.");
    EXPECT_EQ(sockets.OpenSocketCount(), 1u); // only the listener
}

// A destination that keeps its connection open: the client's close ends both connections.
TEST_F(HttpExchangeTest, KeepAliveServerBothAuto)
{
    int serverPort = 0;
    Descriptor listener = ListenLoopback(0, &serverPort);
    const std::string body = RandomBytes(512 * 1024, 9);
    std::string request;
    std::thread server([&] {
        Descriptor connection = AcceptWithin(listener, 20s);
        request = ReadUntilMarker(connection, "\r\n\r\n", 10s);
        SendAll(connection,
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size())
                + "\r\nContent-Type: application/octet-stream\r\n\r\n" + body);
        ReadUntilClosed(connection, 1, 20s); // until the relay closes it
    });
    const int listenPort = FreeLoopbackPort();
    Listen(listenPort, serverPort, true, true);
    int exitCode = -1;
    const std::string fetched = Fetch(listenPort, "/keep", &exitCode);
    EXPECT_TRUE(TickUntil([&] { return RemoteServer() == kNoSocket; }, 5s));
    server.join();
    EXPECT_EQ(fetched, body);
    EXPECT_EQ(request.rfind("GET /keep HTTP/1.1\r\n", 0), 0u);
    EXPECT_EQ(ServerStatus(), "Connection gracefully terminated.");
    EXPECT_EQ(ClientStatus(), "Idle.");
}

} // namespace
