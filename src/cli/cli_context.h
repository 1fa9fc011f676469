#pragma once
#include "core/records/database.h"

#include <QString>
#include <QStringList>

// What every tavctl command shares: the program folder, the settings read at
// start-up, the database on demand, and uniform errors.
class CliContext {
public:
    // Takes --home DIR and --database CONNECTION out of `args` and resolves the program folder.
    explicit CliContext(QStringList& args);

    bool OpenDatabase(); // prints the error and returns false when it cannot
    Database& Db() { return m_db; }
    // --database when given, else the DATABASE setting, else data.mdb; empty with
    // `error` set when the setting is unusable.
    QString DatabaseTarget(QString* error = nullptr) const;
    static int Fail(const QString& message, int code = 2);
    static void Print(const QString& text);

    // Value of "--name VALUE" (removed from args); `found` tells whether it was given.
    static QString TakeOption(QStringList& args, const QString& name, bool* found = nullptr);

private:
    QString m_givenDatabase;
    Database m_db;
};
