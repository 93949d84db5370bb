// The traffic display: every received chunk goes to its view with the options of the side that
// received it; the view shows it as the traffic format makes it.
#include <string_view>

#include "console/relay_dlg.h"

void CRelayDlg::FormatToView(const char* bytes, int length, int viewId, bool crlf, bool buffers)
{
    host_.AppendTrafficToEnd(
        viewId, std::string_view(bytes, static_cast<std::size_t>(length)), TrafficFormat{crlf, buffers});
}
