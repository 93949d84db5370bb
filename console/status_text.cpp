// The text of a status line, with the names of the sockets error codes after the code.
#include "console/status_text.h"

#include "platform/wsa_error_codes.h"

std::string ComposeStatus(const char* message, int code)
{
    if (message == nullptr && code == 0)
        return "Idle";
    std::string text = message != nullptr ? message : "";
    if (code != 0)
        text += FormatSocketError(code);
    return text;
}

std::string FormatSocketError(int code)
{
    std::string text = " Error code " + std::to_string(code) + ".";
    if (const char* name = WsaErrorName(code))
        text += std::string(" : ") + name;
    return text;
}
