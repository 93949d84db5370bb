#include <QApplication>

#include "app/relay_app.h"
#include "console/relay_dlg.h"
#include "platform/posix/posix_sockets.h"
#include "platform/qt/qt_dialog_host.h"
#include "platform/system_services.h"
#include "res/dialog_template.h"

int main(int argc, char* argv[])
{
    // Qt's own options (-platform, -style) still work; the program has none of its own.
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brindle"));

    RealSystemServices system(kFullChunkBlockSize);
    PosixSockets sockets;
    QtDialogHost host(res::RelayDialogTemplate());
    CRelayApp app(host, sockets, system);
    return app.InitInstance();
}
