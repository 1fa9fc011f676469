#pragma once
#include <QMap>
#include <QString>
#include <QStringList>

class Database;

// What a move from a single workstation's folder to a server did.
struct TransferReport {
    QMap<QString, int> rows; // table -> rows copied (and found again afterwards)
    int files = 0;           // test and diagnosis files copied and read back equal
    qint64 bytes = 0;
    QStringList skipped; // files of the case folders that are not test or diagnosis files
    QString error;       // empty when everything was copied and checked
};

// Copies every table row and every test and diagnosis file of `source` into
// `target`, which must hold no patients, tests, accounts or files yet (its built-in
// groups and equations are replaced by the source's). Runs in one transaction
// on the target; afterwards compares row counts and every file's bytes. The
// source is only read.
bool TransferRecords(Database& source, Database& target, TransferReport& report);

// Rows whose test data are missing, and stored test files no row names.
struct CaseCheckReport {
    int rows = 0;
    QStringList missing; // "<ID>/<DataName>" of rows without their bytes
    QStringList orphans; // "<ID>/<name>" of test files without a row
    QStringList unreadable; // "<ID>/<DataName>" whose bytes are not a test file
};
bool CheckCaseData(Database& db, CaseCheckReport& report);
