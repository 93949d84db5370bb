// The text of a status line: a message, and the sockets error that ended a connection.
#ifndef BRINDLE_CONSOLE_STATUS_TEXT_H
#define BRINDLE_CONSOLE_STATUS_TEXT_H

#include <string>

// A null message stands for "no message"; with no code either the line says "Idle".
std::string ComposeStatus(const char* message, int code);
// " Error code N." and, where the code has one, its name.
std::string FormatSocketError(int code);

#endif
