#pragma once
#include "app/page.h"

class CCurvePane;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

// The results page (template 210): the tests of the current patient, day and
// test type. The result tables and curves arrive with the reporting pages;
// this page already lists the day's tests and offers every command.
class CTAVADlg : public CPage {
    Q_OBJECT
  public:
    explicit CTAVADlg(CMainShellDlg* shell);

    void OnCancel() override;
    void ApplyTexts() override;

    // Reads the day's tests of the current type again.
    void Reload();
    int TestCount() const;

  private:
    void onDateChosen();
    void onTest(int testType);
    void onDelete();
    void onSingleLoop();
    void onDiagnose();
    void onPrint();
    void onToggleVolumeTime();

    QLabel* m_name = nullptr;           // 1163
    QComboBox* m_dates = nullptr;       // 1183
    QTableWidget* m_tests = nullptr;    // 1002
    CCurvePane* m_flowVolume = nullptr; // 1164
    CCurvePane* m_volumeTime = nullptr; // 1184
    QLabel* m_diagnosis = nullptr;
    QPushButton* m_exit = nullptr;             // 2
    QPushButton* m_print = nullptr;            // 1185
    QPushButton* m_delete = nullptr;           // 1187
    QPushButton* m_testButtons[3] = {};        // 1206, 1125, 1126
    QPushButton* m_singleLoop = nullptr;       // 1207
    QPushButton* m_diagnose = nullptr;         // 1117
    QPushButton* m_volumeTimeToggle = nullptr; // 1226
};
