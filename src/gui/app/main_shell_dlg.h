#pragma once
#include <QDialog>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

#include "core/accounts/actor.h"
#include "core/accounts/idle_lock.h"
#include "gui/app/page.h"
class Database;
struct DiagnosisRecord;
struct ManeuverResult;
struct PatientRecord;

// The Bluetooth connection the pages share; the device layer fills in how it
// is asked and closed (empty functions mean no connection exists).
struct SharedBluetoothLink {
    std::function<bool()> isOpen;
    std::function<void()> close;
};

// The main window: one maximised dialog that shows one page at a time and
// keeps the state the pages share.
class CMainShellDlg : public QDialog {
    Q_OBJECT
  public:
    enum PageTemplate { kResultsPage = 210, kLiveTestPage = 211, kMainPage = 222 };

    // `db` is the open database start-up built; it outlives the window.
    explicit CMainShellDlg(Database& db, QWidget* parent = nullptr);
    ~CMainShellDlg() override;

    // Shows page 210, 211 or 222 in place of the current one; returns 0 for any other value.
    int ShowPage(int templateId);
    CPage* CurrentPage() const { return m_page; }

    int CurrentPatientId() const { return m_patientId; }
    void SetCurrentPatientId(int id) { m_patientId = id; }
    QString CurrentTestDate() const { return m_testDate; }
    // A new day recomputes the predicted values for the patient's age on that day.
    void SetCurrentTestDate(const QString& day);
    int CurrentTestType() const { return m_testType; }
    void SetCurrentTestType(int type) { m_testType = type; }
    int SingleLoopDisplay() const { return m_singleLoop; }
    void SetSingleLoopDisplay(int on) { m_singleLoop = on; }

    // The database every page reads and writes.
    Database& Db() { return m_db; }
    // Who works at the window: the account logged in, or the system login while accounts are off.
    const Actor& User() const { return m_user; }
    // Also starts the idle lock for the user (the settings' minutes).
    void SetUser(const Actor& user);
    // Locks the window after idle time; tests shorten it.
    IdleLock& Lock() { return m_idleLock; }

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

    // Looks every text of the window and of the current page up again.
    void ApplyTexts();
    // Ends the main window (and with it the program).
    void EndShell();

    // The one main window, reached by the pages and dialogs (null before start-up).
    static CMainShellDlg* Instance() { return s_instance; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    bool handleKey(QWidget* target, QKeyEvent* key);
    CPage* createPage(int templateId);
    void refreshSharedRecords();
    // The modal log-in over the window until the user or an administrator
    // logs in; Cancel ends the program.
    void onIdleLocked();

    Database& m_db;
    Actor m_user = Actor::Unchecked();
    IdleLock m_idleLock;
    QPointer<CPage> m_page;
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

    static CMainShellDlg* s_instance;
};
