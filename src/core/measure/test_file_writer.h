#pragma once
// The writer that runs when a live test ends: completes every manoeuvre,
// checks the test, writes Case/<ID>/<n>.dt and has the CaseInfo row inserted.
// A manoeuvre that lost pulses on the link, whose device sums disagree with
// its pulses or whose values are outside what a blow can give is never stored.
#include "core/measure/measurement_store.h"
#include "core/measure/test_record.h"
#include "core/measure/test_store.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

enum class SaveOutcome {
    Saved,          // file written and row inserted
    InvalidMvv,     // fewer than two breath cycles
    InvalidVc,      // no VC result
    NothingToSave,  // not asked to save, or an FVC test without a manoeuvre
    FileNotCreated, // the file could not be written: no row either
    NotRecorded,    // the row could not be inserted: the file was removed again
    NotUsable,      // FVC: no manoeuvre is whole and plausible
    DataLost,       // VC, MVV: pulses of a breath used were lost on the link
};

// What the writer needs to know about the test beyond the store.
struct SaveContext {
    int patientId = 0;
    QString caseFolder; // the patient's case folder
    int testType = kTestFvc;
    int expCoefficient = 145; // after BTPS correction
    int inspCoefficient = 145;
    int temperature = 33;
    QByteArray deviceId;
    int heightCm = 0; // for the estimated lung age
    int gender = 0;   // 0 male, 1 female
    QDateTime now;    // saving time; the current time when invalid
    int phase = kPhasePre; // FVC: the bronchodilator phase of the session
    TestBasis basis;       // reference set and BTPS, kept with every row written
    // Rows that belong with the stored tests (who ran them, the audit row),
    // written inside the session's transaction just before it commits, given
    // the names of the tests stored; false (with `error`) keeps nothing.
    std::function<bool(const QStringList& dataNames, QString& error)> sessionRows;
    // FVC: each manoeuvre's coaching cues (JSON), in the order blown; kept
    // with its row.
    std::vector<QString> cues;
};

// One manoeuvre of an FVC session as it was kept.
struct KeptManeuver {
    int index = 0;  // in the order blown, from 0
    int number = 0; // of its file
    QString dataName;
    QString path;
};

struct SaveResult {
    SaveOutcome outcome = SaveOutcome::NothingToSave;
    int resultValid = 0;   // 1: the page posts its test-saved message
    QStringList prompts;   // texts for the prompt line, in order
    int validPicture = -1; // VC tests: 1 show the valid picture, 0 the invalid one
    QString dataName;      // "<n>.dt" when a file was written
    QString path;
    QString testTime;
    TestFileHeader header;
    ManeuverResult record; // the record written
    AcceptanceFlags acceptance;
    int bestIndex = -1; // FVC tests
    SessionPlace place; // where the row being written belongs
    QString cues;       // the coaching cues of the blow being written (JSON)
    std::vector<KeptManeuver> stored; // FVC: every manoeuvre kept, in the order blown
};

// The files a save kept: every manoeuvre of an FVC session, or the one test.
QStringList StoredDataNames(const SaveResult& result);

inline constexpr int kLargestTestNumber = 999999999; // nine digits, as the readers accept

// The number of the next test file: one above the largest name of the folder
// that the readers accept (and above `above`); when that would pass
// `largestAllowed`, the lowest free number above `above`; -1 when none is left.
int NextTestNumber(const QString& caseFolder, int above = 0,
                   int largestAllowed = kLargestTestNumber);

// The header a writer puts in front of a new file.
TestFileHeader MakeHeader(const SaveContext& context, const QString& dataName,
                          const QString& testTime);

// Completes the store's manoeuvres and saves the test when `request` is 1.
// Saved only when the test is whole in `testStore` under a number no other
// writer took and its CaseInfo row is in; otherwise nothing of the test stays
// behind. The completed records are written back into the store.
SaveResult SaveTest(int request, MeasurementStore& store, const SaveContext& context,
                    TestStore& testStore);

// Manoeuvre `index`'s samples of a test's stream (expiratory ones first), its
// time stamps rebased to just after zero, as its test file holds them; when
// the stream is short, `record` is made to count what it holds.
PulseStream ManeuverSamples(const ManeuverList& list, const PulseStream& stream, int index,
                            ManeuverResult& record);

// The bytes of a test file for the given parts (exposed for tests and tools).
QByteArray BuildTestFile(const TestFileHeader& header, const ManeuverResult& record,
                         const PulseSample* samples, int count, const QByteArray& trailer);
