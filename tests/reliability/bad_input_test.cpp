// Nonsense typed into the three fields, taken through the real sockets layer and the real
// resolver: each text ends in its box, in a relay on the port its leading number names (low 16
// bits), or in the status line its failure gives; never in a crash or a hang.
#include <ostream>
#include <string>

#include "console/status_text.h"
#include "loopback_peer.h"
#include "relay_harness.h"

namespace {

using namespace std::chrono_literals;

// What is typed into a port field: a literal text, or a number that names the test's real port
// once wrapped to 16 bits (port + wraps * 65536), with text around it.
struct PortText {
    const char* literal;
    long long wraps;
    const char* prefix;
    const char* suffix;

    std::string For(int port) const
    {
        if (literal != nullptr)
            return literal;
        return prefix + std::to_string(port + wraps * 65536) + suffix;
    }
};

constexpr PortText Literal(const char* text)
{
    return {text, 0, "", ""};
}
constexpr PortText Port(long long wraps = 0, const char* prefix = "", const char* suffix = "")
{
    return {nullptr, wraps, prefix, suffix};
}

enum class Outcome {
    Box, // the message box, and nothing opened
    Relays, // listens, accepts, connects to the destination and carries bytes both ways
    Refused, // the connect to port 0 is refused, and reported
    NotFound, // "Failed to get socket address. Error code 11001. : WSAHOST_NOT_FOUND"
    ResolverCode, // the resolver's own reason, one of 11001..11004
};

struct TypedCase {
    const char* name;
    PortText listenPort;
    PortText destPort;
    std::string destHost;
    Outcome outcome;
    const char* box = nullptr;
};

void PrintTo(const TypedCase& c, std::ostream* os)
{
    *os << c.name;
}

class TypedInput : public RelayTest, public ::testing::WithParamInterface<TypedCase> {
protected:
    // One round trip through the relay: the peers' bytes arrive whole on the other side.
    void ExpectRoundTrip(const Descriptor& client, const Descriptor& server)
    {
        ASSERT_TRUE(SendAll(client, "ping"));
        ASSERT_TRUE(TickUntil([&] { return Counter(IDC_CLIENT_SENT) == 4; }, 5s));
        EXPECT_EQ(ReadUntilClosed(server, 4, 5s), "ping");
        ASSERT_TRUE(SendAll(server, "pong"));
        ASSERT_TRUE(TickUntil([&] { return Counter(IDC_SERVER_SENT) == 4; }, 5s));
        EXPECT_EQ(ReadUntilClosed(client, 4, 5s), "pong");
    }
};

TEST_P(TypedInput, EndsInItsOutcome)
{
    const TypedCase& c = GetParam();
    int destPort = 0;
    Descriptor destination = ListenLoopback(0, &destPort);
    ASSERT_TRUE(destination.Valid());
    const int listenPort = FreeLoopbackPort();

    host.Type(IDC_LISTEN_PORT, c.listenPort.For(listenPort));
    host.Type(IDC_DEST_PORT, c.destPort.For(destPort));
    host.Type(IDC_DEST_HOST, c.destHost);
    host.Click(IDC_CLIENT_AUTO);
    host.Click(IDC_SERVER_AUTO);
    host.Click(IDC_LISTEN);

    if (c.outcome == Outcome::Box) {
        ASSERT_EQ(host.messageBoxes.size(), 1u);
        EXPECT_EQ(host.messageBoxes[0], c.box);
        EXPECT_EQ(ServerStatus(), "Idle");
        EXPECT_TRUE(host.IsEnabled(IDC_LISTEN));
        EXPECT_EQ(sockets.OpenSocketCount(), 0u);
        return;
    }
    ASSERT_TRUE(host.messageBoxes.empty()) << host.messageBoxes[0];
    ASSERT_EQ(ServerStatus(), "Listening...");
    const int bound = LocalPort(Listener());
    if (c.listenPort.literal == nullptr)
        EXPECT_EQ(bound, listenPort);
    else
        EXPECT_GT(bound, 0); // port 0: the system picks one

    Descriptor client = ConnectLoopback(bound);
    ASSERT_TRUE(client.Valid());
    ASSERT_TRUE(TickUntil([&] { return ServerStatus() != "Listening..."; }, 10s));
    switch (c.outcome) {
    case Outcome::Relays: {
        ASSERT_EQ(ClientStatus(), "Connected!");
        Descriptor server = AcceptWithin(destination, 5s);
        ASSERT_TRUE(server.Valid());
        ExpectRoundTrip(client, server);
        break;
    }
    case Outcome::Refused:
        EXPECT_EQ(ClientStatus(), "Failed to connect. Error code 10061. : WSAECONNREFUSED");
        break;
    case Outcome::NotFound:
        EXPECT_EQ(ClientStatus(), "Failed to get socket address. Error code 11001. : WSAHOST_NOT_FOUND");
        break;
    case Outcome::ResolverCode: {
        bool known = false;
        for (int code = kWsaHostNotFound; code <= kWsaNoData; ++code)
            known = known || ClientStatus() == ComposeStatus("Failed to get socket address.", code);
        EXPECT_TRUE(known) << ClientStatus();
        break;
    }
    case Outcome::Box:
        break;
    }
    if (c.outcome != Outcome::Relays) {
        // Under server "Auto" the failed connect drops the client it was made for.
        EXPECT_EQ(ServerStatus(), "Connection to client terminated.");
        EXPECT_EQ(RemoteServer(), kNoSocket);
    }
    dlg.OnCommand(IDC_STOP_SERVER);
    dlg.OnCommand(IDC_CLIENT_DISCONNECT);
    EXPECT_EQ(sockets.OpenSocketCount(), 0u);
}

const char* const kListenBox = "You must enter a valid listen port.";
const char* const kDestBox = "You must enter a valid destination port.";
const char* const kHostBox = "You must enter a valid hostname.";

INSTANTIATE_TEST_SUITE_P(Reliability, TypedInput,
    ::testing::Values(
        // The listen port.
        TypedCase{"ListenEmpty", Literal(""), Port(), "127.0.0.1", Outcome::Box, kListenBox},
        TypedCase{"ListenBlanksOnly", Literal(" \t "), Port(), "127.0.0.1", Outcome::Box, kListenBox},
        TypedCase{"ListenLetters", Literal("abc"), Port(), "127.0.0.1", Outcome::Relays},
        TypedCase{"ListenNegative", Port(-1), Port(), "127.0.0.1", Outcome::Relays},
        TypedCase{"ListenPast16Bits", Port(1), Port(), "127.0.0.1", Outcome::Relays},
        TypedCase{"ListenPast32Bits", Port(1600000), Port(), "127.0.0.1", Outcome::Relays},
        TypedCase{"ListenLeadingBlank", Port(0, " "), Port(), "127.0.0.1", Outcome::Relays},
        TypedCase{"ListenTrailingText", Port(0, "", "th"), Port(), "127.0.0.1", Outcome::Relays},
        TypedCase{"ListenNonAscii", Literal("\xe9"), Port(), "127.0.0.1", Outcome::Relays},
        // The destination port.
        TypedCase{"DestEmpty", Port(), Literal(""), "127.0.0.1", Outcome::Box, kDestBox},
        TypedCase{"DestBlanksOnly", Port(), Literal("   "), "127.0.0.1", Outcome::Box, kDestBox},
        TypedCase{"DestLetters", Port(), Literal("abc"), "127.0.0.1", Outcome::Refused},
        TypedCase{"DestNegative", Port(), Port(-1), "127.0.0.1", Outcome::Relays},
        TypedCase{"DestPast16Bits", Port(), Port(1), "127.0.0.1", Outcome::Relays},
        TypedCase{"DestPast32Bits", Port(), Port(1600000), "127.0.0.1", Outcome::Relays},
        TypedCase{"DestLeadingBlank", Port(), Port(0, " "), "127.0.0.1", Outcome::Relays},
        TypedCase{"DestNonAscii", Port(), Literal("\xe9\xe9"), "127.0.0.1", Outcome::Refused},
        // The destination host.
        TypedCase{"HostEmpty", Port(), Port(), "", Outcome::Box, kHostBox},
        TypedCase{"HostBlanksOnly", Port(), Port(), " \t ", Outcome::Box, kHostBox},
        TypedCase{"HostLeadingBlank", Port(), Port(), " 127.0.0.1", Outcome::ResolverCode},
        TypedCase{"HostThousandChars", Port(), Port(), std::string(1000, 'h'), Outcome::ResolverCode},
        TypedCase{"HostThousandLabels", Port(), Port(),
            [] {
                std::string name;
                while (name.size() < 1000)
                    name += "a.";
                return name;
            }(),
            Outcome::ResolverCode},
        TypedCase{"HostDigitLed", Port(), Port(), "1abc", Outcome::NotFound},
        TypedCase{"HostAllOnes", Port(), Port(), "255.255.255.255", Outcome::NotFound},
        TypedCase{"HostNonAscii", Port(), Port(), "\xe9t\xe9", Outcome::ResolverCode},
        TypedCase{"HostName", Port(), Port(), "localhost", Outcome::Relays},
        TypedCase{"HostShortDotted", Port(), Port(), "127.1", Outcome::Relays}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
