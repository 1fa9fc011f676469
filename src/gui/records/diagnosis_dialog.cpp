#include "gui/records/diagnosis_dialog.h"

#include "core/app/lang_text.h"
#include "core/records/diagnosis.h"
#include "gui/app/show_message.h"
#include "gui/records/diagnosis_phrases_dialog.h"

#include <QDateTimeEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString reportText(int id)
{
    return GetLangText("REPORT", id);
}
// The edit shows "\n"; the file and the line-break rule count "\r\n".
QString toStored(QString text)
{
    return text.replace("\r\n", "\n").replace('\n', "\r\n");
}
QString toShown(QString text)
{
    return text.replace("\r\n", "\n");
}
} // namespace

DiagnosisDialog::DiagnosisDialog(Database& db, int patientId, const QString& day,
                           DiagnosisRecord& record, QWidget* parent)
    : QDialog(parent), m_db(db), m_patientId(patientId), m_day(day), m_record(record)
{
    setObjectName("DiagnosisDialog");
    setWindowTitle(reportText(184));
    resize(480, 380);
    m_physician = new QLineEdit(this);
    m_physician->setObjectName("physician");
    // The field counts characters; one outside the basic plane takes two units here.
    m_physician->setMaxLength(2 * kPhysicianLength);
    m_date = new QDateTimeEdit(QDateTime::currentDateTime(), this);
    m_date->setObjectName("date");
    m_date->hide();
    auto* frame = new QGroupBox(reportText(184), this);
    m_result = new QPlainTextEdit(frame);
    m_result->setObjectName("result");
    (new QVBoxLayout(frame))->addWidget(m_result);

    auto* add = new QPushButton(GetLangText("RPTSETTING", 1269), this);
    add->setObjectName("add");
    auto* ok = m_ok = new QPushButton(GetLangText("RPTSETTING", 132), this);
    ok->setObjectName("ok");
    auto* cancel = new QPushButton(GetLangText("RPTSETTING", 133), this);
    cancel->setObjectName("cancel");
    for (QPushButton* b : {add, ok, cancel})
        b->setAutoDefault(false);
    connect(add, &QPushButton::clicked, this, &DiagnosisDialog::onAdd);
    connect(ok, &QPushButton::clicked, this, &DiagnosisDialog::onOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(reportText(186), m_physician);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(frame, 1);
    layout->addLayout(buttons);

    showStored();
}

void DiagnosisDialog::showStored()
{
    QString error;
    // A stored diagnosis that cannot be read is kept: the dialog then saves nothing over it.
    const bool read = LoadDiagnosis(m_db, m_patientId, m_day, m_record, &error);
    m_ok->setEnabled(read);
    if (!read)
        ShowMessage(GetLangText("MESSAGE", 2931) + "\n" + error, ErrorCaption(), 0, this);
    m_physician->setText(m_record.Physician);
    m_result->setPlainText(toShown(m_record.Result));
}

QString DiagnosisDialog::ResultText() const
{
    return toStored(m_result->toPlainText());
}

void DiagnosisDialog::AppendLine(const QString& text)
{
    const QString shown = m_result->toPlainText();
    m_result->setPlainText(shown.isEmpty() || shown.endsWith('\n') ? shown + text : shown + '\n' + text);
}

void DiagnosisDialog::onAdd()
{
    DiagnosisPhrasesDialog phrases(this);
    if (phrases.exec() != QDialog::Accepted)
        return;
    QString text;
    if (!AppendDiagnosisPhrases(ResultText(), phrases.SelectedPhrases(), text)) {
        ShowMessage(GetLangText("DIAGNOSE_RESULT", 1334), ErrorCaption(), 0, this);
        return;
    }
    m_result->setPlainText(toShown(text));
}

void DiagnosisDialog::onOk()
{
    QString saveError;
    QStringList changes;
    // Text that does not fit its field keeps the dialog open with everything typed.
    switch (ConfirmDiagnosis(m_physician->text(), ResultText(), m_date->dateTime(), m_db,
                             m_patientId, m_day, m_record, &saveError, &changes)) {
    case DiagnosisSave::Saved:
        accept();
        return;
    case DiagnosisSave::ChangedMeanwhile: {
        // Another workstation saved this day's diagnosis since the dialog read it.
        const bool overwrite = ShowMessage(GetLangText("MESSAGE", 2930) + "\n" + changes.join('\n'),
                                           PromptCaption(), 4, this) == 6;
        const QString physician = m_physician->text();
        const QString result = m_result->toPlainText();
        showStored();
        if (overwrite && m_ok->isEnabled()) {
            m_physician->setText(physician);
            m_result->setPlainText(result);
            onOk(); // over the diagnosis now stored
        }
        return;
    }
    case DiagnosisSave::PhysicianTooLong:
        ShowMessage(GetLangText("DIAGNOSE_RESULT", 2205), ErrorCaption(), 0, this);
        m_physician->setFocus();
        return;
    case DiagnosisSave::ResultTooLong:
        ShowMessage(GetLangText("DIAGNOSE_RESULT", 2206), ErrorCaption(), 0, this);
        m_result->setFocus();
        return;
    case DiagnosisSave::TextRefused:
        ShowMessage(saveError, ErrorCaption(), 0, this);
        return;
    case DiagnosisSave::NotWritten:
        // The dialog stays open with the typed text, so nothing is lost.
        ShowMessage(GetLangText("DIAGNOSE_RESULT", 2103).arg(saveError), ErrorCaption(), 0, this);
        return;
    }
}
