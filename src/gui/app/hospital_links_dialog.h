#pragma once
// The hospital's servers (section HOSPITAL of System.ini): worklist, archive,
// HL7 receiver, our AE title, station, time limit, and "Test connection"
// (C-ECHO, a TCP connection to the HL7 receiver) run on a worker. Thin over
// core/hospital.
#include <QDialog>

class QLabel;
class QLineEdit;
class QSpinBox;

class HospitalLinksDialog : public QDialog {
    Q_OBJECT
  public:
    explicit HospitalLinksDialog(QWidget* parent = nullptr);

    void TestConnection();
    bool Save(); // false (and a message) when an address is malformed or the file cannot be written

  private:
    QLineEdit* m_worklist = nullptr;
    QLineEdit* m_station = nullptr;
    QLineEdit* m_pacs = nullptr;
    QLineEdit* m_hl7 = nullptr;
    QLineEdit* m_callingAe = nullptr;
    QSpinBox* m_timeout = nullptr;
    QLabel* m_result = nullptr;
};
