// The system's own IPv4 text and byte-order functions, for tests on every platform without the
// system's headers (and Windows' macros) in the test sources.
#ifndef BRINDLE_TESTS_FAKES_INET_TEXT_H
#define BRINDLE_TESTS_FAKES_INET_TEXT_H

#include <cstdint>

namespace inet_text {

// inet_addr(): network byte order, 0xFFFFFFFF when the text is not an address.
std::uint32_t Address(const char* text);
// ntohs().
std::uint16_t PortToHost(std::uint16_t networkPort);

} // namespace inet_text

#endif
