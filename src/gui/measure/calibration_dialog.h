#pragma once
// The calibration dialog (template 204): the operator picks the syringe
// ("2L" or "3L"), presses OK and pushes the syringe through the turbine; the
// device judges the strokes and adjusts its own coefficients. The dialog only
// shows the verdicts of CalibrationSession's worker.
#include "core/session/calibration_session.h"

#include <QDialog>

class DeviceManager;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

class CalibrationDialog : public QDialog {
    Q_OBJECT
  public:
    // Calibrates the device `devices` is linked to.
    explicit CalibrationDialog(DeviceManager& devices, QWidget* parent = nullptr);
    ~CalibrationDialog() override;

    CalibrationSession& Session() { return *m_session; }
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

    CalibrationSession* m_session; // outlives the window while its worker runs
    bool m_workerAlive = false;
    bool m_closing = false;
    QComboBox* m_volume = nullptr;  // 1158
    QLabel* m_scaler = nullptr;     // 1159
    QLabel* m_status = nullptr;     // prompt texts of verdicts 4, 7, 9 and Cancel
    QProgressBar* m_progress = nullptr;
    QPushButton* m_ok = nullptr;     // 1
    QPushButton* m_cancel = nullptr; // 2
};
