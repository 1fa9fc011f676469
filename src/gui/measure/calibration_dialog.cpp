#include "gui/measure/calibration_dialog.h"

#include "core/accounts/audit_log.h"
#include "core/app/lang_text.h"
#include "core/records/database.h"
#include "core/session/calibration_check.h"
#include "core/session/measurement_parts.h"
#include "gui/app/show_message.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

CalibrationDialog::CalibrationDialog(MeasurementParts& parts, Database* records, const Actor& user,
                                     QWidget* parent)
    : QDialog(parent), m_parts(parts), m_records(records), m_user(user),
      m_session(new CalibrationSession(parts.devices))
{
    setObjectName("CalibrationDialog");
    setWindowTitle(GetLangText("SCALERDLG", 1150));
    m_mode = new QComboBox(this);
    m_mode->setObjectName("mode");
    m_mode->addItems({GetLangText("MESSAGE", 3186), GetLangText("MESSAGE", 3185)});
    m_result = new QLabel(this);
    m_result->setObjectName("result");
    m_result->setWordWrap(true);
    m_scaler = new QLabel(GetLangText("SCALERDLG", 1151), this);
    m_volume = new QComboBox(this);
    m_volume->setObjectName("volume");
    m_volume->addItems({"2L", "3L"});
    // The volume the device will be told is in sight from the start (2 L when
    // nothing is picked), never an empty list that means 2 L silently.
    m_volume->setCurrentIndex(0);
    m_status = new QLabel(this);
    m_status->setObjectName("status");
    m_status->setMinimumWidth(260);
    m_status->setWordWrap(true); // a check's verdict is a sentence or two
    m_progress = new QProgressBar(this);
    m_progress->setObjectName("progress");
    m_progress->setRange(0, 0); // runs until a verdict comes
    m_progress->setTextVisible(false);
    m_progress->hide();
    m_ok = new QPushButton(GetLangText("SCALERDLG", 132), this);
    m_ok->setObjectName("ok");
    m_ok->setDefault(true);
    m_cancel = new QPushButton(GetLangText("SCALERDLG", 133), this);
    m_cancel->setObjectName("cancel");
    m_cancel->setAutoDefault(false);
    connect(m_ok, &QPushButton::clicked, this, &CalibrationDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CalibrationDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(m_scaler);
    row->addWidget(m_volume, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_mode);
    layout->addLayout(row);
    layout->addWidget(m_status);
    layout->addWidget(m_result);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);

    // Verdicts come in order; the worker never waits for this thread.
    connect(m_session, &CalibrationSession::verdict, this, &CalibrationDialog::onVerdict);
    connect(m_session, &CalibrationSession::workerEnded, this, [this] {
        m_workerAlive = false;
        CalibrationLogEntry entry;
        entry.calibration = true;
        entry.device = m_parts.devices.SimulatedDevice() ? QString("virtual") : QString();
        entry.syringeVolume = SelectedVolumeCode();
        entry.passed = m_session->Success() != 0;
        entry.factorBefore = m_session->FactorBefore();
        entry.factorAfter = m_session->FactorAfter();
        if (entry.passed)
            m_result->setText(GetLangText("MESSAGE", 3184)
                                  .arg(CalibrationSession::MeasuredVolume(entry.syringeVolume,
                                                                          entry.factorBefore,
                                                                          entry.factorAfter),
                                       0, 'f', 2)
                                  .arg(entry.factorBefore)
                                  .arg(entry.factorAfter));
        if (entry.factorBefore > 0) // the device answered: a calibration took place
            log(entry);
        Q_EMIT workerGone();
        // Cancel closes the window once the worker has let go of the link.
        if (m_closing)
            QDialog::reject();
    });
}

CalibrationDialog::~CalibrationDialog()
{
    // Closed another way while the worker runs: the session outlives the
    // window until its worker has let go (a read may take its time to end),
    // and the interface goes on meanwhile.
    m_session->disconnect(this);
    m_session->RequestEnd();
    QObject::connect(m_session, &CalibrationSession::workerEnded, m_session,
                     &QObject::deleteLater);
    if (!m_session->WorkerRunning())
        delete m_session; // already gone: only returning, joined at once
}

bool CalibrationDialog::CheckMode() const
{
    return m_mode->currentIndex() == 1;
}

void CalibrationDialog::log(CalibrationLogEntry entry)
{
    if (!m_records)
        return;
    entry.at = QDateTime::currentDateTime();
    if (m_user.accountsOn)
        entry.operatorName = m_user.name;
    if (!AppendCalibrationLog(*m_records, entry)) {
        ShowMessage(m_records->LastError(), ErrorCaption(), 0, this);
        return;
    }
    AuditLog(*m_records).Append(m_user, entry.calibration ? "calibrate" : "calibration check", 0,
                                QString("syringe %1 L").arg(entry.syringeVolume), QString(),
                                entry.passed ? "passed" : "failed");
}

void CalibrationDialog::startCheck()
{
    m_check.reset(); // the last check lets go of the virtual operator's strokes first
    m_check = std::make_unique<CalibrationCheck>(
        m_parts, SelectedVolumeCode(),
        std::vector<FlowBand>{FlowBand::Low, FlowBand::Mid, FlowBand::High});
    connect(m_check.get(), &CalibrationCheck::asked, m_status, &QLabel::setText);
    connect(m_check.get(), &CalibrationCheck::ended, this, &CalibrationDialog::checkEnded);
    // Strokes are judged as they close: the prompt asks for the next band.
    auto* follow = new QTimer(m_check.get());
    connect(follow, &QTimer::timeout, m_check.get(), &CalibrationCheck::Follow);
    follow->start(200);
    m_status->setText(m_check->Prompt());
    m_result->clear();
    if (m_check->StartInBackground())
        setBusy(true);
}

void CalibrationDialog::checkEnded()
{
    setBusy(false);
    const SyringeCheck& check = m_check->Check();
    QStringList lines;
    for (const SyringeStroke& s : check.Strokes())
        lines << GetLangText("MESSAGE", 3174)
                     .arg(GetLangText("MESSAGE", 3187 + int(s.band)))
                     .arg(s.volume, 0, 'f', 3)
                     .arg(s.error, 0, 'f', 1);
    m_result->setText(lines.join('\n'));
    if (m_closing) {
        QDialog::reject();
        return;
    }
    if (check.Strokes().empty() && !check.Done()) {
        ShowMessage(GetLangText("MESSAGE", m_check->DeviceName().isEmpty() ? 138 : 3182),
                    ErrorCaption(), 0, this);
        return;
    }
    CalibrationLogEntry entry;
    entry.device = m_check->DeviceName();
    entry.syringeVolume = check.SyringeVolume();
    entry.strokes = check.Strokes();
    entry.passed = check.Passed();
    log(entry);
    const int text = !check.Done() ? 3182 : check.Passed() ? 3175 : 3176;
    m_status->setText(GetLangText("MESSAGE", text));
    ShowMessage(GetLangText("MESSAGE", text), check.Passed() ? PromptCaption() : ErrorCaption(), 0,
                this);
}

int CalibrationDialog::SelectedVolumeCode() const
{
    return CalibrationSession::VolumeCode(m_volume->currentIndex());
}

void CalibrationDialog::setBusy(bool busy)
{
    m_progress->setVisible(busy);
    m_ok->setEnabled(!busy && !m_closing);
    m_volume->setEnabled(!busy && !m_closing);
    m_mode->setEnabled(!busy && !m_closing);
}

void CalibrationDialog::accept()
{
    if (m_closing || (m_check && m_check->Running()))
        return;
    if (CheckMode()) {
        startCheck();
        return;
    }
    m_result->clear();
    // The link is opened on the worker; kNoDevice says when nothing answered.
    if (!m_session->StartInBackground(SelectedVolumeCode()))
        return;
    setBusy(true);
    m_workerAlive = true; // until its workerEnded arrives
}

void CalibrationDialog::onVerdict(int code)
{
    // A verdict also ends the status line, so it never says "continue" afterwards.
    auto box = [this](int key, const QString& caption) {
        setBusy(false);
        m_status->setText(GetLangText("MESSAGE", key));
        ShowMessage(GetLangText("MESSAGE", key), caption, 0, this);
    };
    switch (code) {
    case CalibrationSession::kChooseVolume:
        box(1152, PromptCaption());
        break;
    case CalibrationSession::kTimeOut:
        box(1240, ErrorCaption());
        break;
    case CalibrationSession::kWrongSyringe:
        box(1156, PromptCaption());
        break;
    case CalibrationSession::kReplaceBlade:
        box(1154, PromptCaption());
        break;
    case CalibrationSession::kRepeat:
        setBusy(false);
        m_status->setText(GetLangText("MESSAGE", 1179));
        break;
    case CalibrationSession::kSuccess:
        box(1157, PromptCaption());
        break;
    case CalibrationSession::kTesting:
        setBusy(true);
        m_status->setText(GetLangText("MESSAGE", 1153));
        break;
    case CalibrationSession::kFailure:
        box(1264, ErrorCaption());
        break;
    case CalibrationSession::kWaiting:
        setBusy(true);
        m_status->setText(GetLangText("MESSAGE", 1333));
        break;
    case CalibrationSession::kNoDevice:
        setBusy(false);
        ShowMessage(GetLangText("MESSAGE", 138), ErrorCaption(), 0, this);
        break;
    case CalibrationSession::kClose:
        // The device ended the calibration itself; the worker closes the link and leaves.
        if (!m_closing)
            QDialog::accept();
        break;
    default: // kRepeatStart: nothing to show
        break;
    }
}

void CalibrationDialog::reject()
{
    if (m_closing)
        return;
    m_closing = true;
    m_status->setText(GetLangText("MESSAGE", 1180));
    m_ok->setEnabled(false);
    m_volume->setEnabled(false);
    m_mode->setEnabled(false);
    m_cancel->setEnabled(false);
    if (m_check && m_check->Running()) {
        m_check->Stop(); // its end closes the window
        return;
    }
    if (!m_workerAlive) {
        QDialog::reject();
        return;
    }
    // The worker ends the calibration on the device and closes the link; its
    // workerEnded closes the window.
    m_session->RequestEnd();
}
