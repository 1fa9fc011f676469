#pragma once
// Passwords for tavctl: from an environment variable, else asked on the
// terminal without echo. Never taken from the command line, where every user
// of the machine could read them.
#include <QString>

// False with `error` set when the variable is unset and there is no terminal.
bool ReadPassword(const char* variable, const QString& prompt, QString& password, QString* error);
