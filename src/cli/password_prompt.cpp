#include "password_prompt.h"

#include <QTextStream>

#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

bool ReadPassword(const char* variable, const QString& prompt, QString& password, QString* error)
{
    if (qEnvironmentVariableIsSet(variable)) {
        password = qEnvironmentVariable(variable);
        return true;
    }
    if (!isatty(STDIN_FILENO)) {
        if (error)
            *error = QString("no password: set %1 or run at a terminal").arg(variable);
        return false;
    }
    QTextStream(stderr) << prompt << Qt::flush;
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::string line;
    int c = 0;
    while ((c = std::getchar()) != EOF && c != '\n')
        line += char(c);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    QTextStream(stderr) << '\n';
    password = QString::fromStdString(line);
    return true;
}
