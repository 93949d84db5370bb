// Names of the sockets error codes, as shown after the code on a status line.
#include <string>

#include "console/relay_dlg.h"
#include "platform/wsa_error_codes.h"

std::string CRelayDlg::FormatSocketError(int code)
{
    std::string text = " Error code " + std::to_string(code) + ".";
    if (const char* name = WsaErrorName(code))
        text += std::string(" : ") + name;
    return text;
}
