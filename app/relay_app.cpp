#include "relay_app.h"

#include "app/about_dlg.h"
#include "console/relay_dlg.h"
#include "platform/dialog_host.h"
#include "platform/sockets_layer.h"
#include "res/resource.h"
#include "res/string_table.h"

int CRelayApp::InitInstance()
{
    if (!sockets_.Startup()) {
        // There is no window yet, so the box stands on its own.
        host_.MessageBox(res::LoadString(IDP_SOCKETS_INIT_FAILED));
        return 0;
    }

    CRelayDlg dlg(host_, sockets_, system_, [this] {
        CAboutDlg about(host_);
        about.DoModal();
    });
    dlg.DoModal();
    return 0;
}
