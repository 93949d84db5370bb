// The application shell: checks that the network can be used, then runs the relay console until
// it is closed.
#ifndef BRINDLE_APP_RELAY_APP_H
#define BRINDLE_APP_RELAY_APP_H

class DialogHost;
class SocketsLayer;
class SystemServices;

class CRelayApp {
public:
    CRelayApp(DialogHost& host, SocketsLayer& sockets, SystemServices& system)
        : host_(host)
        , sockets_(sockets)
        , system_(system)
    { }

    // The program's exit code: 0 whether the console ran or the network could not be used.
    int InitInstance();

private:
    DialogHost& host_;
    SocketsLayer& sockets_;
    SystemServices& system_;
};

#endif
