// Resource identifiers shared by the console, the dialog templates and the Windows resource script.
// Kept as plain macros so that the Windows resource compiler can read this header too.
#ifndef BRINDLE_RES_RESOURCE_H
#define BRINDLE_RES_RESOURCE_H

#define IDOK 1
#define IDCANCEL 2

#define IDM_ABOUTBOX 0x0010
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_RELAY_DIALOG 102
#define IDP_SOCKETS_INIT_FAILED 103
#define IDR_MAINFRAME 128

#define IDC_CONFIGURE_GROUP 1000
#define IDC_LISTEN_PORT 1001
#define IDC_DEST_PORT 1002
#define IDC_DEST_HOST 1003
#define IDC_CLIENT_AUTO 1007
#define IDC_PLUGIN_PATH 1008
#define IDC_PLUGIN_LOAD 1009
#define IDC_CLIENT_SEND 1010
#define IDC_LISTEN 1011
#define IDC_TO_SERVER_VIEW 1012
#define IDC_TO_CLIENT_VIEW 1013
#define IDC_SERVER_SEND 1014
#define IDC_SERVER_AUTO 1015
#define IDC_CLIENT_CLEAR_ON_SEND 1016
#define IDC_SERVER_CLEAR_ON_SEND 1017
#define IDC_CLIENT_STATUS 1018
#define IDC_CONNECT 1019
#define IDC_CLIENT_DISCONNECT 1020
#define IDC_SERVER_STATUS 1021
#define IDC_CLIENT_SENT 1022
#define IDC_CLIENT_RECEIVED 1023
#define IDC_CLIENT_RESET 1024
#define IDC_CLIENT_CLEAR 1025
#define IDC_SERVER_CLEAR 1026
#define IDC_SERVER_DISCONNECT 1027
#define IDC_SERVER_SENT 1028
#define IDC_SERVER_RECEIVED 1029
#define IDC_SERVER_RESET 1030
#define IDC_STOP_SERVER 1031
#define IDC_CLIENT_CRLF 1032
#define IDC_SERVER_CRLF 1033
#define IDC_CLIENT_BUFFERS 1034
#define IDC_SERVER_BUFFERS 1035

// Controls without an identifier of their own (labels, group boxes, the About box texts).
#define IDC_STATIC (-1)

#endif
