#include "dialog_template.h"

#include "resource.h"

namespace res {
namespace {

constexpr unsigned kEditStyle = kTabStop | kBorder | kAutoHScroll;
constexpr unsigned kCounterStyle = kEditStyle | kReadOnly | kRightAlign;
constexpr unsigned kViewStyle
    = kTabStop | kBorder | kReadOnly | kHScroll | kVScroll | kAutoHScroll | kAutoVScroll | kWantReturn;

using K = ControlKind;

// clang-format off
constexpr ControlTemplate kRelayControls[] = {
    {IDOK,                     K::DefaultPushButton, "OK",                   397, 322,  50,  14, kTabStop, 0},
    {IDCANCEL,                 K::PushButton,        "Cancel",               453, 322,  50,  14, kTabStop, 0},
    {IDC_CONFIGURE_GROUP,      K::GroupBox,          "Configure",              7,   7, 496,  24, 0, 0},
    {IDC_STATIC,               K::StaticText,        "Listen Port:",          13,  16,  38,   8, 0, 0},
    {IDC_LISTEN_PORT,          K::Edit,              "",                      53,  14,  20,  12, kEditStyle, 0},
    {IDC_STATIC,               K::StaticText,        "Destination Port:",     99,  16,  54,   8, 0, 0},
    {IDC_DEST_PORT,            K::Edit,              "",                     154,  14,  20,  12, kEditStyle, 0},
    {IDC_STATIC,               K::StaticText,        "Destination Host:",    201,  16,  56,   8, 0, 0},
    {IDC_DEST_HOST,            K::Edit,              "",                     259,  14, 163,  12, kEditStyle, 0},
    {IDC_STATIC,               K::GroupBox,          "Plug-in",                7,  34, 496,  24, 0, 0},
    {IDC_CLIENT_AUTO,          K::AutoCheckBox,      "Auto",                 454,  72,  43,   8, kTabStop, 0},
    {IDC_PLUGIN_PATH,          K::Edit,              "",                      60,  42, 155,  12, kEditStyle | kDisabled, 0},
    {IDC_STATIC,               K::StaticText,        "Path",                  37,  42,  18,   8, 0, 0},
    {IDC_PLUGIN_LOAD,          K::PushButton,        "Load",                 235,  42,  39,  11, kTabStop | kDisabled, 0},
    {IDC_CLIENT_SEND,          K::PushButton,        "Send",                 454, 151,  43,  11, kTabStop, 0},
    {IDC_STATIC,               K::StaticText,        "(to remote server)",    13,  70,  60,   8, 0, 0},
    {IDC_LISTEN,               K::PushButton,        "Listen",               427,  14,  29,  12, kTabStop, 0},
    {IDC_TO_SERVER_VIEW,       K::MultiLineEdit,     "",                      13,  83, 439,  89, kViewStyle, 0},
    {IDC_STATIC,               K::StaticText,        "(to remote client)",    13, 194,  60,   8, 0, 0},
    {IDC_TO_CLIENT_VIEW,       K::MultiLineEdit,     "",                      13, 206, 439, 102, kViewStyle, 0},
    {IDC_SERVER_SEND,          K::PushButton,        "Send",                 454, 268,  43,  11, kTabStop, 0},
    {IDC_SERVER_AUTO,          K::AutoCheckBox,      "Auto",                 454, 194,  43,   8, kTabStop, 0},
    {IDC_CLIENT_CLEAR_ON_SEND, K::AutoCheckBox,      "Clear",                454,  96,  43,   8, kTabStop, 0},
    {IDC_SERVER_CLEAR_ON_SEND, K::AutoCheckBox,      "Clear",                454, 218,  43,   8, kTabStop, 0},
    {IDC_STATIC,               K::StaticText,        "Local client status:",   7, 319,  66,   8, 0, 0},
    {IDC_CLIENT_STATUS,        K::StaticText,        "Idle",                  76, 319, 244,   9, 0, 0},
    {IDC_CONNECT,              K::PushButton,        "Connect",              454, 136,  43,  11, kTabStop, 0},
    {IDC_CLIENT_DISCONNECT,    K::PushButton,        "Disconnect",           454, 166,  43,  11, kTabStop, 0},
    {IDC_STATIC,               K::StaticText,        "Local server status:",   7, 327,  66,   8, 0, 0},
    {IDC_SERVER_STATUS,        K::StaticText,        "Idle",                  76, 327, 244,   9, 0, 0},
    {IDC_STATIC,               K::StaticText,        "Sent bytes",            96,  70,  36,   8, 0, 0},
    {IDC_CLIENT_SENT,          K::Edit,              "",                     136,  68,  50,  12, kCounterStyle, 0},
    {IDC_STATIC,               K::StaticText,        "Received bytes",       198,  70,  50,   8, 0, 0},
    {IDC_CLIENT_RECEIVED,      K::Edit,              "",                     260,  68,  50,  12, kCounterStyle, 0},
    {IDC_CLIENT_RESET,         K::PushButton,        "Reset",                328,  68,  40,  11, kTabStop, 0},
    {IDC_CLIENT_CLEAR,         K::PushButton,        "Clear",                454, 121,  43,  11, kTabStop, 0},
    {IDC_SERVER_CLEAR,         K::PushButton,        "Clear",                454, 252,  43,  11, kTabStop, 0},
    {IDC_SERVER_DISCONNECT,    K::PushButton,        "Disconnect",           454, 284,  43,  11, kTabStop, 0},
    {IDC_STATIC,               K::StaticText,        "Sent bytes",            96, 192,  36,   8, 0, 0},
    {IDC_SERVER_SENT,          K::Edit,              "",                     136, 191,  50,  12, kCounterStyle, 0},
    {IDC_STATIC,               K::StaticText,        "Received bytes",       198, 195,  50,   8, 0, 0},
    {IDC_SERVER_RECEIVED,      K::Edit,              "",                     260, 192,  50,  12, kCounterStyle, 0},
    {IDC_SERVER_RESET,         K::PushButton,        "Reset",                328, 191,  40,  11, kTabStop, 0},
    {IDC_STATIC,               K::GroupBox,          "Local Server",           7, 182, 496, 133, 0, 0},
    {IDC_STATIC,               K::GroupBox,          "Local Client",           7,  60, 496, 121, 0, 0},
    {IDC_STOP_SERVER,          K::PushButton,        "Stop Server",          454, 298,  43,  11, kTabStop, 0},
    {IDC_CLIENT_CRLF,          K::AutoCheckBox,      "CRLF",                 454,  84,  43,   8, kTabStop, 0},
    {IDC_SERVER_CRLF,          K::AutoCheckBox,      "CRLF",                 454, 206,  43,   8, kTabStop, 0},
    {IDC_CLIENT_BUFFERS,       K::AutoCheckBox,      "Buffers",              454, 107,  38,  10, kTabStop, 0},
    {IDC_SERVER_BUFFERS,       K::AutoCheckBox,      "Buffers",              454, 228,  38,  10, kTabStop, 0},
};

constexpr ControlTemplate kAboutControls[] = {
    {IDC_STATIC, K::Icon,              "",                                   11, 17,  20, 20, 0, IDR_MAINFRAME},
    {IDC_STATIC, K::StaticText,        "Brindle Version 2.1",                40, 10, 119,  8, kNoPrefix, 0},
    {IDC_STATIC, K::StaticText,        "Copyright (C) 2026 the Brindle developers", 40, 25, 119, 8, 0, 0},
    {IDOK,       K::DefaultPushButton, "OK",                                178,  7,  32, 14, kTabStop, 0},
};
// clang-format on

constexpr DialogTemplate kRelayDialog{IDD_RELAY_DIALOG, "Windows Brindle", "MS Sans Serif", 8, 510, 343,
    kCaption | kSystemMenu | kModalFrame | kAppWindow, kRelayControls};

constexpr DialogTemplate kAboutBox{
    IDD_ABOUTBOX, "About brindle", "MS Sans Serif", 8, 217, 55, kCaption | kSystemMenu | kModalFrame, kAboutControls};

} // namespace

const DialogTemplate& RelayDialogTemplate()
{
    return kRelayDialog;
}
const DialogTemplate& AboutBoxTemplate()
{
    return kAboutBox;
}

const DialogTemplate* FindDialogTemplate(int dialogId)
{
    if (dialogId == IDD_RELAY_DIALOG)
        return &kRelayDialog;
    if (dialogId == IDD_ABOUTBOX)
        return &kAboutBox;
    return nullptr;
}

} // namespace res
