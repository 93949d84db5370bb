// The About box: nothing but its template, so every event falls to the host's defaults.
#ifndef BRINDLE_APP_ABOUT_DLG_H
#define BRINDLE_APP_ABOUT_DLG_H

#include "platform/dialog_host.h"

class CAboutDlg final : public DialogEvents {
public:
    explicit CAboutDlg(DialogHost& owner)
        : owner_(owner)
    { }

    // Runs the box over the owner's window until OK, Escape or its close box ends it.
    int DoModal();

    void OnInitDialog() override { }
    bool OnCommand(int /*controlId*/) override { return false; }
    void OnTimer(unsigned /*timerId*/) override { }
    bool OnSysCommand(unsigned /*commandId*/) override { return false; }

private:
    DialogHost& owner_;
};

#endif
