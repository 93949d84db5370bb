#include <cerrno>
#include <map>
#include <netdb.h>
#include <ostream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "platform/posix/socket_errors.h"
#include "platform/sockets_layer.h"

namespace {

// The errno twins as the brief lists them, written out independently of the implementation.
// clang-format off
const std::map<int, int> kExpectedTwins = {
    {EWOULDBLOCK, 10035}, {EAGAIN, 10035}, {EINPROGRESS, 10035}, {EINTR, 10004}, {EBADF, 10009},
    {EACCES, 10013}, {EPERM, 10013}, {EFAULT, 10014}, {EINVAL, 10022}, {EMFILE, 10024}, {ENFILE, 10024},
    {EALREADY, 10037}, {ENOTSOCK, 10038}, {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040}, {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042}, {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},
    {EPFNOSUPPORT, 10046}, {EAFNOSUPPORT, 10047}, {EADDRINUSE, 10048}, {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050}, {ENETUNREACH, 10051}, {ENETRESET, 10052}, {ECONNABORTED, 10053},
    {ECONNRESET, 10054}, {EPIPE, 10054}, {ENOBUFS, 10055}, {ENOMEM, 10055}, {EISCONN, 10056},
    {ENOTCONN, 10057}, {ESHUTDOWN, 10058}, {ETOOMANYREFS, 10059}, {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061}, {ELOOP, 10062}, {ENAMETOOLONG, 10063}, {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066}, {EUSERS, 10068}, {EDQUOT, 10069}, {ESTALE, 10070},
    {EREMOTE, 10071},
};
// clang-format on

class ErrnoTwin : public testing::TestWithParam<std::pair<const int, int>> { };

TEST_P(ErrnoTwin, MapsToItsWindowsSocketsCode)
{
    EXPECT_EQ(WsaErrorFromErrno(GetParam().first), GetParam().second) << "errno " << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(Table, ErrnoTwin, testing::ValuesIn(kExpectedTwins),
    [](const auto& info) { return "errno" + std::to_string(info.param.first); });

bool Named(int code)
{
    return code >= 10000 && code <= 11004;
}

TEST(ErrnoMapping, EveryOtherErrnoPassesThroughUnnamed)
{
    for (int error = 1; error < 4096; ++error) {
        if (kExpectedTwins.count(error) == 0) {
            EXPECT_EQ(WsaErrorFromErrno(error), error) << "errno " << error;
            EXPECT_FALSE(Named(WsaErrorFromErrno(error))) << "errno " << error;
        }
    }
    EXPECT_EQ(WsaErrorFromErrno(ENOENT), ENOENT);
    EXPECT_EQ(WsaErrorFromErrno(EIO), EIO);
}

TEST(ErrnoMapping, GapsOfTheWindowsNumberingAreNeverProduced)
{
    // 10036 (WSAEINPROGRESS: the caller waits for 10035) and 10067 (WSAEPROCLIM) have no errno.
    for (int error = 0; error < 4096; ++error) {
        EXPECT_NE(WsaErrorFromErrno(error), kWsaEinprogress) << "errno " << error;
        EXPECT_NE(WsaErrorFromErrno(error), kWsaEproclim) << "errno " << error;
    }
}

class AcceptErrno : public testing::TestWithParam<std::pair<int, int>> { };

// Linux's pending network errors of a new connection read as that connection lost, 10053; any other
// accept failure as its plain twin.
TEST_P(AcceptErrno, MapsToItsWindowsSocketsCode)
{
    EXPECT_EQ(WsaErrorFromAcceptErrno(GetParam().first), GetParam().second) << "errno " << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(Table, AcceptErrno,
    testing::Values(std::pair{ENETDOWN, 10053}, std::pair{EPROTO, 10053}, std::pair{ENOPROTOOPT, 10053},
        std::pair{EHOSTDOWN, 10053}, std::pair{ENONET, 10053}, std::pair{EHOSTUNREACH, 10053},
        std::pair{ENETUNREACH, 10053}, std::pair{ECONNABORTED, 10053}, std::pair{EAGAIN, 10035},
        std::pair{EMFILE, 10024}, std::pair{ENOBUFS, 10055}, std::pair{EINVAL, 10022}),
    [](const auto& info) { return "errno" + std::to_string(info.param.first); });

struct AddrInfoCase {
    int addrInfoError;
    int systemError;
    int expected;
};

void PrintTo(const AddrInfoCase& c, std::ostream* out)
{
    *out << "EAI " << c.addrInfoError << " errno " << c.systemError << " -> " << c.expected;
}

class AddrInfoMapping : public testing::TestWithParam<AddrInfoCase> { };

TEST_P(AddrInfoMapping, MapsToItsWindowsSocketsCode)
{
    const AddrInfoCase& c = GetParam();
    EXPECT_EQ(WsaErrorFromAddrInfo(c.addrInfoError, c.systemError), c.expected)
        << "EAI " << c.addrInfoError << " errno " << c.systemError;
}

INSTANTIATE_TEST_SUITE_P(Table, AddrInfoMapping,
    testing::Values(AddrInfoCase{0, 0, 0}, AddrInfoCase{EAI_NONAME, 0, 11001}, AddrInfoCase{EAI_AGAIN, 0, 11002},
        AddrInfoCase{EAI_FAIL, 0, 11003}, AddrInfoCase{EAI_NODATA, 0, 11004}, AddrInfoCase{EAI_ADDRFAMILY, 0, 11004},
        AddrInfoCase{EAI_MEMORY, 0, kWsaEnobufs}, AddrInfoCase{EAI_SYSTEM, EMFILE, kWsaEmfile},
        AddrInfoCase{EAI_SYSTEM, ECONNREFUSED, kWsaEconnrefused}, AddrInfoCase{EAI_SYSTEM, 0, 11003},
        AddrInfoCase{EAI_SYSTEM, ENOENT, 11003}, AddrInfoCase{EAI_BADFLAGS, 0, 11003},
        AddrInfoCase{EAI_SERVICE, 0, 11003}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

} // namespace
