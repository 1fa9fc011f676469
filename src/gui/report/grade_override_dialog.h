#pragma once
#include "core/accounts/actor.h"

#include <QDialog>

class Database;
class QCheckBox;
class QComboBox;
class QLineEdit;

// A physician's override of one blow's verdict: acceptable or not, the
// phase's grade (or unchanged), and the reason, which is required. The core
// (OverrideGrade) checks the role and the signed day and writes the audit row.
class GradeOverrideDialog : public QDialog {
    Q_OBJECT
  public:
    GradeOverrideDialog(Database& db, const Actor& actor, int patientId, const QString& day,
                      int session, int maneuver, bool acceptable, QWidget* parent = nullptr);

  private:
    void onOk();

    Database& m_db;
    Actor m_actor;
    int m_patientId;
    QString m_day;
    int m_session;
    int m_maneuver;
    QCheckBox* m_acceptable = nullptr;
    QComboBox* m_grade = nullptr; // "unchanged", A..F
    QLineEdit* m_reason = nullptr;
};
