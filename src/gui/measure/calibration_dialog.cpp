#include "gui/measure/calibration_dialog.h"


#include "core/app/lang_text.h"
#include "gui/app/show_message.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

CalibrationDialog::CalibrationDialog(DeviceManager& devices, QWidget* parent) : QDialog(parent), m_session(new CalibrationSession(devices))
{
    setObjectName("CalibrationDialog");
    setWindowTitle(GetLangText("SCALERDLG", 1150));
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
    layout->addLayout(row);
    layout->addWidget(m_status);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);

    // Verdicts come in order; the worker never waits for this thread.
    connect(m_session, &CalibrationSession::verdict, this, &CalibrationDialog::onVerdict);
    connect(m_session, &CalibrationSession::workerEnded, this, [this] {
        m_workerAlive = false;
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

int CalibrationDialog::SelectedVolumeCode() const
{
    return CalibrationSession::VolumeCode(m_volume->currentIndex());
}

void CalibrationDialog::setBusy(bool busy)
{
    m_progress->setVisible(busy);
    m_ok->setEnabled(!busy && !m_closing);
    m_volume->setEnabled(!busy && !m_closing);
}

void CalibrationDialog::accept()
{
    if (m_closing)
        return;
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
    m_cancel->setEnabled(false);
    if (!m_workerAlive) {
        QDialog::reject();
        return;
    }
    // The worker ends the calibration on the device and closes the link; its
    // workerEnded closes the window.
    m_session->RequestEnd();
}
