#include "inet_text.h"

#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

namespace inet_text {

std::uint32_t Address(const char* text)
{
    return static_cast<std::uint32_t>(::inet_addr(text));
}

bool Parse(const char* text, SocketAddress& out)
{
    out = {};
    if (text == nullptr)
        return false;
    if (::inet_pton(AF_INET, text, out.bytes.data()) == 1) {
        out.family = kAfInet;
        return true;
    }
    std::string address = text;
    const std::size_t percent = address.find('%');
    if (percent != std::string::npos) {
        const std::string scope = address.substr(percent + 1);
        if (scope.empty() || scope.find_first_not_of("0123456789") != std::string::npos)
            return false;
        out.scopeId = static_cast<std::uint32_t>(std::strtoul(scope.c_str(), nullptr, 10));
        address.resize(percent);
    }
    if (::inet_pton(AF_INET6, address.c_str(), out.bytes.data()) != 1)
        return false;
    out.family = kAfInet6;
    return true;
}

SocketAddress At(const char* text, std::uint16_t port)
{
    SocketAddress address;
    Parse(text, address);
    address.port = port;
    return address;
}

} // namespace inet_text
