// The system's own IPv4 text and byte-order functions, for tests on every platform without the
// system's headers (and Windows' macros) in the test sources.
#ifndef BRINDLE_TESTS_FAKES_INET_TEXT_H
#define BRINDLE_TESTS_FAKES_INET_TEXT_H

#include <cstdint>

#include "platform/sockets_layer.h"

namespace inet_text {

// inet_addr(): network byte order, 0xFFFFFFFF when the text is not an address.
std::uint32_t Address(const char* text);
// An IPv4 or IPv6 address text (inet_pton), port 0; an IPv6 one may end in a numeric scope
// ("fe80::1%2"). False when the text is not one.
bool Parse(const char* text, SocketAddress& out);
// Parse() that cannot fail, for tables of addresses.
SocketAddress At(const char* text, std::uint16_t port = 0);

} // namespace inet_text

#endif
