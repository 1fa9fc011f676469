#pragma once
#include "core/accounts/actor.h"
#include "core/records/database.h"

#include <QString>
#include <QStringList>

#include <memory>

struct MeasurementParts;

// What every tavctl command shares: the program folder, the settings read at
// start-up, the database on demand, and uniform errors.
class CliContext {
public:
    // Takes --home DIR and --database CONNECTION out of `args`, resolves the
    // program folder and, for an installed program, creates the user's folder
    // on first use.
    explicit CliContext(QStringList& args);
    ~CliContext();

    // The one set of live-test objects of this run (device link, store,
    // engine, point list).
    MeasurementParts& Parts() { return *m_parts; }

    // Empty when the program folder is ready, else why it is not.
    QString FolderError() const { return m_folderError; }

    bool OpenDatabase(); // prints the error and returns false when it cannot
    // Opens the database and says who acts. With accounts on: logs in the
    // account named by --user (before the command, or among `args`) with the
    // password from TAV_PASSWORD or the terminal, and checks that its role may
    // do `action`. With accounts off: the system login, unchecked. Prints why
    // and returns false when the action may not go ahead.
    bool SignIn(QStringList& args, Action action);
    // Takes --user NAME out of `args` (SignIn does it too): commands call it
    // before refusing leftover arguments, so that bad arguments open nothing.
    void TakeUser(QStringList& args);
    // Who acts (valid after SignIn).
    const Actor& User() const { return m_actor; }
    // With accounts on, an audit row for User(); prints and returns false when
    // it cannot be written. Does nothing with accounts off.
    bool Audit(const QString& action, int patient, const QString& target,
               const QString& before = QString(), const QString& after = QString());
    Database& Db() { return m_db; }
    // --database when given, else the DATABASE setting, else data.mdb; empty with
    // `error` set when the setting is unusable.
    QString DatabaseTarget(QString* error = nullptr) const;
    static int Fail(const QString& message, int code = 2);
    // Prints `text` on stdout as Terminal gives it, ending in a newline.
    static void Print(const QString& text);
    // `text` for a terminal: lines and tab-separated cells kept, every other
    // control or direction character escaped (TextRule::Escaped), whatever a
    // record holds.
    static QString Terminal(const QString& text);

    // Value of "--name VALUE" (removed from args); `found` tells whether it was given.
    static QString TakeOption(QStringList& args, const QString& name, bool* found = nullptr);
    // "--patient ID --day YYYY-MM-DD" (removed from args); false when either is missing or malformed.
    static bool TakePatientDay(QStringList& args, int& patient, QString& day);

private:
    QString m_givenDatabase;
    QString m_givenUser; // --user before the command
    Actor m_actor = Actor::Unchecked();
    Database m_db;
    std::unique_ptr<MeasurementParts> m_parts;
    QString m_folderError;
};
