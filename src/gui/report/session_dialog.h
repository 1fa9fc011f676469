#pragma once
#include <QDialog>

class Database;
class QComboBox;
class QLabel;
class QLineEdit;

// One FVC session of the day afterwards: its phase (a relabelling is kept
// with who and when) and its bronchodilator and referrer details.
class SessionDialog : public QDialog {
    Q_OBJECT
  public:
    SessionDialog(Database& db, int patientId, const QString& day, int session, int phase,
                QWidget* parent = nullptr);

  private:
    void onOk();

    Database& m_db;
    int m_patientId;
    QString m_day;
    int m_session;
    int m_phase;
    QComboBox* m_phaseBox = nullptr;
    QLineEdit* m_drug = nullptr;
    QLineEdit* m_dose = nullptr;
    QLineEdit* m_doseTime = nullptr;
    QLineEdit* m_referrer = nullptr;
    QLabel* m_history = nullptr;
};
