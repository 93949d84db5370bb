// Dialog templates as plain data: what a window system needs to lay a dialog out, in dialog
// units, with the controls in template order (which is also the tab order).
#ifndef BRINDLE_RES_DIALOG_TEMPLATE_H
#define BRINDLE_RES_DIALOG_TEMPLATE_H

#include <span>

namespace res {

enum class ControlKind {
    DefaultPushButton,
    PushButton,
    GroupBox,
    Edit, // single-line edit
    MultiLineEdit, // the traffic views
    AutoCheckBox,
    StaticText,
    Icon,
};

// Style flags of a control, after the window styles they stand for.
enum ControlStyle : unsigned {
    kTabStop = 1u << 0,
    kDisabled = 1u << 1,
    kBorder = 1u << 2,
    kReadOnly = 1u << 3,
    kAutoHScroll = 1u << 4,
    kAutoVScroll = 1u << 5,
    kHScroll = 1u << 6,
    kVScroll = 1u << 7,
    kRightAlign = 1u << 8,
    kWantReturn = 1u << 9,
    kNoPrefix = 1u << 10, // '&' shown as is, not as a mnemonic
};

struct ControlTemplate {
    int id; // IDC_STATIC for controls without an identifier
    ControlKind kind;
    const char* text;
    int x, y, w, h; // dialog units
    unsigned style;
    int iconId; // for ControlKind::Icon, the icon resource shown; 0 otherwise
};

// Style flags of the dialog frame.
enum DialogStyle : unsigned {
    kCaption = 1u << 0,
    kSystemMenu = 1u << 1,
    kModalFrame = 1u << 2,
    kAppWindow = 1u << 3, // shown in the task bar
};

struct DialogTemplate {
    int id;
    const char* caption;
    const char* fontName;
    int fontPointSize;
    int width, height; // dialog units
    unsigned style;
    std::span<const ControlTemplate> controls;
};

const DialogTemplate& RelayDialogTemplate();

// The template whose id this is, or nullptr.
const DialogTemplate* FindDialogTemplate(int dialogId);

} // namespace res

#endif
