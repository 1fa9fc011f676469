#pragma once
// The calibration dialog (template 204): the operator picks the syringe
// ("2L" or "3L"), presses OK and pushes the syringe through the turbine.
// Calibrate: the device judges the strokes and adjusts its own coefficients;
// the dialog shows the verdicts of CalibrationSession's worker and the
// coefficient before and after. Check: a CalibrationCheck asks for a stroke
// at a low, a mid and a high flow and judges each. Both are logged.
#include "core/accounts/actor.h"
#include "core/records/calibration_log.h"
#include "core/session/calibration_session.h"

#include <QDialog>

#include <memory>

class CalibrationCheck;
class Database;
struct MeasurementParts;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

class CalibrationDialog : public QDialog {
    Q_OBJECT
  public:
    // Calibrates or checks the device `parts` link to; logs into `records`
    // (none: not logged) as `user`.
    CalibrationDialog(MeasurementParts& parts, Database* records, const Actor& user,
                      QWidget* parent = nullptr);
    ~CalibrationDialog() override;

    CalibrationSession& Session() { return *m_session; }
    // The check under way or last run; null before the first.
    CalibrationCheck* Check() { return m_check.get(); }
    bool CheckMode() const;
    // The volume code the list selection stands for (2 when nothing is selected).
    int SelectedVolumeCode() const;

  public Q_SLOTS:
    void accept() override; // OK: start
    void reject() override; // Cancel and the window's close

  Q_SIGNALS:
    void workerGone();

  private:
    void onVerdict(int code);
    void setBusy(bool busy);
    void startCheck();
    void checkEnded();
    void log(CalibrationLogEntry entry);

    MeasurementParts& m_parts;
    Database* m_records;
    Actor m_user;
    CalibrationSession* m_session; // outlives the window while its worker runs
    std::unique_ptr<CalibrationCheck> m_check;
    QComboBox* m_mode = nullptr;    // calibrate, check
    QLabel* m_result = nullptr;     // the coefficient before and after; a check's strokes
    bool m_workerAlive = false;
    bool m_closing = false;
    QComboBox* m_volume = nullptr;  // 1158
    QLabel* m_scaler = nullptr;     // 1159
    QLabel* m_status = nullptr;     // prompt texts of verdicts 4, 7, 9 and Cancel
    QProgressBar* m_progress = nullptr;
    QPushButton* m_ok = nullptr;     // 1
    QPushButton* m_cancel = nullptr; // 2
};
