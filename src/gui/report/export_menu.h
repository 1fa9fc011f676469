#pragma once
// The results page's "Export" menu: the shown day as a FHIR bundle, every test
// as a CSV table, the day's results to the practice system as a GDT file.
// Thin over core/exchange: it asks for a file name and shows the outcome.
// "Send to hospital" builds the HL7 message and the DICOM instance here and
// sends them on a worker (core/hospital); what was not confirmed waits in the outbox.
#include <QMenu>

#include <functional>

class Database;

class ExportMenu : public QMenu {
    Q_OBJECT
  public:
    ExportMenu(Database& db, QWidget* parent, std::function<int()> patientId,
                  std::function<QString()> day);

    void ApplyTexts();
    void ExportFhir();
    void ExportCsv();
    void SendGdt();
    void SendToHospital();
    void ShowOutbox(); // the sends waiting for the hospital, tried again on request

    // The save dialog; tests answer it instead of a user ("" = cancelled).
    std::function<QString(const QString& suggested, const QString& filter)> askSaveName;

  private:
    Database& m_db;
    QString saveName(const QString& suggested, const QString& filter);
    void showOutcome(bool ok, int doneText, const QString& detail, const QString& error);

    std::function<int()> m_patientId;
    std::function<QString()> m_day;
    QAction* m_fhir = nullptr;
    QAction* m_csv = nullptr;
    QAction* m_gdt = nullptr;
    QAction* m_hospital = nullptr;
    QAction* m_outbox = nullptr;
};
