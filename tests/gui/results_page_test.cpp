// The results page shows the day-result model: the Best Value box per phase,
// the results list per test type with its "#n" columns, the quality texts of the shown test, Del, single-loop and
// the sliding volume-time pane.
#include "report_gui_fixture.h"

#include "gui/app/login_dlg.h"
#include "gui/measure/curve_plot_widget.h"
#include "gui/report/clinical_summary_view.h"
#include "gui/report/tava_dlg.h"

#include "core/accounts/account_store.h"
#include "core/clinical/interpretation.h"
#include "core/records/diagnosis.h"
#include "core/report/quality_statement.h"
#include "core/report/result_tables.h"

#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSqlQuery>
#include <QTableWidget>

namespace {
QStringList headers(QTableWidget* list)
{
    QStringList texts;
    for (int c = 0; c < list->columnCount(); ++c)
        texts << list->horizontalHeaderItem(c)->text();
    return texts;
}
// The cell of the row named `name` in the column headed `header`.
QString cell(QTableWidget* list, const QString& name, const QString& header)
{
    const int column = int(headers(list).indexOf(header));
    for (int r = 0; r < list->rowCount(); ++r)
        if (list->item(r, 0)->text() == name && column >= 0)
            return list->item(r, column)->text();
    return "<missing>";
}
} // namespace

class ResultsPageTest : public ReportGuiTest {
  protected:
    CTAVADlg* openResults(const QString& day, int testType)
    {
        openWith(day, testType);
        shell->ShowPage(CMainShellDlg::kResultsPage);
        return page<CTAVADlg>();
    }
    QString label(const char* name) { return child<QLabel>(current(), name)->text(); }
};

TEST_F(ResultsPageTest, TheListAndTheBoxShowTheDayResultCellForCell)
{
    // #1 has the larger FVC, #2 the larger FEV1 and the larger FVC+FEV1;
    // #1 was not blown out forcibly enough.
    storeFvc("2026-03-04 09:00:00", 4.80f, 3.10f, 7.00f, 5.0f, false);
    storeFvc("2026-03-04 09:05:00", 4.40f, 3.60f, 8.50f, 6.0f);
    CTAVADlg* results = openResults("2026-03-04", kTestFvc);
    ASSERT_NE(results, nullptr);
    ASSERT_EQ(results->TestCount(), 2);
    ASSERT_NE(results->Day(), nullptr);
    screenshot(shell.get(), "results_fvc");

    // Every header and cell is the model's: the page adds nothing and drops nothing.
    auto* list = child<QTableWidget>(current(), "results");
    const ResultsList expected = MakeResultsList(kTestFvc, *results->Day());
    EXPECT_EQ(headers(list), expected.headers);
    EXPECT_EQ(headers(list).mid(3, 3), (QStringList{"Pred", "Pre", "%Pred"}));
    ASSERT_EQ(list->rowCount(), int(expected.rows.size()));
    for (int r = 0; r < list->rowCount(); ++r) {
        const ResultRow& row = expected.rows[size_t(r)];
        const QStringList cells = QStringList{row.name, row.name, row.unit, row.predicted} + row.reported + row.tests;
        for (int c = 0; c < cells.size(); ++c)
            EXPECT_EQ(list->item(r, c)->text(), cells[c]) << row.name.toStdString() << " column " << c;
    }
    EXPECT_EQ(cell(list, "FEV1", "#1"), "3.10");
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);

    // The box: the phase's four values and percentages, its grades and what "*" means.
    const BestValueBox box = MakeBestValueBox(*results->Day());
    ASSERT_EQ(box.columns.size(), 1u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(label(QString("best%1").arg(1173 + i).toLatin1()), box.columns[0].values[size_t(i)]);
        EXPECT_EQ(label(QString("best%1").arg(1177 + i).toLatin1()), box.columns[0].percents[size_t(i)]);
        EXPECT_EQ(label(QString("post%1").arg(1173 + i).toLatin1()), ""); // no post phase this day
    }
    EXPECT_EQ(label("bestPhase0"), "Pre");
    EXPECT_TRUE(label("bestNotes").contains(box.columns[0].note));

    // The shown test is the one the values come from; its quality line is the 2019 verdict.
    EXPECT_EQ(results->ShownTest(), results->Day()->phases.front().flowsTest);
    EXPECT_EQ(label("acceptability"), DayQualityStatement(kTestFvc, *results->Day(), results->ShownTest()).test);
    list->horizontalHeader()->sectionClicked(int(headers(list).indexOf("#1")));
    EXPECT_EQ(results->ShownTest(), 0);
    EXPECT_EQ(label("acceptability"), DayQualityStatement(kTestFvc, *results->Day(), 0).test);
}

TEST_F(ResultsPageTest, VcAndMvvListsHaveTheirRowsAndNoPhaseColumns)
{
    storeVc("2026-03-04 10:00:00", 3.9f);
    storeVc("2026-03-04 10:03:00", 4.2f);
    storeMvv("2026-03-04 10:10:00", 120.0f);
    ASSERT_NE(openResults("2026-03-04", kTestVc), nullptr);
    auto* list = child<QTableWidget>(current(), "results");
    EXPECT_EQ(headers(list), (QStringList{"", GetLangText("CASE", 1210), "Unit", "Pred", "%Pred", "#1", "#2"}));
    ASSERT_EQ(list->rowCount(), 13);
    EXPECT_EQ(list->item(0, 1)->text(), "VC");
    EXPECT_EQ(list->item(12, 1)->text(), "tI/ttot");
    EXPECT_EQ(cell(list, "VC", "#2"), "4.20");
    EXPECT_EQ(cell(list, "TV", "Pred"), kMissingText); // no predicted value for TV
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);

    shell->SetCurrentTestType(kTestMvv);
    page<CTAVADlg>()->Reload();
    list = child<QTableWidget>(current(), "results");
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(list->item(0, 1)->text(), "MVV");
    EXPECT_EQ(cell(list, "MVV", "#1"), "120.00");
    EXPECT_EQ(headers(list).last(), "#1");
}

TEST_F(ResultsPageTest, ClickingATestColumnShowsThatTestAndDelRemovesIt)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    const QString second = storeFvc("2026-03-04 09:05:00", 4.50f, 3.50f, 8.00f);
    storeFvc("2026-03-04 09:10:00", 3.00f, 2.00f, 5.00f);
    CTAVADlg* results = openResults("2026-03-04", kTestFvc);
    ASSERT_EQ(results->ShownTest(), 1);
    auto* list = child<QTableWidget>(current(), "results");
    const int firstTest = int(headers(list).indexOf("#1"));
    list->horizontalHeader()->sectionClicked(firstTest + 2);
    EXPECT_EQ(results->ShownTest(), 2);

    // Cancel keeps the test, OK deletes the shown one (#3) with its file.
    answers = {2};
    click(current(), "delete");
    EXPECT_EQ(results->TestCount(), 3);
    list->horizontalHeader()->sectionClicked(firstTest + 1);
    answers = {1};
    messages.clear();
    click(current(), "delete");
    // The question names the test, never the patient.
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Are you sure to delete test #2?");
    EXPECT_EQ(results->TestCount(), 2);
    EXPECT_FALSE(QFile::exists(AppPaths::PatientCaseFolder(patientId) + "/" + second));
    EXPECT_EQ(count("select * from CaseInfo where ID = ? and DataName = ?", {patientId, second}),
              0);
    EXPECT_EQ(headers(list).mid(firstTest), (QStringList{"#1", "#2"}));
}

TEST_F(ResultsPageTest, DelOnAnEmptyDayTellsThereIsNothingToDelete)
{
    CTAVADlg* results = openResults("2026-03-04", kTestFvc);
    ASSERT_EQ(results->TestCount(), 0);
    click(current(), "delete");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "There is no case to delete!");
    EXPECT_EQ(label("best1173"), "");
}

TEST_F(ResultsPageTest, VolumeTimePaneSlidesOverTheQualityTexts)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    CTAVADlg* results = openResults("2026-03-04", kTestFvc);
    shell->resize(1200, 800);
    QApplication::processEvents();
    auto* volumeTime = child<CCurvePlotWidget>(current(), "volumeTime");
    auto* quality = child<QWidget>(current(), "quality");
    auto* diagnose = child(current(), "diagnose");
    EXPECT_FALSE(volumeTime->isVisible());
    EXPECT_TRUE(quality->isVisible());

    click(current(), "volumeTimeToggle");
    EXPECT_TRUE(results->IsVolumeTimeShown());
    EXPECT_FALSE(quality->isVisible());
    EXPECT_TRUE(diagnose->isVisible()); // the physician may diagnose beside either curve
    QTest::qWait(700); // the slide lasts 400 ms
    EXPECT_TRUE(volumeTime->isVisible());
    EXPECT_GT(volumeTime->width(), 100);
    EXPECT_EQ(volumeTime->View(), CurveView::VolumeTime);
    EXPECT_EQ(volumeTime->Curves().size(), 1u);
    screenshot(shell.get(), "results_volume_time");

    click(current(), "volumeTimeToggle");
    QTest::qWait(700);
    EXPECT_FALSE(volumeTime->isVisible());
    EXPECT_TRUE(quality->isVisible());
    EXPECT_TRUE(diagnose->isVisible());
}

TEST_F(ResultsPageTest, SingleLoopButtonTogglesTheSharedFlagAndThePanes)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    storeFvc("2026-03-04 09:05:00", 4.20f, 3.30f, 7.80f);
    openResults("2026-03-04", kTestFvc);
    auto* flowVolume = child<CCurvePlotWidget>(current(), "flowVolume");
    EXPECT_EQ(flowVolume->Kind(), kCurveFvcResult);
    EXPECT_EQ(flowVolume->View(), CurveView::FlowVolume);
    EXPECT_EQ(flowVolume->Curves().size(), 2u);
    click(current(), "singleLoop");
    EXPECT_EQ(shell->SingleLoopDisplay(), 1);
    ASSERT_EQ(flowVolume->Curves().size(), 1u);
    EXPECT_EQ(flowVolume->Curves()[0].number, 2) << "the shown (best) test";
    click(current(), "singleLoop");
    EXPECT_EQ(shell->SingleLoopDisplay(), 0);
    EXPECT_EQ(flowVolume->Curves().size(), 2u);
}

TEST_F(ResultsPageTest, AGliDayShowsZScoresAndTheSuggestionGoesIntoTheDiagnosisOnlyWhenConfirmed)
{
    PatientRecord patient;
    ASSERT_TRUE(LoadPatient(db, patientId, patient));
    patient.Standard = 4; // GLI Global 2022
    ASSERT_TRUE(SavePatientDemographics(db, patientId, patient));
    // A woman of 49 whose FEV1/FVC of 0.50 lies far below her LLN.
    storeFvc("2026-03-04 09:00:00", 3.60f, 1.80f, 5.00f);
    storeFvc("2026-03-04 09:05:00", 3.55f, 1.78f, 4.90f);
    CTAVADlg* results = openResults("2026-03-04", kTestFvc);
    shell->resize(1400, 900);
    screenshot(shell.get(), "results_fvc_gli");
    const ClinicalSummary& summary = results->SummaryView()->Summary();
    ASSERT_TRUE(summary.rows[2].pre.reference.available);
    EXPECT_LT(summary.rows[2].pre.reference.z, -1.645);
    EXPECT_NEAR(summary.rows[2].pre.value, 1.80 / 3.60, 1e-6);
    ASSERT_TRUE(summary.interpretation.has_value());
    EXPECT_TRUE(summary.interpretation->obstruction);
    const QString sentence = SuggestionText(*summary.interpretation);
    EXPECT_TRUE(results->SuggestionShown().contains(sentence.toHtmlEscaped()));
    const QString diagnosisFile = DiagnosisFile(AppPaths::PatientCaseFolder(patientId), "2026-03-04");

    // Shown, not written: Cancel in the dialog keeps the day without a diagnosis.
    QString offered;
    whenModal([&](QWidget* modal) {
        offered = modal->findChild<QPlainTextEdit*>("result")->toPlainText();
        QTest::mouseClick(modal->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    });
    click(current(), "takeIntoDiagnosis");
    EXPECT_EQ(offered, sentence);
    EXPECT_FALSE(QFile::exists(diagnosisFile));

    // Confirmed with OK, it is the day's diagnosis, after what was there.
    whenModal([](QWidget* modal) {
        modal->findChild<QPlainTextEdit*>("result")->setPlainText("Smoker.");
        QTest::mouseClick(modal->findChild<QPushButton*>("ok"), Qt::LeftButton);
    });
    click(current(), "diagnose");
    whenModal([](QWidget* modal) {
        QTest::mouseClick(modal->findChild<QPushButton*>("ok"), Qt::LeftButton);
    });
    click(current(), "takeIntoDiagnosis");
    DiagnosisRecord stored;
    LoadDiagnosis(db, patientId, "2026-03-04", stored);
    EXPECT_EQ(stored.Result, "Smoker.\r\n" + sentence);
    EXPECT_TRUE(label("diagnosis").contains(sentence));
}

TEST_F(ResultsPageTest, AnOlderReferenceSetSaysAnInterpretationNeedsGli)
{
    storeFvc("2026-03-04 09:00:00", 3.60f, 1.80f, 5.00f);
    storeVc("2026-03-04 09:10:00", 3.9f);
    CTAVADlg* results = openResults("2026-03-04", kTestFvc);
    EXPECT_FALSE(results->SummaryView()->Summary().rows[0].pre.reference.available);
    EXPECT_EQ(results->SuggestionShown(), GetLangText("CLINICAL", 2520));
    EXPECT_FALSE(child<QPushButton>(current(), "takeIntoDiagnosis")->isEnabled());
    // The VC list has no FVC summary.
    openResults("2026-03-04", kTestVc);
    EXPECT_TRUE(page<CTAVADlg>()->SuggestionShown().isEmpty());
}

TEST_F(ResultsPageTest, ABronchodilatorDayFitsA1366By768ScreenAndTheWindowKeepsItsSize)
{
    for (int i = 0; i < 3; ++i) {
        storeFvc(QString("2026-03-04 09:0%1:00").arg(i), 3.90f - 0.02f * i, 1.80f, 5.0f);
        storeFvc(QString("2026-03-04 10:0%1:00").arg(i), 4.10f - 0.02f * i, 2.60f, 7.0f);
    }
    // The last three blows after the bronchodilator.
    QSqlQuery relabel(db.Connection());
    ASSERT_TRUE(relabel.exec("UPDATE CaseInfo SET Phase = 1, Session = 99 WHERE TestTime >= '2026-03-04 10:00:00'"));
    openWith("2026-03-04", kTestFvc);
    shell->showNormal();
    shell->resize(1366, 768);
    shell->ShowPage(CMainShellDlg::kResultsPage);
    CTAVADlg* results = page<CTAVADlg>();
    ASSERT_EQ(results->Day()->phases.size(), 2u);
    QApplication::processEvents();
    screenshot(shell.get(), "results_1366x768");
    EXPECT_EQ(shell->size(), QSize(1366, 768)); // the page did not push the window larger

    // Every control lies inside the page, and no two controls of one layout overlap.
    QWidget* pageWidget = current();
    const QRect area = pageWidget->rect();
    std::vector<QWidget*> shown;
    for (QWidget* w : pageWidget->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (w->isVisible() && !w->isWindow())
            shown.push_back(w);
    ASSERT_GT(shown.size(), 8u);
    for (QWidget* w : shown) {
        EXPECT_TRUE(area.contains(w->geometry())) << w->objectName().toStdString();
        for (QWidget* other : shown) {
            if (other != w) {
                EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                    << w->objectName().toStdString() << " / " << other->objectName().toStdString();
            }
        }
    }
    for (const char* name : {"post1173", "post1176", "bestPhase1"})
        EXPECT_TRUE(child<QLabel>(current(), name)->isVisible()) << name;

    // Away and back: the window keeps the size the user gave it.
    shell->ShowPage(CMainShellDlg::kMainPage);
    QApplication::processEvents();
    shell->ShowPage(CMainShellDlg::kResultsPage);
    QApplication::processEvents();
    EXPECT_EQ(shell->size(), QSize(1366, 768));
}

TEST_F(ResultsPageTest, ASessionRelabelledFromThePageMovesItsValuesAndKeepsTheChange)
{
    // Two sessions stored as pre; the second was in truth after the bronchodilator.
    storeFvc("2026-03-04 09:00:00", 3.90f, 1.80f, 5.0f);
    const QString later = storeFvc("2026-03-04 10:00:00", 4.10f, 2.60f, 7.0f);
    CTAVADlg* results = openResults("2026-03-04", kTestFvc);
    ASSERT_EQ(results->Day()->phases.size(), 1u);
    auto* list = child<QTableWidget>(current(), "results");
    list->horizontalHeader()->sectionClicked(int(headers(list).indexOf("#2")));
    ASSERT_EQ(results->ShownTest(), 1);

    // A dose time that is no time is refused and nothing changes.
    messages.clear();
    whenModal([](QWidget* modal) {
        modal->findChild<QComboBox*>("phase")->setCurrentIndex(1);
        modal->findChild<QLineEdit*>("doseTime")->setText("25:99");
        QTest::mouseClick(modal->findChild<QPushButton*>("ok"), Qt::LeftButton);
        QTest::mouseClick(modal->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    });
    results->OnSession();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(results->Day()->phases.size(), 1u);

    whenModal([](QWidget* modal) {
        modal->findChild<QComboBox*>("phase")->setCurrentIndex(1);
        modal->findChild<QLineEdit*>("drug")->setText("Salbutamol");
        modal->findChild<QLineEdit*>("doseTime")->setText("09:40");
        QTest::mouseClick(modal->findChild<QPushButton*>("ok"), Qt::LeftButton);
    });
    results->OnSession();
    ASSERT_EQ(results->Day()->phases.size(), 2u);
    EXPECT_EQ(results->Day()->phases[1].phase, kPhasePost);
    EXPECT_FLOAT_EQ(results->Day()->phases[1].record.FEV1, 2.60f);
    EXPECT_EQ(label("bestPhase1"), "Post");
    EXPECT_EQ(count("select * from PhaseChange where ID = ? and NewPhase = 1", {patientId}), 1);
    EXPECT_EQ(count("select * from SessionDetail where ID = ? and Drug = 'Salbutamol'", {patientId}), 1);
    EXPECT_EQ(count("select * from CaseInfo where ID = ? and DataName = ? and Phase = 1", {patientId, later}), 1);
}

// With accounts on: the log-in names who works, only a physician overrides a
// verdict and signs, a signed day refuses Del until it is amended, and an
// idle window locks until its user or an administrator logs in again.
TEST_F(ResultsPageTest, OnlyAPhysicianSignsAndASignedDayRefusesDel)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    AccountStore accounts(db);
    QString error;
    ASSERT_TRUE(accounts.Add(Actor::Unchecked(), "admin", Role::Admin, "admin-secret", &error))
        << error.toStdString();
    const Actor admin{"admin", Role::Admin, "ws", true};
    ASSERT_TRUE(accounts.Add(admin, "doc", Role::Physician, "doctor-secret", &error));
    ASSERT_TRUE(accounts.Add(admin, "tech", Role::Technician, "tech-secret", &error));

    CLoginDlg login(db);
    login.NameEdit()->setText("tech");
    login.PasswordEdit()->setText("wrong-password");
    login.TryLogIn();
    EXPECT_NE(login.result(), QDialog::Accepted);
    EXPECT_EQ(login.ErrorShown(), "wrong user name or password");
    login.show();
    screenshot(&login, "login_refused");
    login.PasswordEdit()->setText("tech-secret");
    login.TryLogIn();
    ASSERT_EQ(login.result(), QDialog::Accepted);

    openWith("2026-03-04", kTestFvc);
    shell->SetUser(login.LoggedIn());
    shell->ShowPage(CMainShellDlg::kResultsPage);
    press(current(), "sign");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("needs the role physician"))
        << messages[0].text.toStdString();

    page<CTAVADlg>()->OnOverrideGrade(0);
    EXPECT_TRUE(messages.back().text.contains("needs the role physician"));

    shell->SetUser(Actor{"doc", Role::Physician, "ws", true});
    shell->ShowPage(CMainShellDlg::kResultsPage);
    auto* results = page<CTAVADlg>();
    whenModal([](QWidget* dialog) {
        child<QCheckBox>(dialog, "acceptable")->setChecked(true);
        child<QLineEdit>(dialog, "reason")->setText("start checked on the curve");
        press(dialog, "ok");
    });
    results->OnOverrideGrade(0);
    EXPECT_TRUE(label("repeatability").contains("automatic: not acceptable, grade U; reviewer: "
                                                "acceptable - start checked on the curve (doc)"))
        << label("repeatability").toStdString();
    press(current(), "sign");
    EXPECT_EQ(count("select * from DaySignOff where ID = ? and Signer = 'doc'", {patientId}), 1);
    EXPECT_TRUE(label("signature").startsWith("Signed by doc on "))
        << label("signature").toStdString();
    screenshot(shell.get(), "results_signed");
    answers = {1};
    press(current(), "delete");
    EXPECT_TRUE(messages.back().text.contains("needs the role admin"))
        << messages.back().text.toStdString();
    shell->SetUser(admin);
    press(current(), "delete");
    EXPECT_TRUE(messages.back().text.contains("is signed")) << messages.back().text.toStdString();
    EXPECT_EQ(results->TestCount(), 1);

    // Idle: the technician cannot take the doctor's window over, the administrator can.
    const auto logIn = [](QWidget* dialog, const char* name, const char* password) {
        auto* login = qobject_cast<CLoginDlg*>(dialog);
        ASSERT_NE(login, nullptr);
        login->NameEdit()->setText(name);
        login->PasswordEdit()->setText(password);
        login->TryLogIn();
    };
    whenModal([&](QWidget* dialog) {
        EXPECT_TRUE(qobject_cast<CLoginDlg*>(dialog)->ErrorShown().contains("doc"));
        whenModal([&](QWidget* again) { logIn(again, "admin", "admin-secret"); });
        logIn(dialog, "tech", "tech-secret");
    });
    const Actor doc{"doc", Role::Physician, "ws", true};
    shell->SetUser(doc);
    shell->Lock().Watch(doc, 20);
    QTRY_VERIFY_WITH_TIMEOUT(shell->User().name == "admin", 5000);
    EXPECT_FALSE(shell->Lock().IsLocked());
    EXPECT_EQ(count("select * from AuditLog where UserName = 'doc' and AuditAction = 'logout'"), 1);
    EXPECT_EQ(count("select * from AuditLog where UserName = 'tech' and Target = 'unlock of doc'"), 1);
}
