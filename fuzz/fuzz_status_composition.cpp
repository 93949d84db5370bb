// Any message (or none) and any code through the status line composition. Input: a flag byte
// (bit 0: there is a message), a 32-bit code in host byte order, then the message text (which ends,
// as a C string does, at its first zero byte). Missing bytes read as zero.
//
// What must hold: no message and code 0 read "Idle"; otherwise the line is the message, then,
// exactly when the code is not 0, " Error code N." and, for the 51 codes of the shared table, the
// code's name.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "console/status_text.h"
#include "platform/wsa_error_codes.h"

namespace {

void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
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

    const std::string line = ComposeStatus(message, code);
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
    const std::string error = FormatSocketError(code);
    Require(rest == error);
    const std::string number = " Error code " + std::to_string(code) + ".";
    Require(error.compare(0, number.size(), number) == 0);
    const char* name = WsaErrorName(code);
    Require(error.substr(number.size()) == (name != nullptr ? std::string(" : ") + name : std::string()));
    return 0;
}
