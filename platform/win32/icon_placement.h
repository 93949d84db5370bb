// Where a minimised window draws its icon: centred in the client area, the odd pixel to the right
// and below, with C's division (towards zero) so that a client area smaller than the icon puts it
// where the classic shell did.
#ifndef BRINDLE_PLATFORM_WIN32_ICON_PLACEMENT_H
#define BRINDLE_PLATFORM_WIN32_ICON_PLACEMENT_H

struct IconOrigin {
    int x;
    int y;
};

constexpr IconOrigin CentredIconOrigin(int clientWidth, int clientHeight, int iconWidth, int iconHeight)
{
    return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

#endif
