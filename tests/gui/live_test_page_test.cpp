// The live test page against the demo device: a whole test from the patient
// list to the results page, "Testing" while a test runs, closing mid-test,
// a test cut short, the writer's verdicts, and no wait on the interface thread.
#include "gui_fixture.h"

#include "core/app/interface_thread.h"
#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/device/device_manager.h"
#include "core/device/device_port.h"
#include "core/records/session_records.h"
#include "core/session/measurement_parts.h"
#include "gui/device/device_hooks.h"
#include "gui/measure/calibration_dialog.h"
#include "gui/measure/curve_plot_widget.h"
#include "gui/measure/live_test_page.h"
#include "gui/records/patient_list_page.h"
#include "gui/report/results_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSqlQuery>

namespace {

class LiveTestPageTest : public GuiTest {
  protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        useDemoDevice();
        Settings().communication = 1;
    }
    // A patient selected on the patient list page.
    int selectNewPatient()
    {
        const int id = addPatient("Ann");
        openShell();
        selectPatientRow(0);
        EXPECT_EQ(shell->CurrentPatientId(), id);
        return id;
    }
    int tests(int id) { return count("SELECT * FROM CaseInfo WHERE ID = ?", {id}); }
};

// A whole session and then a calibration as a user runs them: the interface
// thread never waits on the device, a worker or a disk sync (each such wait notes itself).
TEST_F(LiveTestPageTest, FvcTestFromThePatientListRunsByItselfAndOpensItsResults)
{
    // The device breathes at a person's pace here, so the curves are seen growing.
    LiveParts().devices.SetSimulatorRealTime(true);
    MarkInterfaceThread();
    const int waitsBefore = BlockingCallsOnInterfaceThread();
    selectNewPatient();
    click("fvcTest");
    auto* live = page<LiveTestPage>();
    ASSERT_NE(live, nullptr);
    ASSERT_NE(live->SecondPlot(), nullptr); // FVC: flow-volume and volume-time
    EXPECT_EQ(live->MainPlot()->Kind(), kCurveLiveFlowVolume);
    EXPECT_EQ(live->SecondPlot()->Kind(), kCurveLiveFvcVolumeTime);

    // Nobody presses "Testing": the page starts on its own.
    const auto shown = [&] { return page<LiveTestPage>() == live; }; // not yet the results
    ASSERT_TRUE(waitFor([&] { return shown() && live->MainPlot()->IsLive(); }));
    // While it runs, the plots are repainted again and again.
    const int paintsBefore = live->MainPlot()->PaintCount();
    ASSERT_TRUE(waitFor(
        [&] { return shown() && live->MainPlot()->PaintCount() > paintsBefore + 3; }, 5000));
    // The volume-time plot draws the points as they come.
    const auto drawn = [&] {
        const CurveGeometry now = live->SecondPlot()->BuildGeometry(QRectF(0, 0, 400, 300));
        return now.traces.size() == 1 && now.traces[0].pointCount > 1;
    };
    ASSERT_TRUE(waitFor([&] { return shown() && drawn(); }, 5000));

    // An adult gets no animation; the name says whose test it is.
    EXPECT_FALSE(live->AnimationSwitch()->isChecked());
    EXPECT_EQ(child<QLabel>(live, "patientName")->text(), GetLangText("MESSAGE", 3156).arg("Ann"));
    // The cue follows each blow; after each blow the page says how it was judged.
    QStringList grades, cues;
    ASSERT_TRUE(waitFor([&] {
        if (page<LiveTestPage>() == live) {
            if (!live->GradeText().isEmpty() && !grades.contains(live->GradeText()))
                grades << live->GradeText();
            if (!cues.contains(live->CueShown()))
                cues << live->CueShown();
        }
        return page<ResultsPage>() != nullptr;
    })) << "points "
        << LiveParts().points.Count() << " " << shownTexts().join("|").toStdString();
    for (Cue cue : {Cue::Inhale, Cue::Blast, Cue::KeepGoing, Cue::EndReached})
        EXPECT_TRUE(cues.contains(CueText(cue))) << cues.join('|').toStdString();
    ASSERT_FALSE(grades.isEmpty());
    const QString verdict = GetLangText("MESSAGE", 3149);
    EXPECT_TRUE(grades.first().startsWith(verdict.arg(1).arg(GetLangText("CLINICAL", 2578))))
        << grades.join('|').toStdString();
    // The last blow's word is seen before the results: three acceptable, repeatable blows.
    EXPECT_TRUE(grades.last().startsWith(verdict.arg(3).arg(GetLangText("CLINICAL", 2578))))
        << grades.join('|').toStdString();
    EXPECT_EQ(page<ResultsPage>()->TestCount(), 3);
    EXPECT_EQ(count("SELECT * FROM CaseInfo WHERE Phase = 0"), 3); // the day's first session: pre
    EXPECT_TRUE(messages.empty()) << shownTexts().join('|').toStdString();

    // Calibrated once to the end, then closed while the device still waits for strokes.
    LiveParts().devices.SetSimulatorRealTime(false);
    for (const bool toTheEnd : {true, false}) {
        SimConfig config = SimConfig::ForSetting(1, SimTest::Fvc);
        config.calibrationScript = toTheEnd ? std::vector<int>{9, 9, 1} : std::vector<int>{9};
        LiveParts().devices.SetSimulatorConfig(config);
        auto* dialog = new CalibrationDialog(LiveParts(), nullptr, Actor::Unchecked(), shell.get());
        dialog->show();
        dialog->accept();
        if (toTheEnd)
            ASSERT_TRUE(waitFor([&] { return !messages.empty(); }));
        else
            QTest::qWait(200);
        delete dialog;
    }
    ASSERT_TRUE(waitFor([] { return !LiveParts().devices.LinkLent(); }));
    QTest::qWait(50);
    EXPECT_EQ(BlockingCallsOnInterfaceThread(), waitsBefore);
    EXPECT_EQ(shownTexts(), QStringList({GetLangText("MESSAGE", 1157)}));
}

TEST_F(LiveTestPageTest, TestingIsIgnoredWhileRunningAndClosingMidTestSavesNothing)
{
    LiveParts().devices.SetSimulatorRealTime(true);
    const int id = selectNewPatient();
    click("mvvTest");
    auto* live = page<LiveTestPage>();
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live->SecondPlot(), nullptr);
    EXPECT_EQ(live->MainPlot()->Kind(), kCurveLiveMvvVolumeTime);
    ASSERT_TRUE(waitFor([&] { return LiveParts().points.Count() > 20; }));
    auto device = LiveParts().devices.SimulatedDevice();
    ASSERT_NE(device, nullptr);

    // A second start would clear the points and connect anew.
    const int before = LiveParts().points.Count();
    click("testing");
    EXPECT_GE(LiveParts().points.Count(), before);
    EXPECT_EQ(LiveParts().devices.SimulatedDevice(), device);

    click("close");
    ASSERT_NE(page<PatientListPage>(), nullptr);
    EXPECT_FALSE(device->Streaming()); // the device was told to stop
    EXPECT_EQ(tests(id), 0);
    EXPECT_EQ(LiveParts().points.Count(), 0);
    EXPECT_TRUE(LiveParts().store.Maneuvers().empty());
    DevicePort* port = LiveParts().devices.CurrentPort();
    EXPECT_TRUE(port == nullptr || !port->IsOpen());
    EXPECT_TRUE(messages.empty()) << shownTexts().join('|').toStdString();
}

// A test cut short says what happened, not "connection error", and offers
// the whole blows: kept (Yes) they are saved like a finished session's.
TEST_F(LiveTestPageTest, ATestCutShortSaysWhyAndOffersItsWholeBlows)
{
    SimConfig config = SimConfig::ForSetting(1, SimTest::Fvc);
    config.faults.disconnectAfterPulse = 300; // inside the first blow: nothing to keep
    LiveParts().devices.SetSimulatorConfig(config);
    const int id = selectNewPatient();
    click("fvcTest");
    auto* live = page<LiveTestPage>();
    ASSERT_NE(live, nullptr);
    ASSERT_TRUE(waitFor([&] { return !messages.empty(); }));
    EXPECT_EQ(messages[0].text, GetLangText("MESSAGE", 3112));
    EXPECT_EQ(messages[0].caption, ErrorCaption());
    EXPECT_EQ(live->Prompt(), GetLangText("MESSAGE", 3112));
    EXPECT_FALSE(live->MainPlot()->IsLive());
    EXPECT_EQ(tests(id), 0);
    click("close");
    ASSERT_NE(page<PatientListPage>(), nullptr);

    // A rest past the limit before the third blow: two blows are offered and kept.
    config.faults = {};
    config.faults.pauseMs = 600000;
    config.faults.pauseBlow = 3;
    LiveParts().devices.SetSimulatorConfig(config);
    messages.clear();
    answers = {6};
    click("fvcTest");
    page<LiveTestPage>()->Session().SetSilenceLimit(400); // before the page starts it
    ASSERT_TRUE(waitFor([&] { return page<ResultsPage>() != nullptr; }))
        << shownTexts().join('|').toStdString();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.endsWith(GetLangText("MESSAGE", 3114).arg(2)))
        << messages[0].text.toStdString();
    EXPECT_EQ(tests(id), 2);

    // The user closes during the rest before blow 2: the first blow is offered and kept.
    config.faults.pauseBlow = 2;
    LiveParts().devices.SetSimulatorConfig(config);
    click("exit");
    ASSERT_NE(page<PatientListPage>(), nullptr);
    click("fvcTest");
    ASSERT_TRUE(waitFor([] { return LiveParts().store.ManeuverCount() == 1; }));
    messages.clear();
    answers = {6};
    click("close");
    ASSERT_TRUE(waitFor([&] { return page<ResultsPage>() != nullptr; }));
    EXPECT_EQ(shownTexts(), QStringList({GetLangText("MESSAGE", 3114).arg(1)}));
    EXPECT_EQ(tests(id), 3);
}

// The day's second session: the page offers post; a test that cannot be written
// keeps the page, and once it can, what the user typed about the bronchodilator
// and the referrer is kept with the session.
TEST_F(LiveTestPageTest, ASecondSessionOfTheDayIsPostAndAFailedWriteKeepsThePage)
{
    patientId = selectNewPatient();
    storeFvc(QDate::currentDate().toString("yyyy-MM-dd") + " 00:00:01", 4.0f, 3.2f,
             7.4f); // this morning's
    // A file where the patient's case folder belongs: the test cannot be written.
    const QString folder = AppPaths::PatientCaseFolder(patientId);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    home.write("Case/" + QString::number(patientId), "");
    click("fvcTest");
    auto* live = page<LiveTestPage>();
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live->PhaseChoice()->currentIndex(), kPhasePost);
    EXPECT_FALSE(live->DrugEdit()->isHidden());
    const QString notSaved = GetLangText("CASE", 2100).section('%', 0, 0);
    ASSERT_TRUE(waitFor([&] { return live->Prompt().startsWith(notSaved); })) << live->Prompt().toStdString();
    waitFor([] { return false; }, 300);
    EXPECT_EQ(page<LiveTestPage>(), live); // the page stays, so the blows can be repeated
    EXPECT_EQ(tests(patientId), 1);

    // With the folder free again, "Testing" runs the session once more.
    ASSERT_TRUE(QFile::remove(folder));
    live->DrugEdit()->setText("Salbutamol\nMDI");
    live->DoseEdit()->setText("400 µg");
    live->DoseTimeEdit()->setText("0:00");
    live->ReferrerEdit()->setText("Dr. O'Brien");
    click("testing");
    ASSERT_TRUE(waitFor([&] { return page<ResultsPage>() != nullptr; }))
        << shownTexts().join('|').toStdString();
    QSqlQuery stored(db.Connection());
    ASSERT_TRUE(stored.exec(
        QString("SELECT Session FROM CaseInfo WHERE ID = %1 AND Phase = 1").arg(patientId)));
    ASSERT_TRUE(stored.next());
    const SessionDetail detail = LoadSessionDetail(db, patientId, stored.value(0).toInt());
    EXPECT_EQ(detail.drug, "Salbutamol MDI");
    EXPECT_EQ(detail.dose, QString::fromUtf8("400 µg"));
    EXPECT_EQ(detail.doseTime, QDateTime(QDate::currentDate(), QTime(0, 0)));
    EXPECT_EQ(detail.referrer, "Dr. O'Brien");
}

} // namespace
