#pragma once
// Who ran a stored test and on which workstation (table TestOperator), kept
// beside the test's CaseInfo row.
#include <QString>
#include <QStringList>

class Database;

struct TestOperator {
    QString name;        // the account, or the system login while accounts are off
    QString workstation; // the host name of the computer the test ran on
};

// Records the operator of each of `dataNames` of patient `id`, inside the
// caller's transaction (the session's).
bool SaveTestOperators(Database& db, int id, const QStringList& dataNames, const TestOperator& op);

// The distinct operators of `dataNames`, in their order: "anna (lab-2)".
// Tests stored before operators were kept name nobody.
QStringList LoadTestOperators(Database& db, int id, const QStringList& dataNames);
