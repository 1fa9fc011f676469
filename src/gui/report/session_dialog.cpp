#include "gui/report/session_dialog.h"

#include "core/app/lang_text.h"
#include "core/app/login_name.h"
#include "core/records/session_records.h"
#include "gui/app/show_message.h"

#include <QComboBox>
#include <QDate>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
QString clinical(int id)
{
    return GetLangText("CLINICAL", id);
}
} // namespace

SessionDialog::SessionDialog(Database& db, int patientId, const QString& day, int session, int phase,
                         QWidget* parent)
    : QDialog(parent), m_db(db), m_patientId(patientId), m_day(day), m_session(session), m_phase(phase)
{
    setObjectName("sessionDialog");
    setWindowTitle(clinical(2604));
    m_phaseBox = new QComboBox(this);
    m_phaseBox->setObjectName("phase");
    m_phaseBox->addItems({clinical(2550), clinical(2551)});
    m_phaseBox->setCurrentIndex(phase == kPhasePost ? 1 : 0);
    const SessionDetail detail = LoadSessionDetail(db, patientId, session);
    const auto edit = [this](const char* name, const QString& text, int limit) {
        auto* e = new QLineEdit(text, this);
        e->setObjectName(name);
        e->setMaxLength(limit);
        return e;
    };
    m_drug = edit("drug", detail.drug, kDrugLength);
    m_dose = edit("dose", detail.dose, kDoseLength);
    m_doseTime = edit("doseTime", detail.doseTime.isValid() ? detail.doseTime.toString("HH:mm") : QString(), 5);
    m_doseTime->setPlaceholderText("HH:MM");
    m_referrer = edit("referrer", detail.referrer, kReferrerLength);
    // Every earlier relabelling, so a change of phase is never silent.
    QStringList history;
    for (const PhaseChange& c : LoadPhaseChanges(db, patientId, session))
        history << clinical(2605).arg(c.at, c.by, clinical(c.oldPhase == kPhasePost ? 2551 : 2550),
                                      clinical(c.newPhase == kPhasePost ? 2551 : 2550));
    m_history = new QLabel(history.join('\n'), this);
    m_history->setObjectName("history");

    auto* form = new QFormLayout;
    form->addRow(clinical(2582), m_phaseBox);
    form->addRow(clinical(3102), m_drug);
    form->addRow(clinical(3103), m_dose);
    form->addRow(clinical(3104), m_doseTime);
    form->addRow(clinical(3105), m_referrer);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &SessionDialog::onOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_history);
    layout->addWidget(buttons);
}

void SessionDialog::onOk()
{
    SessionDetail detail;
    detail.drug = m_drug->text();
    detail.dose = m_dose->text();
    detail.referrer = m_referrer->text();
    if (!ParseDoseTime(m_doseTime->text(), QDate::fromString(m_day, "yyyy-MM-dd"), detail.doseTime)) {
        ShowMessage(clinical(2606), ErrorCaption(), 0, this);
        m_doseTime->setFocus();
        return;
    }
    QString error;
    const int phase = m_phaseBox->currentIndex() == 1 ? kPhasePost : kPhasePre;
    if (phase != m_phase) {
        const RelabelOutcome outcome =
            RelabelSession(m_db, m_patientId, m_day, m_session, phase, LoginName(), QDateTime::currentDateTime(), &error);
        if (outcome != RelabelOutcome::Changed && outcome != RelabelOutcome::Unchanged) {
            ShowMessage(clinical(2607).arg(error), ErrorCaption(), 0, this);
            return;
        }
    }
    if (!SaveSessionDetail(m_db, m_patientId, m_session, detail, &error)) {
        ShowMessage(clinical(2607).arg(error), ErrorCaption(), 0, this);
        return;
    }
    accept();
}
