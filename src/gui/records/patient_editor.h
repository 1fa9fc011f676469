#pragma once
#include <QDialog>

class Workbench;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QSpinBox;
struct PatientInput;

// The patient editor: registers a new patient, edits the current one or
// deletes it. Opens in new-patient mode when no patient row is selected.
class PatientEditor : public QDialog {
    Q_OBJECT
  public:
    enum Outcome { kNothing, kCreated, kSaved, kDeleted };

    PatientEditor(Workbench* shell, QWidget* parent = nullptr);

    bool IsNewPatientMode() const { return m_newMode; }
    // What the dialog did before it closed.
    Outcome Outcome() const { return m_outcome; }
    int PatientId() const { return m_patientId; }

  private:
    void buildControls();
    void show(const PatientInput& input);
    PatientInput input() const;
    void startNewPatient();
    void onSave();
    void onDelete();
    void onAgeChanged(int age);
    // The age arrows stop at the ages the chosen reference set covers.
    void ageBoundsForSet(int standard);
    void onBirthdateChanged();
    // Shows the message of the first broken rule and focuses its field; false when one is broken.
    bool passes(const struct PatientInputCheck& check);

    Workbench* m_shell;
    bool m_newMode = false;
    bool m_coupling = false; // set while age and birth date update each other
    enum Outcome m_outcome = kNothing;
    int m_patientId = 0;
    QString m_suggestedNumber; // the number new-patient mode offered
    QString m_password;
    int m_passwordFlag = 1;

    QLineEdit* m_name = nullptr;
    QLineEdit* m_number = nullptr;
    QComboBox* m_gender = nullptr;
    QSpinBox* m_age = nullptr;
    QDateEdit* m_birthdate = nullptr;
    QSpinBox* m_height = nullptr;
    QSpinBox* m_weight = nullptr;
    QComboBox* m_nation = nullptr;
    QComboBox* m_standard = nullptr;
    QComboBox* m_ethnic = nullptr; // GLI-2012 ethnic group, asked only for that set
    QPushButton* m_save = nullptr;
    QPushButton* m_register = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_cancel = nullptr;
};
