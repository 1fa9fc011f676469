#pragma once
#include "core/accounts/roles.h"
#include "core/report/day_result.h"
#include "gui/app/page.h"

#include <memory>

class ClinicalSummaryView;
class CurvePlotWidget;
class ExportMenu;
class QHBoxLayout;
class QComboBox;
class QGroupBox;
class QLabel;
class QPropertyAnimation;
class QPushButton;
class QScrollArea;
class QTableWidget;

// The results page (template 210): the tests of the current patient, day and
// test type as the Best Value box, the results list with one "#n" column per
// test, the quality texts of the shown test and its curves.
class ResultsPage : public Page {
    Q_OBJECT
  public:
    explicit ResultsPage(Workbench* shell);
    // The day's results the page shows.
    const DayResult* Day() const { return m_day.get(); }

    void OnCancel() override;
    void ApplyTexts() override;

    // Reads the day's tests of the current type again.
    void Reload();
    int TestCount() const;
    // The test the panes show first and the quality texts describe (0-based, -1 none).
    int ShownTest() const { return m_shown; }
    void ShowTest(int index);
    bool IsVolumeTimeShown() const { return m_volumeTimeShown; }
    // FVC days: the day's values against the GLI set, and the suggestion.
    ClinicalSummaryView* SummaryView() const { return m_summary; }
    QString SuggestionShown() const;
    // "Take into diagnosis": the diagnosis dialog with the suggestion added
    // as a line; stored only when the physician confirms it.
    void OnTakeIntoDiagnosis();
    // "Session...": the shown blow's session relabelled pre/post or its
    // bronchodilator details changed; the page shows the day again after OK.
    void OnSession();
    // "Sign": the physician signs the shown day (shown once accounts are on).
    void OnSign();
    // The results list's "Override grade..." on FVC blow `index` (0-based):
    // the physician's dialog; the page shows the day again after OK.
    void OnOverrideGrade(int index);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void fillList();
    void sizeTestColumns();
    void fillBestBox();
    void fillQuality();
    void fillClinical();
    void updatePanes();
    void makePanes(int kind);
    void onDateChosen();
    void onTest(int testType);
    void onDelete();
    void onSingleLoop();
    void onDiagnose();
    void onPrint();
    void onToggleVolumeTime();
    void onCellClicked(int row, int column);
    void onListMenu(const QPoint& at);
    // Shows why the user may not do `action` on the shown day; true when they may.
    bool allowed(Action action);

    std::shared_ptr<const DayResult> m_day; // the day's results: every figure the page shows
    const DayTestList* m_dayTests = nullptr; // the day's tests of the current type, in m_day
    int m_shown = -1;
    int m_firstTestColumn = 0;
    bool m_volumeTimeShown = false;

    QLabel* m_name = nullptr;                // 1163
    QLabel* m_signature = nullptr;           // who signed the day, or the amendment open on it
    QComboBox* m_dates = nullptr;            // 1183
    QGroupBox* m_bestBox = nullptr;          // "Best Value"
    QLabel* m_bestNames[4] = {};             // FVC, FEV1, PEF, FEV1/FVC
    QLabel* m_bestValues[4] = {};            // 1173-1176, the first phase
    QLabel* m_bestPercents[4] = {};          // 1177-1180
    QLabel* m_postValues[4] = {};            // the same for the post phase of a bronchodilator day
    QLabel* m_postPercents[4] = {};
    QLabel* m_phaseTitles[2] = {};           // "Pre", "Post"
    QLabel* m_phaseNotes = nullptr;          // each phase's grades, or why its values are withheld; the "*" footnote
    QTableWidget* m_list = nullptr;          // 1002
    CurvePlotWidget* m_flowVolume = nullptr; // 1164
    CurvePlotWidget* m_volumeTime = nullptr; // 1184
    QHBoxLayout* m_panes = nullptr;
    QPropertyAnimation* m_slide = nullptr;
    QWidget* m_quality = nullptr;            // 1221, 1223, 1224, 1225, 1230
    QScrollArea* m_qualityArea = nullptr;     // holds m_quality
    QLabel* m_repeatabilityTitle = nullptr;  // 1221
    QLabel* m_repeatability = nullptr;       // 1224
    QLabel* m_acceptabilityTitle = nullptr;  // 1223
    QLabel* m_acceptability = nullptr;       // 1225
    QLabel* m_diagnosis = nullptr;           // 1230
    ClinicalSummaryView* m_summary = nullptr;
    QLabel* m_suggestion = nullptr;          // the interpretation and its rules, or why there is none
    QPushButton* m_takeOver = nullptr;       // "Take into diagnosis"
    QString m_suggestionText;                // the sentence taken over
    QPushButton* m_exit = nullptr;             // 2
    QPushButton* m_print = nullptr;            // 1185
    QPushButton* m_delete = nullptr;           // 1187
    QPushButton* m_testButtons[3] = {};        // 1206, 1125, 1126
    QPushButton* m_singleLoop = nullptr;       // 1207
    QPushButton* m_diagnose = nullptr;         // 1117
    QPushButton* m_session = nullptr;          // the shown blow's session
    QPushButton* m_sign = nullptr;             // the physician's sign-off of the day
    QPushButton* m_volumeTimeToggle = nullptr; // 1226
    QPushButton* m_export = nullptr;           // FHIR, CSV, GDT
    ExportMenu* m_exportMenu = nullptr;
};
