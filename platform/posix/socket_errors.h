// How POSIX failures read in Windows Sockets numbering (the WsaError codes of sockets_layer.h).
// Pure functions: no sockets, no global state.
#ifndef BRINDLE_PLATFORM_POSIX_SOCKET_ERRORS_H
#define BRINDLE_PLATFORM_POSIX_SOCKET_ERRORS_H

// The Windows Sockets twin of an errno value of a socket call. EWOULDBLOCK/EAGAIN and the
// EINPROGRESS of a non-blocking connect both read 10035 ("started, pending"); EPIPE (send on a
// connection the peer reset) reads 10054. An errno without a twin comes back unchanged, which
// keeps it outside 10000..11004, so that the console shows the number without a name.
int WsaErrorFromErrno(int error);

// The code of a failed accept(). Linux passes the pending network error of a new connection
// (ENETDOWN, EPROTO, ENOPROTOOPT, EHOSTDOWN, ENONET, EHOSTUNREACH, ENETUNREACH: accept(2), "Error
// handling") on as accept's own failure, that connection already dropped from the queue. Windows
// Sockets reports a connection lost before it was taken as 10053, and so does this; the listener
// itself is fine. Any other errno reads as WsaErrorFromErrno gives it.
int WsaErrorFromAcceptErrno(int error);

// The Windows Sockets code of a failed getaddrinfo(): EAI_NONAME 11001, EAI_AGAIN 11002,
// EAI_FAIL 11003, EAI_NODATA/EAI_ADDRFAMILY 11004, EAI_MEMORY 10055, EAI_SYSTEM the twin of
// systemError (the errno right after the call) when it has one, anything else 11003.
// 0 for success.
int WsaErrorFromAddrInfo(int addrInfoError, int systemError);

#endif
