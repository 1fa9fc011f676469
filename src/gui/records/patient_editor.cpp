#include "gui/records/patient_editor.h"

#include "core/accounts/audit_log.h"
#include "core/app/ini_file.h"
#include "core/app/system_settings.h"
#include "core/clinical/gli_patient.h"

#include "core/app/app_paths.h"
#include "core/app/lang_text.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/nation_groups.h"
#include "core/records/patient_editor_rules.h"
#include "core/records/patient_numbers.h"
#include "core/records/patient_record.h"
#include "gui/app/workbench.h"
#include "gui/app/show_message.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {
// Typing may leave the range (the save then names the bounds); the arrows stop at them.
class BoundedSpinBox : public QSpinBox {
  public:
    BoundedSpinBox(int low, int high, QWidget* parent) : QSpinBox(parent), m_low(low), m_high(high)
    {
        setRange(0, 999);
    }
    void stepBy(int steps) override { setValue(qBound(m_low, value() + steps, m_high)); }
    void setBounds(int low, int high)
    {
        m_low = low;
        m_high = high;
    }

  private:
    int m_low;
    int m_high;
};

QString userText(int id)
{
    return GetLangText("USER MANAGE", id);
}
QString caseText(int id)
{
    return GetLangText("CASE", id);
}
} // namespace

PatientEditor::PatientEditor(Workbench* shell, QWidget* parent)
    : QDialog(parent), m_shell(shell)
{
    setObjectName("PatientEditor");
    setWindowTitle(userText(103));
    buildControls();
    if (m_shell->SelectedPatientTag().isEmpty()) {
        startNewPatient();
    } else {
        m_patientId = m_shell->CurrentPatientId();
        const PatientInput current = InputFromPatient(m_shell->Db(), m_shell->Patient());
        m_password = current.Password;
        m_passwordFlag = current.PasswordFlag;
        // A number stored longer than new ones may be is still shown whole.
        m_number->setMaxLength(std::max<int>(kPatientNumberLength, current.NumberText.size()));
        show(current);
    }
}

void PatientEditor::buildControls()
{
    m_name = new QLineEdit(this);
    m_name->setObjectName("name");
    // TextRule counts characters; one outside the basic plane takes two units here.
    m_name->setMaxLength(2 * PatientRecord::kNameLength);
    m_number = new QLineEdit(this);
    m_number->setObjectName("number");
    m_number->setMaxLength(kPatientNumberLength);
    m_gender = new QComboBox(this);
    m_gender->setObjectName("gender");
    m_gender->addItems({caseText(122), caseText(123)});
    m_age = new BoundedSpinBox(kMinAge, kMaxAge, this); // the set's range: ageBoundsForSet
    m_age->setObjectName("age");
    m_birthdate = new QDateEdit(this);
    m_birthdate->setObjectName("birthdate");
    m_birthdate->setDisplayFormat("yyyy-MM-dd");
    m_birthdate->setCalendarPopup(true);
    m_birthdate->setMinimumDate(QDate(1800, 1, 1));
    m_birthdate->setMaximumDate(QDate::currentDate()); // nobody is born tomorrow
    m_height = new BoundedSpinBox(kMinHeight, kMaxHeight, this);
    m_height->setObjectName("height");
    m_height->setSuffix(" " + caseText(113));
    m_weight = new BoundedSpinBox(kMinWeight, kMaxWeight, this);
    m_weight->setObjectName("weight");
    m_weight->setSuffix(" " + caseText(114));
    m_nation = new QComboBox(this);
    m_nation->setObjectName("nation");
    for (const NationGroup& group : LoadNationGroups(m_shell->Db()))
        m_nation->addItem(group.Name, group.ID);
    m_standard = new QComboBox(this);
    m_standard->setObjectName("standard");
    m_standard->addItems({"ERS", "Knudson", "USA", GetLangText("CLINICAL", 2560), GetLangText("CLINICAL", 2561)});
    m_ethnic = new QComboBox(this);
    m_ethnic->setObjectName("ethnic");
    m_ethnic->addItem("-", 0);
    for (int group = 1; group <= 5; ++group)
        m_ethnic->addItem(GetLangText("CLINICAL", 2563 + group), group);

    auto* form = new QFormLayout;
    form->addRow(caseText(105), m_name);
    form->addRow(caseText(104), m_number);
    form->addRow(caseText(106), m_gender);
    form->addRow(caseText(107), m_age);
    form->addRow(userText(1149), m_birthdate);
    form->addRow(caseText(108), m_height);
    form->addRow(caseText(109), m_weight);
    form->addRow(caseText(110), m_nation);
    form->addRow(GetLangText("OTHERDLG", 1160), m_standard);
    form->addRow(GetLangText("CLINICAL", 2563), m_ethnic);

    m_save = new QPushButton(userText(120), this);
    m_save->setObjectName("save");
    m_register = new QPushButton(userText(177), this);
    m_register->setObjectName("register");
    m_delete = new QPushButton(userText(178), this);
    m_delete->setObjectName("delete");
    m_cancel = new QPushButton(userText(133), this);
    m_cancel->setObjectName("cancel");
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_save, m_register, m_delete, m_cancel}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(m_save, &QPushButton::clicked, this, &PatientEditor::onSave);
    connect(m_register, &QPushButton::clicked, this, &PatientEditor::startNewPatient);
    connect(m_delete, &QPushButton::clicked, this, &PatientEditor::onDelete);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_age, &QSpinBox::valueChanged, this, &PatientEditor::onAgeChanged);
    connect(m_birthdate, &QDateEdit::dateChanged, this, &PatientEditor::onBirthdateChanged);
    connect(m_standard, &QComboBox::currentIndexChanged, this, [this](int standard) {
        m_ethnic->setEnabled(standard == kStandardGli2012);
        ageBoundsForSet(standard);
    });
    // A nation group that stands for one GLI-2012 group fills it in while none is chosen.
    connect(m_nation, &QComboBox::currentIndexChanged, this, [this] {
        const int group = EthnicGroupOfNation(m_nation->currentText());
        if (m_ethnic->currentData().toInt() == 0 && group > 0)
            m_ethnic->setCurrentIndex(m_ethnic->findData(group));
    });
}

void PatientEditor::show(const PatientInput& in)
{
    m_coupling = true;
    m_name->setText(in.Name);
    m_number->setText(in.NumberText);
    m_gender->setCurrentIndex(qBound(0, in.Gender, 1));
    m_age->setValue(in.Age);
    m_birthdate->setDate(in.Birthdate);
    m_height->setValue(in.Height);
    m_weight->setValue(in.Weight);
    const int nation = m_nation->findData(in.Nation);
    m_nation->setCurrentIndex(nation >= 0 ? nation : qMin(9, m_nation->count() - 1));
    m_standard->setCurrentIndex(qBound(0, in.Standard, kStandardCount - 1));
    m_ethnic->setCurrentIndex(qMax(0, m_ethnic->findData(in.Ethnic)));
    if (in.Ethnic == 0 && EthnicGroupOfNation(m_nation->currentText()) > 0)
        m_ethnic->setCurrentIndex(m_ethnic->findData(EthnicGroupOfNation(m_nation->currentText())));
    m_ethnic->setEnabled(in.Standard == kStandardGli2012);
    ageBoundsForSet(m_standard->currentIndex());
    m_coupling = false;
}

void PatientEditor::ageBoundsForSet(int standard)
{
    const AgeRange range = ReferenceSetAges(standard);
    static_cast<BoundedSpinBox*>(m_age)->setBounds(range.low, range.high);
    m_age->setToolTip(QString("%1: %2-%3").arg(ReferenceSetLabel(standard)).arg(range.low).arg(range.high));
}

PatientInput PatientEditor::input() const
{
    PatientInput in;
    in.Name = m_name->text();
    in.NumberText = m_number->text().trimmed();
    in.Gender = m_gender->currentIndex();
    in.Age = m_age->value();
    in.Birthdate = m_birthdate->date();
    in.Height = m_height->value();
    in.Weight = m_weight->value();
    in.Nation = m_nation->currentData().toInt();
    in.Standard = qMax(0, m_standard->currentIndex());
    in.Ethnic = m_ethnic->currentData().toInt();
    in.Password = m_password;
    in.PasswordFlag = m_passwordFlag;
    return in;
}

void PatientEditor::startNewPatient()
{
    m_newMode = true;
    m_register->setEnabled(false);
    m_delete->setEnabled(false);
    m_password.clear();
    m_passwordFlag = 1;
    // STANDARD names the reference set new patients get; GLI Global 2022 unless set.
    const int standard = IniFile::ReadInt(AppPaths::SettingsFile(), kSettingsSection, "STANDARD",
                                          kStandardGliGlobal2022);
    const PatientInput defaults =
        NewPatientDefaults(m_shell->Db(), QDate::currentDate(), standard);
    m_suggestedNumber = defaults.NumberText;
    m_number->setMaxLength(kPatientNumberLength);
    show(defaults);
    m_name->setFocus();
}

void PatientEditor::onAgeChanged(int age)
{
    if (m_coupling || !ReferenceSetAges(m_standard->currentIndex()).Contains(age))
        return;
    m_coupling = true;
    m_birthdate->setDate(BirthdateForAge(age, m_birthdate->date()));
    m_coupling = false;
}

void PatientEditor::onBirthdateChanged()
{
    if (m_coupling)
        return;
    m_coupling = true;
    m_age->setValue(AgeForBirthdate(m_birthdate->date()));
    m_coupling = false;
}

bool PatientEditor::passes(const PatientInputCheck& check)
{
    if (check.Ok())
        return true;
    ShowMessage(PatientCheckText(check), ErrorCaption(), 0, this);
    QWidget* field = nullptr;
    QSpinBox* range = nullptr;
    switch (check.Field) {
    case PatientField::Name:
        field = m_name;
        break;
    case PatientField::Number:
        field = m_number;
        break;
    case PatientField::Age:
        field = range = m_age;
        break;
    case PatientField::Birthdate:
        field = m_birthdate;
        break;
    case PatientField::Height:
        field = range = m_height;
        break;
    case PatientField::Weight:
        field = range = m_weight;
        break;
    case PatientField::Ethnic:
        field = m_ethnic;
        break;
    case PatientField::None:
        break;
    }
    // In new-patient mode the field takes the nearer bound; in edit mode it keeps what was typed.
    if (range && m_newMode)
        range->setValue(check.Bound);
    if (field)
        field->setFocus();
    return false;
}

void PatientEditor::onSave()
{
    Database& db = m_shell->Db();
    const QString refusal =
        m_shell->User().Refusal(m_newMode ? Action::RegisterPatient : Action::EditPatient);
    if (!refusal.isEmpty()) {
        ShowMessage(refusal, ErrorCaption(), 0, this);
        return;
    }
    PatientInput in = input();
    if (m_newMode) {
        if (!passes(CheckNewPatient(db, in)))
            return;
        PatientRecord record;
        ApplyInput(in, record);
        // The suggested number follows the key the patient gets; a number typed is kept.
        const QString chosen = in.NumberText == m_suggestedNumber ? QString() : in.NumberText;
        const int id = CreatePatient(db, record, chosen);
        if (id <= 0) {
            // Another program may have taken the number since the check.
            if (!chosen.isEmpty() && PatientNumberTaken(db, chosen, 0))
                passes({PatientField::Number, 1245, 0});
            else
                ShowMessage(db.LastError(), ErrorCaption(), 0, this);
            return;
        }
        m_patientId = id;
        AuditLog(db).Append(m_shell->User(), "patient-create", id,
                            "patient " + record.PatientNumber, QString(), record.Name);
        AppPaths::SetCaseFolder(AppPaths::PatientCaseFolder(id));
        m_shell->SetSelectedPatientTag(record.Name);
        m_shell->Patient() = record;
        m_outcome = kCreated;
        accept();
        return;
    }

    PatientRecord& patient = m_shell->Patient();
    if (!passes(CheckEditedPatient(db, in, m_patientId, patient.Birthdate)))
        return;
    if (!InputDiffers(in, patient)) {
        accept();
        return;
    }
    if (ShowMessage(GetLangText("MESSAGE", 167), PromptCaption(), 4, this) != 6) {
        accept();
        return;
    }
    PatientRecord changed = patient;
    ApplyInput(in, changed);
    // Saved only over the row this editor started from: an edit another
    // workstation saved meanwhile is shown, and the user chooses.
    QStringList changes;
    PatientSave outcome = SavePatientIfUnchanged(db, m_patientId, patient, changed, changes);
    if (outcome == PatientSave::ChangedMeanwhile) {
        PatientRecord stored;
        const bool overwrite =
            ShowMessage(GetLangText("MESSAGE", 2904) + "\n" + changes.join('\n'),
                        PromptCaption(), 4, this) == 6;
        if (!LoadPatient(db, m_patientId, stored)) {
            ShowMessage(db.LastError(), ErrorCaption(), 0, this);
            return;
        }
        if (!overwrite) {
            patient = stored; // the other workstation's edit stays and is shown
            m_shell->RecomputePredicted();
            reject();
            return;
        }
        // The entries of this editor over the stored row, whatever else it holds.
        changed = stored;
        ApplyInput(in, changed);
        outcome = SavePatientIfUnchanged(db, m_patientId, stored, changed, changes);
    }
    if (outcome != PatientSave::Saved) {
        const QString error = outcome == PatientSave::ChangedMeanwhile
                                  ? GetLangText("MESSAGE", 2904) + "\n" + changes.join('\n')
                                  : db.LastError();
        if (PatientNumberTaken(db, in.NumberText, m_patientId))
            passes({PatientField::Number, 1245, 0});
        else
            ShowMessage(error, ErrorCaption(), 0, this);
        return;
    }
    AuditLog(db).Append(m_shell->User(), "patient-edit", m_patientId,
                        "patient " + changed.PatientNumber, patient.Name, changed.Name);
    patient = changed;
    m_shell->SetSelectedPatientTag(patient.Name);
    m_shell->RecomputePredicted();
    m_outcome = kSaved;
    accept();
}

void PatientEditor::onDelete()
{
    const QString refusal = m_shell->User().Refusal(Action::Delete);
    if (!refusal.isEmpty()) {
        ShowMessage(refusal, ErrorCaption(), 0, this);
        return;
    }
    if (ShowMessage(GetLangText("MESSAGE", 168), PromptCaption(), 4, this) == 6 &&
        m_patientId > 0) {
        if (DeletePatient(m_shell->Db(), m_patientId))
            AuditLog(m_shell->Db())
                .Append(m_shell->User(), "patient-delete", m_patientId, "patient");
        m_outcome = kDeleted;
    }
    accept();
}
