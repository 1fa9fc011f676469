#pragma once
#include <QDialog>

class Database;

class QDateTimeEdit;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
struct DiagnosisRecord;

// The diagnosis of one test day: physician and up to eight lines of text,
// usually composed from the phrase list. Saved to the day's file on OK.
class DiagnosisDialog : public QDialog {
    Q_OBJECT
  public:
    // `record` is the application's diagnosis of the day, updated on OK.
    DiagnosisDialog(Database& db, int patientId, const QString& day, DiagnosisRecord& record,
                 QWidget* parent = nullptr);

    // The diagnosis text with "\r\n" line breaks, as it is stored.
    QString ResultText() const;
    // Adds `text` as a line of its own to the text the physician edits; it is
    // kept only when the physician confirms with OK.
    void AppendLine(const QString& text);

  private:
    void onAdd();
    void onOk();
    void showStored();

    Database& m_db;
    int m_patientId;
    QString m_day;
    DiagnosisRecord& m_record;
    QLineEdit* m_physician = nullptr;
    QPlainTextEdit* m_result = nullptr;
    QDateTimeEdit* m_date = nullptr;
    QPushButton* m_ok = nullptr;
};
