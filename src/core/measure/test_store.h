#pragma once
// Where a finished test is kept: its bytes under a number no other writer
// took, and its CaseInfo row, both or neither. The test writer only chooses
// numbers and builds bytes; the caller hands it a store for a case folder or
// for a database that keeps the bytes itself.
#include <QByteArray>
#include <QString>

#include <functional>

struct SaveResult;

// The row writer inserts the CaseInfo row of a written test. `NameTaken` means
// a row of another (lost) file already holds the name: the writer then tries
// the next number. `Failed` puts the reason in `error`.
enum class RowWrite { Inserted, NameTaken, Failed };
using TestRowWriter = std::function<RowWrite(const SaveResult& result, QString& error)>;

enum class TestWrite {
    Saved,      // bytes and row are both kept
    NameTaken,  // another writer holds the number: nothing kept, try the next
    FileFailed, // the bytes could not be kept: nothing kept
    RowFailed,  // the row could not be inserted: the bytes went again
};

class TestStore {
public:
    virtual ~TestStore() = default;
    // The number to try next, above `above`; -1 when none can be given, with
    // `error` saying why (empty: every number is used).
    virtual int NextNumber(int above, QString& error) = 0;
    // Keeps `bytes` as `result.dataName` together with the row of `result`.
    virtual TestWrite Write(const SaveResult& result, const QByteArray& bytes,
                            QString& error) = 0;
    // Where `dataName` lies on disk; empty when the store is no folder.
    virtual QString PathOf(const QString& dataName) const = 0;
};
