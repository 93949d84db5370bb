// The traffic display: every received chunk goes to its view as the traffic format makes it,
// gathered over a receive pass so that the view takes a pass's text in a few large appends.
#include <string>
#include <string_view>

#include "console/relay_dlg.h"
#include "platform/text/traffic_format.h"

void CRelayDlg::FormatToView(const char* bytes, int length, int viewId, int crlf, int buffers)
{
    const std::string_view chunk(bytes, static_cast<std::size_t>(length));
    const TrafficFormat format{crlf != 0, buffers != 0};
    if (viewText_.Gathers(viewId)) {
        if (viewText_.Full())
            FlushViewText();
        viewText_.Commit(FormatTraffic(chunk, format, viewText_.Tail()));
        return;
    }
    std::string text(FormattedTrafficBound(chunk.size()), '\0');
    text.resize(FormatTraffic(chunk, format, text.data()));
    if (!text.empty())
        AppendToView(text, viewId);
}

void CRelayDlg::AppendToView(std::string_view text, int viewId)
{
    if (viewText_.Gathers(viewId)) {
        viewText_.Append(text);
        return;
    }
    if (host_.HasControl(viewId))
        host_.AppendToEnd(viewId, text);
}

void CRelayDlg::FlushViewText()
{
    const int viewId = viewText_.ViewId();
    if (viewId != 0 && !viewText_.Text().empty() && host_.HasControl(viewId))
        host_.AppendToEnd(viewId, viewText_.Text());
    viewText_.Clear();
}
