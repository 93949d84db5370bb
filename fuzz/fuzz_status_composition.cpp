// Any message (or none) and any code through the status line composition. Input: a flag byte
// (bit 0: there is a message), a 32-bit code in host byte order, then the message text (which ends,
// as a C string does, at its first zero byte). Missing bytes read as zero.
//
// What must hold: no message and code 0 read "Idle"; otherwise the line is the message, then,
// exactly when the code is not 0, " Error code N." and the code's name for the 51 codes that have
// one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>

#include "console/relay_dlg.h"

namespace {

void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

struct Named {
    int code;
    const char* name;
};

constexpr Named kNamed[] = {
    {10004, "WSAEINTR"},
    {10009, "WSAEBADF"},
    {10013, "WSAEACCES"},
    {10014, "WSAEFAULT"},
    {10022, "WSAEINVAL"},
    {10024, "WSAEMFILE"},
    {10035, "WSAEWOULDBLOCK"},
    {10036, "WSAEINPROGRESS"},
    {10037, "WSAEALREADY"},
    {10038, "WSAENOTSOCK"},
    {10039, "WSAEDESTADDRREQ"},
    {10040, "WSAEMSGSIZE"},
    {10041, "WSAEPROTOTYPE"},
    {10042, "WSAENOPROTOOPT"},
    {10043, "WSAEPROTONOSUPPORT"},
    {10044, "WSAESOCKTNOSUPPORT"},
    {10045, "WSAEOPNOTSUPP"},
    {10046, "WSAEPFNOSUPPORT"},
    {10047, "WSAEAFNOSUPPORT"},
    {10048, "WSAEADDRINUSE"},
    {10049, "WSAEADDRNOTAVAIL"},
    {10050, "WSAENETDOWN"},
    {10051, "WSAENETUNREACH"},
    {10052, "WSAENETRESET"},
    {10053, "WSAECONNABORTED"},
    {10054, "WSAECONNRESET"},
    {10055, "WSAENOBUFS"},
    {10056, "WSAEISCONN"},
    {10057, "WSAENOTCONN"},
    {10058, "WSAESHUTDOWN"},
    {10059, "WSAETOOMANYREFS"},
    {10060, "WSAETIMEDOUT"},
    {10061, "WSAECONNREFUSED"},
    {10062, "WSAELOOP"},
    {10063, "WSAENAMETOOLONG"},
    {10064, "WSAEHOSTDOWN"},
    {10065, "WSAEHOSTUNREACH"},
    {10066, "WSAENOTEMPTY"},
    {10067, "WSAEPROCLIM"},
    {10068, "WSAEUSERS"},
    {10069, "WSAEDQUOT"},
    {10070, "WSAESTALE"},
    {10071, "WSAEREMOTE"},
    {10091, "WSASYSNOTREADY"},
    {10092, "WSAVERNOTSUPPORTED"},
    {10093, "WSANOTINITIALISED"},
    {10101, "WSAEDISCON"},
    {11001, "WSAHOST_NOT_FOUND"},
    {11002, "WSATRY_AGAIN"},
    {11003, "WSANO_RECOVERY"},
    {11004, "WSANO_DATA"},
};
static_assert(std::size(kNamed) == 51);

const char* NameOf(int code)
{
    const auto* found
        = std::find_if(std::begin(kNamed), std::end(kNamed), [code](const Named& n) { return n.code == code; });
    return found == std::end(kNamed) ? nullptr : found->name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    unsigned char head[5] = {};
    std::memcpy(head, data, std::min(size, sizeof head));
    const bool hasMessage = (head[0] & 1) != 0;
    std::int32_t code = 0;
    std::memcpy(&code, head + 1, sizeof code);
    const std::string text = size > sizeof head
        ? std::string(reinterpret_cast<const char*>(data) + sizeof head, size - sizeof head)
        : std::string();
    const char* message = hasMessage ? text.c_str() : nullptr;

    const std::string line = CRelayDlg::ComposeStatus(message, code);
    if (message == nullptr && code == 0) {
        Require(line == "Idle");
        return 0;
    }
    const std::string shown = message != nullptr ? message : "";
    Require(line.compare(0, shown.size(), shown) == 0);
    const std::string rest = line.substr(shown.size());
    if (code == 0) {
        Require(rest.empty());
        return 0;
    }
    const std::string error = CRelayDlg::FormatSocketError(code);
    Require(rest == error);
    const std::string number = " Error code " + std::to_string(code) + ".";
    Require(error.compare(0, number.size(), number) == 0);
    const char* name = NameOf(code);
    Require(error.substr(number.size()) == (name != nullptr ? std::string(" : ") + name : std::string()));
    return 0;
}
