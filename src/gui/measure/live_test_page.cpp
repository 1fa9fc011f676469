#include "gui/measure/live_test_page.h"

#include "gui/measure/curve_plot_widget.h"
#include "gui/measure/incentive_widget.h"

#include "core/accounts/day_signoff.h"
#include "core/accounts/test_attribution.h"
#include "core/app/app_paths.h"
#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/device/device_manager.h"
#include "core/measure/curve_point_list.h"
#include "core/measure/measurement_store.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/session_records.h"
#include "core/session/live_grading.h"
#include "gui/app/workbench.h"
#include "gui/app/show_message.h"
#include "gui/device/device_hooks.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace {
const char* const kTestNames[] = {"FVC", "VC", "MVV"};
// How long closing waits for the receive worker to leave its read.
constexpr int kWorkerWaitMs = 5000;
// How often the page looks for a newly closed blow.
constexpr int kBlowPollMs = 200;

QLabel* mark(QWidget* parent, const char* name, const QColor& color, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumSize(48, 48);
    label->setStyleSheet(QString("QLabel { color: white; background: %1; border-radius: 24px;"
                                 " font-size: 28px; font-weight: bold; }")
                             .arg(color.name()));
    label->hide();
    return label;
}
} // namespace

LiveTestPage::LiveTestPage(Workbench* shell)
    : Page(shell, Workbench::kLiveTestPage),
      m_parts(LiveParts()), m_session(m_parts), m_deviceChange(m_session, m_parts.devices, m_watch),
      m_testType(qBound(0, shell->CurrentTestType(), 2))
{
    // Bold labels, `halves` half-sizes of the normal font.
    const auto boldLabel = [this](const char* name, int halves) {
        auto* label = new QLabel(this);
        label->setObjectName(name);
        QFont font = label->font();
        font.setPointSize(font.pointSize() * halves / 2);
        font.setBold(true);
        label->setFont(font);
        return label;
    };
    m_caption = boldLabel("testTitle", 3);
    m_patient = boldLabel("patientName", 3);
    m_cue = boldLabel("cue", 5);
    m_cue->setStyleSheet("QLabel { color: #1A5276; }");

    // FVC: flow-volume loop beside the volume-time curve; VC and MVV: one volume-time curve.
    const int mainKind = m_testType == kTestFvc  ? kCurveLiveFlowVolume
                         : m_testType == kTestVc ? kCurveLiveVcVolumeTime
                                                 : kCurveLiveMvvVolumeTime;
    m_mainPlot = new CurvePlotWidget(mainKind, this);
    m_mainPlot->setObjectName("mainPlot");
    m_mainPlot->SetPointList(&m_parts.points);
    if (m_testType == kTestFvc) {
        m_secondPlot = new CurvePlotWidget(kCurveLiveFvcVolumeTime, this);
        m_secondPlot->setObjectName("secondPlot");
        m_secondPlot->SetPointList(&m_parts.points);
        // The patient's predicted PEF and FVC are the targets on both plots.
        m_mainPlot->SetPredicted(&shell->Predicted());
        m_secondPlot->SetPredicted(&shell->Predicted());
        m_expiration = boldLabel("expirationTime", 3);
        m_endBar = new QProgressBar(this);
        m_endBar->setObjectName("endBar");
        m_endBar->setRange(0, 100);
        m_endBar->setTextVisible(false);
        m_endBar->setMaximumWidth(240);
        m_incentive = new IncentiveWidget(this);
        m_incentive->SetTargets(shell->Predicted().PEF, shell->Predicted().FVC);
        m_animate = new QCheckBox(this);
        m_animate->setObjectName("animation");
        m_animate->setChecked(shell->Patient().Age < kIncentiveAge);
        m_animationKind = new QComboBox(this);
        m_animationKind->setObjectName("animationKind");
        m_animationKind->addItems({QString(), QString()}); // candles, balloon: texts in ApplyTexts
        connect(m_animate, &QCheckBox::toggled, this, &LiveTestPage::showIncentive);
        connect(m_animationKind, &QComboBox::currentIndexChanged, this, &LiveTestPage::showIncentive);
        showIncentive();
    }

    m_prompt = new QLabel(this);
    m_prompt->setObjectName("prompt");
    QFont promptFont = m_prompt->font();
    promptFont.setPointSize(promptFont.pointSize() * 3 / 2);
    m_prompt->setFont(promptFont);
    m_blows = new QLabel(this);
    m_blows->setObjectName("blows");
    m_blows->setFont(promptFont);
    m_grade = new QLabel(this);
    m_grade->setObjectName("grade");
    m_grade->setWordWrap(true);
    if (m_testType == kTestFvc) {
        m_phaseLabel = new QLabel(this);
        m_phase = new QComboBox(this);
        m_phase->setObjectName("phase");
        m_phase->addItems({QString(), QString()}); // pre, post: texts in ApplyTexts
        // A day that has its pre session already goes on with the post one.
        m_phase->setCurrentIndex(DefaultPhaseForDay(shell->Db(), shell->CurrentPatientId(),
                                                    QDate::currentDate().toString("yyyy-MM-dd")));
        const auto edit = [this](const char* name, int limit, int width) {
            auto* line = new QLineEdit(this);
            line->setObjectName(name);
            line->setMaxLength(limit);
            line->setMaximumWidth(width);
            return line;
        };
        m_drugLabel = new QLabel(this);
        m_drug = edit("drug", kDrugLength, 160);
        m_doseLabel = new QLabel(this);
        m_dose = edit("dose", kDoseLength, 90);
        m_doseTimeLabel = new QLabel(this);
        m_doseTime = edit("doseTime", 5, 60);
        m_doseTime->setPlaceholderText("HH:MM");
        m_referrerLabel = new QLabel(this);
        m_referrer = edit("referrer", kReferrerLength, 180);
        connect(m_phase, &QComboBox::currentIndexChanged, this, &LiveTestPage::showPhaseDetails);
        showPhaseDetails();
    }
    m_busy = new QProgressBar(this);
    m_busy->setObjectName("saving");
    m_busy->setRange(0, 0); // runs until the save reports
    m_busy->setTextVisible(false);
    m_busy->setMaximumWidth(120);
    m_busy->hide();
    m_validMark = mark(this, "validMark", QColor(0x2E, 0x8B, 0x57), QString(QChar(0x2714)));
    m_invalidMark = mark(this, "invalidMark", QColor(0xC0, 0x30, 0x30), QString(QChar(0x2718)));

    m_testing = new QPushButton(this);
    m_testing->setObjectName("testing");
    m_testing->setAutoDefault(false);
    m_testing->setMinimumHeight(34);
    m_close = new QPushButton(this);
    m_close->setObjectName("close");
    m_close->setAutoDefault(false);
    m_close->setMinimumHeight(34);
    if (m_testType == kTestFvc) {
        m_endSession = new QPushButton(this);
        m_endSession->setObjectName("endSession");
        m_endSession->setAutoDefault(false);
        m_endSession->setMinimumHeight(34);
        connect(m_endSession, &QPushButton::clicked, this, [this] { m_session.Finish(); });
    }
    connect(m_testing, &QPushButton::clicked, this, &LiveTestPage::OnTesting);
    connect(m_close, &QPushButton::clicked, this, &LiveTestPage::OnCancel);

    auto* plots = new QHBoxLayout;
    plots->addWidget(m_mainPlot, 1);
    if (m_secondPlot)
        plots->addWidget(m_secondPlot, 1);
    if (m_incentive)
        plots->addWidget(m_incentive, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_prompt, 1);
    bottom->addWidget(m_busy);
    bottom->addWidget(m_validMark);
    bottom->addWidget(m_invalidMark);
    bottom->addSpacing(20);
    if (m_phase) {
        bottom->addWidget(m_phaseLabel);
        bottom->addWidget(m_phase);
    }
    if (m_animate) {
        bottom->addWidget(m_animate);
        bottom->addWidget(m_animationKind);
    }
    if (m_endSession)
        bottom->addWidget(m_endSession);
    bottom->addWidget(m_testing);
    bottom->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(m_caption);
    top->addStretch(1);
    top->addWidget(m_patient);
    layout->addLayout(top);
    auto* coaching = new QHBoxLayout;
    coaching->addWidget(m_cue, 1);
    if (m_expiration) {
        coaching->addWidget(m_expiration);
        coaching->addWidget(m_endBar);
    }
    layout->addLayout(coaching);
    layout->addLayout(plots, 1);
    layout->addWidget(m_blows);
    layout->addWidget(m_grade);
    if (m_phase) {
        // The session's details on their own line above the buttons.
        auto* details = new QHBoxLayout;
        for (QWidget* w : {static_cast<QWidget*>(m_referrerLabel), static_cast<QWidget*>(m_referrer),
                           static_cast<QWidget*>(m_drugLabel), static_cast<QWidget*>(m_drug),
                           static_cast<QWidget*>(m_doseLabel), static_cast<QWidget*>(m_dose),
                           static_cast<QWidget*>(m_doseTimeLabel), static_cast<QWidget*>(m_doseTime)})
            details->addWidget(w);
        details->addStretch(1);
        layout->addLayout(details);
    }
    layout->addLayout(bottom);
    ApplyTexts();

    connect(&m_session, &LiveTestSession::promptChanged, this, &LiveTestPage::setPrompt);
    // The start sequence and the save run on the session's worker and report here.
    connect(&m_session, &LiveTestSession::startDone, this, &LiveTestPage::afterStart);
    connect(&m_session, &LiveTestSession::deviceFinished, this,
            &LiveTestPage::onDeviceFinished);
    connect(&m_session, &LiveTestSession::endedEarly, this, &LiveTestPage::onEndedEarly);
    connect(&m_session, &LiveTestSession::saved, this, &LiveTestPage::onSaved);
    connect(&m_session, &LiveTestSession::tidalFound, this, [this] { showMarks(1); });
    // Pulses that could not be had again: the blow must be repeated.
    connect(&m_session, &LiveTestSession::dataLost, this,
            [this] { setPrompt(GetLangText("MESSAGE", 2000)); });
    connect(&m_session, &LiveTestSession::workerEnded, this, [this] {
        m_workerAlive = false;
        Q_EMIT workerGone();
    });
    m_deviceChange.SetTestType(m_testType);
    connect(&m_deviceChange, &DeviceChangeHandler::promptChanged, this,
            &LiveTestPage::setPrompt);
    connect(&m_deviceChange, &DeviceChangeHandler::connectionLost, this, [this] {
        stopPlots();
        ShowMessage(GetLangText("MESSAGE", 138), ErrorCaption(), 0, this);
    });

    // A page opened fresh starts from an empty store and list.
    m_parts.store.Clear();
    m_parts.points.Clear();
    m_watch.Start();
    QTimer::singleShot(kAutoStartMs, this, &LiveTestPage::startTest);
    // The cue follows the pulses at the plots' pace.
    m_coachTimer = new QTimer(this);
    m_coachTimer->setInterval(CurvePlotWidget::kLiveIntervalMs);
    connect(m_coachTimer, &QTimer::timeout, this, &LiveTestPage::coach);
    // Each FVC blow is counted and judged as soon as the device closes it.
    if (m_testType == kTestFvc) {
        auto* blows = new QTimer(this);
        blows->setInterval(kBlowPollMs);
        connect(blows, &QTimer::timeout, this, &LiveTestPage::showBlows);
        blows->start();
    }
}

LiveTestPage::~LiveTestPage()
{
    // Replaced or destroyed without Close: the same cleanup, the worker joined directly
    // (it reports through queued signals only, so it never waits for this thread).
    shutDown(false);
}

void LiveTestPage::ApplyTexts()
{
    m_caption->setText(GetLangText("MESSAGE", 147) + " " + kTestNames[m_testType]);
    m_patient->setText(GetLangText("MESSAGE", 3156).arg(Shell()->Patient().Name));
    m_cue->setText(m_coach ? CueText(m_coach->Current()) : QString());
    if (m_incentive) {
        m_animate->setText(GetLangText("MESSAGE", 3157));
        m_animationKind->setItemText(IncentiveWidget::kCandles, GetLangText("MESSAGE", 3160));
        m_animationKind->setItemText(IncentiveWidget::kBalloon, GetLangText("MESSAGE", 3161));
        m_incentive->SetCelebration(GetLangText("MESSAGE", 3158));
    }
    const QString testing = GetLangText("FVCTestingDlg", 1117);
    m_testing->setText(testing.isEmpty() ? QStringLiteral("Testing") : testing);
    m_close->setText(GetLangText("FVCTestingDlg", 1208));
    if (m_endSession)
        m_endSession->setText(GetLangText("CLINICAL", 2589));
    if (m_phase) {
        m_phaseLabel->setText(GetLangText("CLINICAL", 2582));
        m_phase->setItemText(kPhasePre, GetLangText("CLINICAL", 2550));
        m_phase->setItemText(kPhasePost, GetLangText("CLINICAL", 2551));
        m_drugLabel->setText(GetLangText("CLINICAL", 3102));
        m_doseLabel->setText(GetLangText("CLINICAL", 3103));
        m_doseTimeLabel->setText(GetLangText("CLINICAL", 3104));
        m_referrerLabel->setText(GetLangText("CLINICAL", 3105));
    }
}

void LiveTestPage::showPhaseDetails()
{
    // The bronchodilator belongs to a post session; the referrer to any.
    const bool post = m_phase->currentIndex() == kPhasePost;
    for (QWidget* w : {static_cast<QWidget*>(m_drugLabel), static_cast<QWidget*>(m_drug),
                       static_cast<QWidget*>(m_doseLabel), static_cast<QWidget*>(m_dose),
                       static_cast<QWidget*>(m_doseTimeLabel), static_cast<QWidget*>(m_doseTime)})
        w->setVisible(post);
}

SessionDetail LiveTestPage::sessionDetail() const
{
    SessionDetail detail;
    if (!m_phase)
        return detail;
    detail.referrer = m_referrer->text();
    if (m_phase->currentIndex() == kPhasePost) {
        detail.drug = m_drug->text();
        detail.dose = m_dose->text();
        // A time that is no HH:MM is left out rather than stored wrong.
        ParseDoseTime(m_doseTime->text(), QDate::currentDate(), detail.doseTime);
    }
    return detail;
}

QString LiveTestPage::GradeText() const
{
    return m_grade->text();
}

QString LiveTestPage::BlowText() const
{
    return m_blows->text();
}

void LiveTestPage::showBlows()
{
    const int count = m_parts.store.ManeuverCount();
    if (count == m_shownBlows)
        return;
    m_shownBlows = count;
    if (count <= 0) {
        m_blows->clear();
        m_grade->clear();
        return;
    }
    const ManeuverList blows = m_parts.store.Maneuvers();
    if (blows.empty())
        return;
    m_blows->setText(GetLangText("FVCTestingDlg", 2320).arg(blows.size()));
    const LiveGrading grading =
        GradeLiveSession(blows, m_parts.store.Statuses(), m_parts.store.Pulses(),
                         m_session.ExpCoefficient(), Shell()->Patient().Age);
    QStringList lines;
    if (!grading.verdict.isEmpty())
        lines << grading.verdict + (grading.reasons.isEmpty()
                                        ? QString()
                                        : " (" + grading.reasons.join("; ") + ")");
    lines << grading.repeatability << grading.moreBlows;
    if (!grading.grade.isEmpty())
        lines << grading.grade;
    m_grade->setText(lines.join('\n'));
}

QString LiveTestPage::CueShown() const
{
    return m_cue->text();
}

void LiveTestPage::coach()
{
    if (!m_coach)
        return;
    m_coach->Feed(m_parts.store.Pulses(m_coach->Fed()));
    if (m_parts.store.finished.load())
        m_coach->Finish();
    const int blows = int(m_coach->Blows().size());
    if (blows != m_coachedBlows && m_incentive)
        m_incentive->Reset();
    m_coachedBlows = blows;
    m_cue->setText(CueText(m_coach->Current()));
    if (m_testType != kTestFvc)
        return;
    m_expiration->setText(GetLangText("MESSAGE", 3148).arg(m_coach->ExpirationSeconds(), 0, 'f', 1));
    m_endBar->setValue(int(m_coach->EndProgress() * 100));
    m_incentive->Show(m_coach->Flow(), m_coach->Volume(), m_coach->EndReached());
}

void LiveTestPage::showIncentive()
{
    m_incentive->SetKind(m_animationKind->currentIndex());
    m_incentive->setVisible(m_animate->isChecked());
}

QString LiveTestPage::Prompt() const
{
    return m_prompt->text();
}

void LiveTestPage::setPrompt(const QString& text)
{
    m_prompt->setText(text);
}

void LiveTestPage::OnTesting()
{
    if (m_closed || m_session.Running())
        return;
    startTest();
}

void LiveTestPage::startTest()
{
    if (m_closed || m_session.Running())
        return;
    // The role and a signature on today are checked before anyone blows.
    const QString refusal =
        DaySignOff(Shell()->Db())
            .Refusal(Shell()->User(), Action::RunTest, Shell()->CurrentPatientId(),
                     QDate::currentDate().toString("yyyy-MM-dd"));
    if (!refusal.isEmpty()) {
        ShowMessage(refusal, ErrorCaption(), 0, this);
        return;
    }
    m_mainPlot->Clear();
    if (m_secondPlot)
        m_secondPlot->Clear();
    showMarks(-1);
    if (m_session.StartInBackground(m_testType))
        m_workerAlive = true; // until its workerEnded
}

void LiveTestPage::afterStart(int result)
{
    if (m_closed)
        return;
    if (result == LiveTestSession::kStarted) {
        m_coach = std::make_unique<BlowCoach>(m_testType, m_session.ExpCoefficient());
        m_coachedBlows = 0;
        m_cue->setText(CueText(m_coach->Current()));
        m_coachTimer->start();
        m_mainPlot->StartLive();
        if (m_secondPlot)
            m_secondPlot->StartLive();
        return;
    }
    if (result == LiveTestSession::kNoDevice)
        ShowMessage(GetLangText("MESSAGE", 138), ErrorCaption(), 0, this);
}

void LiveTestPage::stopPlots()
{
    // The last blow's cues and verdict stay in view.
    m_coachTimer->stop();
    if (m_coach) {
        m_coach->Finish();
        coach();
    }
    if (m_testType == kTestFvc && !m_closed)
        showBlows();
    m_mainPlot->StopLive();
    if (m_secondPlot)
        m_secondPlot->StopLive();
}

void LiveTestPage::showMarks(int valid)
{
    m_validMark->setVisible(valid == 1);
    m_invalidMark->setVisible(valid == 0);
}

void LiveTestPage::onDeviceFinished(int request)
{
    stopPlots();
    // A test finishing while the page closes is not saved: closing means "discard".
    if (m_closed)
        return;
    saveTest(request);
}

void LiveTestPage::saveTest(int request)
{
    SaveContext context;
    context.patientId = Shell()->CurrentPatientId();
    context.caseFolder = AppPaths::PatientCaseFolder(context.patientId);
    context.heightCm = Shell()->Patient().Height;
    context.gender = Shell()->Patient().Gender;
    context.phase = m_phase ? m_phase->currentIndex() : kPhasePre;
    context.basis = PatientTestBasis(Shell()->Patient());
    const QString day = QDate::currentDate().toString("yyyy-MM-dd");
    const int patientId = context.patientId;
    const Actor user = Shell()->User();
    const SessionDetail detail = sessionDetail();
    // The rows and the details are written on the saving worker's own connection.
    auto rows = [user, patientId, day](Database& db, SaveContext& c) {
        c.sessionRows = SessionAttribution(db, user, patientId, day);
    };
    auto after = [detail, patientId](Database& db, const SaveResult& result) {
        QString error;
        if (result.outcome == SaveOutcome::Saved && !result.stored.empty() && !detail.IsEmpty())
            SaveSessionDetail(db, patientId, result.stored.front().number, detail, &error);
        return error;
    };
    if (!m_session.SaveInBackground(request, context, Shell()->Db(), rows, after))
        return;
    m_workerAlive = true;
    setSaving(true);
}

void LiveTestPage::setSaving(bool saving)
{
    m_saving = saving;
    m_busy->setVisible(saving);
    m_testing->setEnabled(!saving);
    m_close->setEnabled(!saving);
    if (m_endSession)
        m_endSession->setEnabled(!saving);
    if (saving)
        setPrompt(GetLangText("MESSAGE", 3116));
}

void LiveTestPage::onSaved()
{
    setSaving(false);
    const SaveResult result = m_session.LastSave();
    if (m_testType == kTestVc && result.validPicture >= 0)
        showMarks(result.validPicture);
    if (result.resultValid)
        onTestSaved();
}

void LiveTestPage::onTestSaved()
{
    m_close->setEnabled(false);
    m_parts.store.finished = 1;
    Shell()->SetCurrentTestDate(QDate::currentDate().toString("yyyy-MM-dd"));
    // The last blow's verdict is read before the results replace the page.
    m_testing->setEnabled(false);
    QTimer::singleShot(m_testType == kTestFvc ? kVerdictHoldMs : 0, this,
                       [this] { Shell()->ShowPage(Workbench::kResultsPage); });
}

void LiveTestPage::onEndedEarly()
{
    stopPlots();
    const TestEnding ending = m_session.Ending();
    if (m_closed || ending.end == TestEnd::Closed)
        return;
    setPrompt(ending.Message());
    if (ending.kept > 0 &&
        ShowMessage(ending.Message() + "\n" + GetLangText("MESSAGE", 3114).arg(ending.kept),
                    PromptCaption(), 4, this) == 6) {
        saveTest(1); // like a finished session: the blow under way is not among them
        return;
    }
    m_parts.devices.ClosePort();
    if (ending.kept == 0)
        ShowMessage(ending.Message(), ErrorCaption(), 0, this);
}

void LiveTestPage::shutDown(bool keepInterfaceAlive)
{
    if (m_closed)
        return;
    m_closed = true;
    m_watch.Stop();
    m_session.Stop(); // tells the device to stop; the worker leaves after its read
    stopPlots();
    if (m_workerAlive && keepInterfaceAlive) {
        QEventLoop loop;
        connect(this, &LiveTestPage::workerGone, &loop, &QEventLoop::quit);
        QTimer::singleShot(kWorkerWaitMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    m_session.Join();
    m_workerAlive = false;
    m_parts.store.Clear();
    m_parts.points.Clear();
    m_parts.devices.ClosePort();
}

void LiveTestPage::OnCancel()
{
    // Nothing is lost by closing the window during a save: it waits for it.
    if (m_saving) {
        setPrompt(GetLangText("MESSAGE", 3117));
        return;
    }
    if (m_closed || !m_close->isEnabled())
        return;
    // Whole blows of a running FVC session may be kept, as "End session" does.
    const int kept = m_session.Running() ? JudgeEnding(TestEnd::Closed, m_testType,
                                                       m_parts.store, 0)
                                               .kept
                                         : 0;
    if (kept > 0 &&
        ShowMessage(GetLangText("MESSAGE", 3114).arg(kept), PromptCaption(), 4, this) == 6) {
        m_close->setEnabled(false); // the save that follows decides where the page goes
        m_session.Finish();
        return;
    }
    m_close->setEnabled(false);
    m_testing->setEnabled(false);
    shutDown(true);
    Shell()->ShowPage(Workbench::kMainPage);
}
