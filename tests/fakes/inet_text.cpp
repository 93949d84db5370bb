#include "inet_text.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#endif

namespace inet_text {

std::uint32_t Address(const char* text)
{
    return static_cast<std::uint32_t>(::inet_addr(text));
}

std::uint16_t PortToHost(std::uint16_t networkPort)
{
    return ntohs(networkPort);
}

} // namespace inet_text
