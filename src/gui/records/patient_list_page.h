#pragma once
#include "core/accounts/roles.h"
#include "gui/app/page.h"

#include <QString>

class CurvePane;
class PatientListModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTableWidget;

// The patient list page (template 222), the main window's home page: the
// patients, the test days of the selected one, the three curve panes of the
// day and the command buttons.
class PatientListPage : public Page {
    Q_OBJECT
  public:
    enum DeleteSource { kPatientList, kDayList };

    explicit PatientListPage(Workbench* shell);

    void OnCancel() override;
    void ApplyTexts() override;

    // Reads every patient again; the current patient's row stays selected.
    void FillPatients();
    // Patients and days again from the database, keeping the selection (what
    // other workstations added shows up).
    void RefreshFromDatabase();
    // Shows a patient added or changed by the editor without reading the whole list.
    void RefreshPatientRow(int id);
    // The one-item menu of either list asks for this.
    void RequestDelete(DeleteSource source);
    // "Audit trail" (administrators, once accounts are on): the viewer.
    void OnAudit();

    // The day list of the selected patient, newest first (tests read it).
    QStringList Days() const;
    int SelectedPatientId() const;
    QString SelectedDay() const;

  private:
    void buildControls();
    // Selects the current patient's row again after the list was read, sorted or searched.
    void reselectCurrent();
    // Says so when no reference equation covers the current patient.
    void showPredictedNote();
    void selectPatient();
    void fillDays(int id);
    void selectDay();
    void loadDayTests();
    void clearPatient();
    void showContextMenu(DeleteSource source, const QPoint& globalPos);
    void showNewPatient(int id); // reloaded, selected and in sight
    void onWorklist();

    void onPatientEditor();
    void onDeleteDay();
    void onTest(int testType);
    void onPrint();
    void onSettings();
    void onScale();
    void onTrend();
    void onQuit();
    void onPredicted();
    bool allowed(Action action);
    void onResults();
    void onPaneClicked(int testType);

    PatientListModel* m_model = nullptr;
    QLineEdit* m_search = nullptr;
    QLabel* m_predictedNote = nullptr;
    QTableView* m_patients = nullptr;   // 1194
    QTableWidget* m_days = nullptr;     // 1195
    CurvePane* m_panes[3] = {};        // 1202 FVC, 1204 VC, 1203 MVV
    QPushButton* m_user = nullptr;      // 1117
    QPushButton* m_deleteDay = nullptr; // 1118
    QPushButton* m_trend = nullptr;     // 1120
    QPushButton* m_settings = nullptr;  // 1123
    QPushButton* m_scale = nullptr;     // 1121
    QPushButton* m_tests[3] = {};       // 1122 FVC, 1125 VC, 1126 MVV
    QPushButton* m_print = nullptr;     // 1129
    QPushButton* m_quit = nullptr;      // 2
    QPushButton* m_predicted = nullptr; // 1127, hidden
    QPushButton* m_results = nullptr;   // 1119, hidden
    QPushButton* m_audit = nullptr;     // the audit trail, for administrators once accounts are on
};
