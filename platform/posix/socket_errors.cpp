#include "platform/posix/socket_errors.h"

#include <cerrno>
#include <netdb.h>

#include "platform/sockets_layer.h"
#include "platform/wsa_error_codes.h"

namespace {

struct ErrnoTwin {
    int error;
    WsaError code;
};

// A table rather than a switch: on Linux several of these names share a value (EWOULDBLOCK and
// EAGAIN), which a switch would reject as duplicate cases. The first match wins.
constexpr ErrnoTwin kErrnoTwins[] = {
    {EWOULDBLOCK, kWsaEwouldblock},
    {EAGAIN, kWsaEwouldblock},
    // Only a non-blocking connect reports EINPROGRESS; its caller reads 10035 as "pending".
    {EINPROGRESS, kWsaEwouldblock},
    {EINTR, kWsaEintr},
    {EBADF, kWsaEbadf},
    {EACCES, kWsaEacces},
    {EPERM, kWsaEacces},
    {EFAULT, kWsaEfault},
    {EINVAL, kWsaEinval},
    {EMFILE, kWsaEmfile},
    {ENFILE, kWsaEmfile},
    {EALREADY, kWsaEalready},
    {ENOTSOCK, kWsaEnotsock},
    {EDESTADDRREQ, kWsaEdestaddrreq},
    {EMSGSIZE, kWsaEmsgsize},
    {EPROTOTYPE, kWsaEprototype},
    {ENOPROTOOPT, kWsaEnoprotoopt},
    {EPROTONOSUPPORT, kWsaEprotonosupport},
    {ESOCKTNOSUPPORT, kWsaEsocktnosupport},
    {EOPNOTSUPP, kWsaEopnotsupp},
    {EPFNOSUPPORT, kWsaEpfnosupport},
    {EAFNOSUPPORT, kWsaEafnosupport},
    {EADDRINUSE, kWsaEaddrinuse},
    {EADDRNOTAVAIL, kWsaEaddrnotavail},
    {ENETDOWN, kWsaEnetdown},
    {ENETUNREACH, kWsaEnetunreach},
    {ENETRESET, kWsaEnetreset},
    {ECONNABORTED, kWsaEconnaborted},
    {ECONNRESET, kWsaEconnreset},
    // Only a send reports EPIPE here (the layer never writes to pipes): the peer is gone.
    {EPIPE, kWsaEconnreset},
    {ENOBUFS, kWsaEnobufs},
    {ENOMEM, kWsaEnobufs},
    {EISCONN, kWsaEisconn},
    {ENOTCONN, kWsaEnotconn},
    {ESHUTDOWN, kWsaEshutdown},
    {ETOOMANYREFS, kWsaEtoomanyrefs},
    {ETIMEDOUT, kWsaEtimedout},
    {ECONNREFUSED, kWsaEconnrefused},
    {ELOOP, kWsaEloop},
    {ENAMETOOLONG, kWsaEnametoolong},
    {EHOSTDOWN, kWsaEhostdown},
    {EHOSTUNREACH, kWsaEhostunreach},
    {ENOTEMPTY, kWsaEnotempty},
    {EUSERS, kWsaEusers},
    {EDQUOT, kWsaEdquot},
    {ESTALE, kWsaEstale},
    {EREMOTE, kWsaEremote},
};

} // namespace

int WsaErrorFromErrno(int error)
{
    for (const ErrnoTwin& twin : kErrnoTwins) {
        if (twin.error == error) {
            return twin.code;
        }
    }
    // errno values are small (below 200 on Linux), so an unmapped one never reads as a name.
    return error;
}

int WsaErrorFromAcceptErrno(int error)
{
    switch (error) {
    case ENETDOWN:
    case EPROTO:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case ENETUNREACH:
        return kWsaEconnaborted;
    default:
        return WsaErrorFromErrno(error);
    }
}

int WsaErrorFromAddrInfo(int addrInfoError, int systemError)
{
    switch (addrInfoError) {
    case 0:
        return 0;
    case EAI_NONAME:
        return kWsaHostNotFound;
    case EAI_AGAIN:
        return kWsaTryAgain;
    case EAI_FAIL:
        return kWsaNoRecovery;
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
        return kWsaNoData;
    case EAI_MEMORY:
        return kWsaEnobufs;
    case EAI_SYSTEM: {
        const int code = WsaErrorFromErrno(systemError);
        return WsaErrorName(code) != nullptr ? code : kWsaNoRecovery;
    }
    default:
        return kWsaNoRecovery;
    }
}
