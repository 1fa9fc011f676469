#pragma once
#include <QString>
#include <QStringList>

class Database;

// What saves killed part-way left behind, and where it went.
struct InterruptedSaves {
    // "<what> -> <where>" for each test file without its row and each
    // temporary file of an unfinished write, moved to the recovery folder.
    QStringList recovered;
    QStringList rowsWithoutFiles; // "<ID>/<DataName>": named, never removed
};

// Settles what killed saves left: test files no CaseInfo row names (the
// session they belonged to was never committed) and abandoned temporary
// files of the case folders and of the program folder are moved into
// AppPaths::RecoveryFolder(), each with a line in its recovery.log; nothing
// is deleted unseen. Runs under the database's write lock, which a session's
// save holds from before its first file to its commit, so a save in progress
// elsewhere is never touched. False with `error` when the records cannot be
// read or something cannot be moved (it then stays where it was).
bool SettleInterruptedSaves(Database& db, InterruptedSaves& report, QString& error);
