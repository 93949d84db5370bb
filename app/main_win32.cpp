// The Windows program: the same shell and console over Windows Sockets and the dialog manager.
#include "app/relay_app.h"
#include "console/relay_dlg.h"
#include "platform/system_services.h"
#include "platform/win32/win32_dialog_host.h"
#include "platform/win32/winsock_sockets.h"
#include "res/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/)
{
    RealSystemServices system(kFullChunkBlockSize);
    WinsockSockets sockets;
    Win32DialogHost host(instance, IDD_RELAY_DIALOG);
    CRelayApp app(host, sockets, system);
    return app.InitInstance();
}
