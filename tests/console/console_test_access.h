// The console's steps that no click or tick reaches on its own, for the tests that isolate them.
#ifndef BRINDLE_TESTS_CONSOLE_CONSOLE_TEST_ACCESS_H
#define BRINDLE_TESTS_CONSOLE_CONSOLE_TEST_ACCESS_H

#include "console/relay_dlg.h"

struct CRelayDlgTestAccess {
    static int StartPollTimer(CRelayDlg& dlg) { return dlg.StartPollTimer(); }
    static SocketHandle AcceptRemoteClient(CRelayDlg& dlg) { return dlg.AcceptRemoteClient(); }
};

#endif
