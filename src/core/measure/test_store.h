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

// The CaseInfo rows of a folder's tests. One transaction holds the rows of a
// whole session; it takes the database's write lock at Begin, before the
// session's files are written, so a start-up check holding that lock never
// mistakes the files of a save in progress for ones a kill left behind.
enum class RowWrite { Inserted, NameTaken, Failed };
class TestRowTable {
public:
    virtual ~TestRowTable() = default;
    virtual bool Begin(QString& error) = 0;
    // `NameTaken`: a row of another (lost) file already holds the name; the
    // transaction stays usable.
    virtual RowWrite Insert(const SaveResult& result, QString& error) = 0;
    virtual bool Commit(QString& error) = 0;
    virtual void Rollback() = 0;
};

enum class TestWrite {
    Saved,      // bytes and row are both kept
    NameTaken,  // another writer holds the number: nothing kept, try the next
    FileFailed, // the bytes could not be kept: nothing kept
    RowFailed,  // the row could not be inserted: the bytes went again
};

// A session is stored whole or not at all: every Write between BeginSession
// and EndSession(true) is kept together, and a kill before EndSession
// returns leaves no row of it (files it left have no row and are settled by
// the start-up check).
class TestStore {
public:
    virtual ~TestStore() = default;
    virtual bool BeginSession(QString& error) = 0;
    // The number to try next, above `above`; -1 when none can be given, with
    // `error` saying why (empty: every number is used).
    virtual int NextNumber(int above, QString& error) = 0;
    // Adds `bytes` as `result.dataName` with the row of `result` to the session.
    virtual TestWrite Write(const SaveResult& result, const QByteArray& bytes,
                            QString& error) = 0;
    // `keep`: commits the session; false (or a failed commit): nothing of it stays.
    virtual bool EndSession(bool keep, QString& error) = 0;
    // Where `dataName` lies on disk; empty when the store is no folder.
    virtual QString PathOf(const QString& dataName) const = 0;
};
