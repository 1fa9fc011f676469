#include "gui/report/grade_override_dialog.h"

#include "core/accounts/grade_review.h"
#include "core/app/lang_text.h"
#include "gui/app/show_message.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString clinical(int id)
{
    return GetLangText("CLINICAL", id);
}
} // namespace

GradeOverrideDialog::GradeOverrideDialog(Database& db, const Actor& actor, int patientId,
                                     const QString& day, int session, int maneuver,
                                     bool acceptable, QWidget* parent)
    : QDialog(parent), m_db(db), m_actor(actor), m_patientId(patientId), m_day(day),
      m_session(session), m_maneuver(maneuver)
{
    setObjectName("gradeOverrideDialog");
    setWindowTitle(clinical(2913));
    m_acceptable = new QCheckBox(clinical(2914), this);
    m_acceptable->setObjectName("acceptable");
    m_acceptable->setChecked(acceptable);
    m_grade = new QComboBox(this);
    m_grade->setObjectName("grade");
    m_grade->addItems({clinical(2917), "A", "B", "C", "D", "E", "F"});
    m_reason = new QLineEdit(this);
    m_reason->setObjectName("reason");
    auto* form = new QFormLayout;
    form->addRow(m_acceptable);
    form->addRow(clinical(2915), m_grade);
    form->addRow(clinical(2916), m_reason);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
    connect(buttons, &QDialogButtonBox::accepted, this, &GradeOverrideDialog::onOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void GradeOverrideDialog::onOk()
{
    if (m_reason->text().simplified().isEmpty()) {
        ShowMessage(clinical(2919), ErrorCaption(), 0, this);
        m_reason->setFocus();
        return;
    }
    BlowReview review;
    review.session = m_session;
    review.maneuver = m_maneuver;
    review.acceptable = m_acceptable->isChecked();
    if (m_grade->currentIndex() > 0)
        review.grade = m_grade->currentText().at(0).toLatin1();
    review.reason = m_reason->text();
    GradeOverride stored;
    QString error;
    if (!OverrideGrade(m_db, m_actor, m_patientId, m_day, review, stored, &error)) {
        ShowMessage(clinical(2918).arg(error), ErrorCaption(), 0, this);
        return;
    }
    accept();
}
