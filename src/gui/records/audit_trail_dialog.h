#pragma once
// The audit trail for administrators: rows filtered by patient, user and
// day, whether the chain is whole, and the rows shown written as CSV.
#include <QDialog>

class Database;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QTableWidget;

class AuditTrailDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AuditTrailDialog(Database& db, QWidget* parent = nullptr);

    // Lists the rows the filters let through; says whether the chain is whole.
    void Refresh();
    // Writes the rows shown to `path`; false with a message shown when it cannot.
    bool ExportCsv(const QString& path);

  private:
    Database& m_db;
    QLineEdit* m_patient = nullptr;
    QLineEdit* m_user = nullptr;
    QCheckBox* m_useSince = nullptr;
    QDateEdit* m_since = nullptr;
    QLabel* m_chain = nullptr;
    QTableWidget* m_rows = nullptr;
};
