// The traffic view's keyboard and mouse: messages translated into the model's terms.
#include "platform/win32/traffic_view_window.h"

#include "platform/win32/view_key_input.h"

namespace {

constexpr int kMargin = 2;

} // namespace

bool TrafficViewWindow::OnKey(WPARAM key)
{
    const std::optional<ViewCommand> command = model_.pressKey(ViewKeyOf(key), ViewModifiersHeld());
    if (!command)
        return false;
    CarryOut(*command);
    return true;
}

LineColumn TrafficViewWindow::CellAt(LPARAM position) const
{
    const int x = static_cast<short>(LOWORD(position));
    const int y = static_cast<short>(HIWORD(position));
    const std::int64_t row = y < kMargin ? -1 : (y - kMargin) / lineHeight_;
    return {row, (x - kMargin + charWidth_ / 2) / charWidth_};
}

void TrafficViewWindow::OnButtonDown(LPARAM position, bool doubleClick, bool shift)
{
    SetFocus(window_);
    const Click click = clicks_.press(static_cast<std::uint32_t>(GetMessageTime()), doubleClick, GetDoubleClickTime());
    const auto [row, column] = CellAt(position);
    model_.click(row, column, click.count, shift);
    dragging_ = click.drags;
    if (dragging_)
        SetCapture(window_);
    Sync();
}
