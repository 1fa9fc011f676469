#pragma once
#include <QString>

#include <functional>
#include <memory>

#include "core/accounts/actor.h"

class Page;
class Database;
class QWidget;
struct DiagnosisRecord;
struct ManeuverResult;
struct PatientRecord;

// The Bluetooth connection the pages share; the device layer fills in how it
// is asked and closed (empty functions mean no connection exists).
struct SharedBluetoothLink {
    std::function<bool()> isOpen;
    std::function<void()> close;
};

// What the pages and dialogs share: the records, who works, the current
// patient, day and test type, and the commands that change the page. The main
// window is one; the entry point hands it to whatever needs it, so nothing
// reaches back into the main window itself.
class Workbench {
  public:
    enum PageTemplate { kResultsPage = 210, kLiveTestPage = 211, kMainPage = 222 };

    explicit Workbench(Database& db);
    virtual ~Workbench();

    // The window the pages live in, the parent of the dialogs they open.
    virtual QWidget* Window() = 0;
    // Shows page 210, 211 or 222 in place of the current one; returns 0 for any other value.
    virtual int ShowPage(int templateId) = 0;
    virtual Page* CurrentPage() const = 0;
    // Looks every text of the window and of the current page up again.
    virtual void ApplyTexts() = 0;
    // Ends the main window (and with it the program).
    virtual void EndShell() = 0;
    // Records the current page may show changed (a patient's group, row or days).
    virtual void RecordsChanged(int patientId) = 0;

    // The database every page reads and writes.
    Database& Db() { return m_db; }
    // Who works: the account logged in, or the system login while accounts are off.
    const Actor& User() const { return m_user; }
    virtual void SetUser(const Actor& user) { m_user = user; }

    int CurrentPatientId() const { return m_patientId; }
    void SetCurrentPatientId(int id) { m_patientId = id; }
    QString CurrentTestDate() const { return m_testDate; }
    // A new day recomputes the predicted values for the patient's age on that day.
    void SetCurrentTestDate(const QString& day);
    int CurrentTestType() const { return m_testType; }
    void SetCurrentTestType(int type) { m_testType = type; }
    int SingleLoopDisplay() const { return m_singleLoop; }
    void SetSingleLoopDisplay(int on) { m_singleLoop = on; }

    // The current patient's record and predicted values, shared by every page.
    PatientRecord& Patient() { return *m_patient; }
    ManeuverResult& Predicted() { return *m_predicted; }
    // The diagnosis of the current day, read by the results page and the report.
    DiagnosisRecord& Diagnosis() { return *m_diagnosis; }
    // Recomputes the predicted values of the current patient from the database, for the
    // age on the current test day (today's age when no day is chosen). False, with the
    // values cleared, when no reference equation covers the patient.
    bool RecomputePredicted();
    bool PredictedFound() const { return m_predictedFound; }
    // The name column of the selected patient row; empty means no patient.
    QString SelectedPatientTag() const { return m_selectedTag; }
    void SetSelectedPatientTag(const QString& tag) { m_selectedTag = tag; }

    SharedBluetoothLink& Bluetooth() { return m_bluetooth; }
    bool IsBluetoothOpen() const { return m_bluetooth.isOpen && m_bluetooth.isOpen(); }
    void CloseBluetooth();

  private:
    Database& m_db;
    Actor m_user = Actor::Unchecked();
    int m_patientId = 0;
    QString m_testDate;
    bool m_predictedFound = true;
    int m_testType = 0;
    int m_singleLoop = 0;
    SharedBluetoothLink m_bluetooth;
    std::unique_ptr<PatientRecord> m_patient;
    std::unique_ptr<ManeuverResult> m_predicted;
    std::unique_ptr<DiagnosisRecord> m_diagnosis;
    QString m_selectedTag;
};
