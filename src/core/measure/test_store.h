#pragma once
// Where a finished test is kept: its bytes under a number no other writer
// took, and its CaseInfo row, both or neither. The test writer only chooses
// numbers and builds bytes; the caller hands it a store for a case folder or
// for a database that keeps the bytes itself.
#include <QByteArray>
#include <QString>

#include <functional>
#include <utility>

struct SaveResult;

// What a stored test was measured against, kept with its row so that a past
// day reads as it was reported: the patient's reference set at the time
// (UserInfo.Standard, 0..4), the version of that set's equations (see
// ReferenceSetVersion), and whether volumes and flows were BTPS-corrected
// (1) or not (0). -1 and an empty version: not known (rows from before).
struct TestBasis {
    int standard = -1;
    QString setVersion;
    int btps = -1;
};

// Where a stored test belongs: its session (the file number of the session's
// first manoeuvre; 0: the test's own number), its manoeuvre number from 1, its
// phase (0 pre, 1 post bronchodilator), and what it was measured against.
struct SessionPlace {
    // Written as {session, maneuver, phase} or with the basis as a fourth part.
    SessionPlace(int session = 0, int maneuver = 1, int phase = 0, TestBasis basis = {})
        : session(session), maneuver(maneuver), phase(phase), basis(std::move(basis))
    {
    }
    int session;
    int maneuver;
    int phase;
    TestBasis basis;
};
inline constexpr int kPhasePre = 0;
inline constexpr int kPhasePost = 1;

// The row writer inserts the CaseInfo row of a written test. `NameTaken` means
// a row of another (lost) file already holds the name: the writer then tries
// the next number. `Failed` puts the reason in `error`.
enum class RowWrite { Inserted, NameTaken, Failed };
using TestRowWriter = std::function<RowWrite(const SaveResult& result, QString& error)>;
// Deletes the row of a test whose bytes are being taken back.
using TestRowRemover = std::function<bool(const QString& dataName, QString& error)>;

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
    // Takes back a test this store saved (bytes and row), when a later
    // manoeuvre of the same session could not be kept; false when it stays.
    virtual bool Remove(const QString& dataName, QString& error) = 0;
};
