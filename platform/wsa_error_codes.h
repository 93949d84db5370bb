// The Windows Sockets error codes the status lines name: identifier, code, constant name. One
// list, from which the WsaError enum and the name lookup below derive, so that the platform
// layers and the console can never disagree. No system headers, so that every platform uses it.
#ifndef BRINDLE_PLATFORM_WSA_ERROR_CODES_H
#define BRINDLE_PLATFORM_WSA_ERROR_CODES_H

#include <algorithm>
#include <cstddef>
#include <iterator>

// clang-format off
#define BRINDLE_WSA_ERROR_CODES(X) \
    X(kWsaEintr, 10004, "WSAEINTR") \
    X(kWsaEbadf, 10009, "WSAEBADF") \
    X(kWsaEacces, 10013, "WSAEACCES") \
    X(kWsaEfault, 10014, "WSAEFAULT") \
    X(kWsaEinval, 10022, "WSAEINVAL") \
    X(kWsaEmfile, 10024, "WSAEMFILE") \
    X(kWsaEwouldblock, 10035, "WSAEWOULDBLOCK") \
    X(kWsaEinprogress, 10036, "WSAEINPROGRESS") \
    X(kWsaEalready, 10037, "WSAEALREADY") \
    X(kWsaEnotsock, 10038, "WSAENOTSOCK") \
    X(kWsaEdestaddrreq, 10039, "WSAEDESTADDRREQ") \
    X(kWsaEmsgsize, 10040, "WSAEMSGSIZE") \
    X(kWsaEprototype, 10041, "WSAEPROTOTYPE") \
    X(kWsaEnoprotoopt, 10042, "WSAENOPROTOOPT") \
    X(kWsaEprotonosupport, 10043, "WSAEPROTONOSUPPORT") \
    X(kWsaEsocktnosupport, 10044, "WSAESOCKTNOSUPPORT") \
    X(kWsaEopnotsupp, 10045, "WSAEOPNOTSUPP") \
    X(kWsaEpfnosupport, 10046, "WSAEPFNOSUPPORT") \
    X(kWsaEafnosupport, 10047, "WSAEAFNOSUPPORT") \
    X(kWsaEaddrinuse, 10048, "WSAEADDRINUSE") \
    X(kWsaEaddrnotavail, 10049, "WSAEADDRNOTAVAIL") \
    X(kWsaEnetdown, 10050, "WSAENETDOWN") \
    X(kWsaEnetunreach, 10051, "WSAENETUNREACH") \
    X(kWsaEnetreset, 10052, "WSAENETRESET") \
    X(kWsaEconnaborted, 10053, "WSAECONNABORTED") \
    X(kWsaEconnreset, 10054, "WSAECONNRESET") \
    X(kWsaEnobufs, 10055, "WSAENOBUFS") \
    X(kWsaEisconn, 10056, "WSAEISCONN") \
    X(kWsaEnotconn, 10057, "WSAENOTCONN") \
    X(kWsaEshutdown, 10058, "WSAESHUTDOWN") \
    X(kWsaEtoomanyrefs, 10059, "WSAETOOMANYREFS") \
    X(kWsaEtimedout, 10060, "WSAETIMEDOUT") \
    X(kWsaEconnrefused, 10061, "WSAECONNREFUSED") \
    X(kWsaEloop, 10062, "WSAELOOP") \
    X(kWsaEnametoolong, 10063, "WSAENAMETOOLONG") \
    X(kWsaEhostdown, 10064, "WSAEHOSTDOWN") \
    X(kWsaEhostunreach, 10065, "WSAEHOSTUNREACH") \
    X(kWsaEnotempty, 10066, "WSAENOTEMPTY") \
    X(kWsaEproclim, 10067, "WSAEPROCLIM") \
    X(kWsaEusers, 10068, "WSAEUSERS") \
    X(kWsaEdquot, 10069, "WSAEDQUOT") \
    X(kWsaEstale, 10070, "WSAESTALE") \
    X(kWsaEremote, 10071, "WSAEREMOTE") \
    X(kWsaSysnotready, 10091, "WSASYSNOTREADY") \
    X(kWsaVernotsupported, 10092, "WSAVERNOTSUPPORTED") \
    X(kWsaNotinitialised, 10093, "WSANOTINITIALISED") \
    X(kWsaEdiscon, 10101, "WSAEDISCON") \
    X(kWsaHostNotFound, 11001, "WSAHOST_NOT_FOUND") \
    X(kWsaTryAgain, 11002, "WSATRY_AGAIN") \
    X(kWsaNoRecovery, 11003, "WSANO_RECOVERY") \
    X(kWsaNoData, 11004, "WSANO_DATA")
// clang-format on

enum WsaError : int {
#define BRINDLE_WSA_ENUMERATOR(identifier, code, name) identifier = code,
    BRINDLE_WSA_ERROR_CODES(BRINDLE_WSA_ENUMERATOR)
#undef BRINDLE_WSA_ENUMERATOR
};

struct WsaErrorEntry {
    WsaError code;
    const char* name;
};

inline constexpr WsaErrorEntry kWsaErrorEntries[] = {
#define BRINDLE_WSA_ENTRY(identifier, code, name) {identifier, name},
    BRINDLE_WSA_ERROR_CODES(BRINDLE_WSA_ENTRY)
#undef BRINDLE_WSA_ENTRY
};
static_assert(std::size(kWsaErrorEntries) == 51);
// The lookup is a binary search.
static_assert(std::is_sorted(std::begin(kWsaErrorEntries), std::end(kWsaErrorEntries),
    [](const WsaErrorEntry& a, const WsaErrorEntry& b) { return a.code < b.code; }));

// The constant name of a code ("WSAECONNRESET"), or nullptr for a code without one.
constexpr const char* WsaErrorName(int code)
{
    const auto* found = std::lower_bound(std::begin(kWsaErrorEntries), std::end(kWsaErrorEntries), code,
        [](const WsaErrorEntry& entry, int value) { return entry.code < value; });
    return found != std::end(kWsaErrorEntries) && found->code == code ? found->name : nullptr;
}

#endif
