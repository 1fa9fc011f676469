// The results page shows the day-result model: the Best Value box per phase,
// the results list per test type with its "#n" columns, the quality texts of the shown test, Del, single-loop and
// the sliding volume-time pane.
#include "report_gui_fixture.h"

#include "gui/app/login_dialog.h"
#include "gui/report/clinical_summary_view.h"
#include "gui/report/results_page.h"

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
#include <QTableWidget>

namespace {
QStringList headers(QTableWidget* list)
{
    QStringList texts;
    for (int c = 0; c < list->columnCount(); ++c)
        texts << list->horizontalHeaderItem(c)->text();
    return texts;
}
} // namespace

class ResultsPageTest : public ReportGuiTest {
  protected:
    ResultsPage* openResults(const QString& day, int testType)
    {
        openWith(day, testType);
        shell->ShowPage(MainWindow::kResultsPage);
        return page<ResultsPage>();
    }
    QString label(const char* name) { return child<QLabel>(current(), name)->text(); }
};

TEST_F(ResultsPageTest, TheListAndTheBoxShowTheDayResultCellForCell)
{
    // #1 has the larger FVC, #2 the larger FEV1 and the larger FVC+FEV1;
    // #1 was not blown out forcibly enough.
    storeFvc("2026-03-04 09:00:00", 4.80f, 3.10f, 7.00f, 5.0f, false);
    storeFvc("2026-03-04 09:05:00", 4.40f, 3.60f, 8.50f, 6.0f);
    ResultsPage* results = openResults("2026-03-04", kTestFvc);
    ASSERT_NE(results, nullptr);
    ASSERT_EQ(results->TestCount(), 2);
    ASSERT_NE(results->Day(), nullptr);

    // Every header and cell is the model's: the page adds nothing and drops nothing.
    auto* list = child<QTableWidget>(current(), "results");
    const ResultsList expected = MakeResultsList(kTestFvc, *results->Day());
    EXPECT_EQ(headers(list), expected.headers);
    ASSERT_EQ(list->rowCount(), int(expected.rows.size()));
    for (int r = 0; r < list->rowCount(); ++r) {
        const ResultRow& row = expected.rows[size_t(r)];
        const QStringList cells = QStringList{row.name, row.name, row.unit, row.predicted} + row.reported + row.tests;
        for (int c = 0; c < cells.size(); ++c)
            EXPECT_EQ(list->item(r, c)->text(), cells[c]) << row.name.toStdString() << " column " << c;
    }

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

    // The VC and MVV pages of the same day list their own tests.
    storeVc("2026-03-04 10:00:00", 3.9f);
    for (const auto& [type, tests] : {std::pair{kTestVc, 1}, std::pair{kTestMvv, 0}}) {
        shell->SetCurrentTestType(type);
        results->Reload();
        EXPECT_EQ(results->TestCount(), tests) << type;
    }
}

TEST_F(ResultsPageTest, ClickingATestColumnShowsThatTestAndDelRemovesIt)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    const QString second = storeFvc("2026-03-04 09:05:00", 4.50f, 3.50f, 8.00f);
    storeFvc("2026-03-04 09:10:00", 3.00f, 2.00f, 5.00f);
    ResultsPage* results = openResults("2026-03-04", kTestFvc);
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

TEST_F(ResultsPageTest, AGliDayShowsZScoresAndTheSuggestionGoesIntoTheDiagnosisOnlyWhenConfirmed)
{
    PatientRecord patient;
    ASSERT_TRUE(LoadPatient(db, patientId, patient));
    patient.Standard = 4; // GLI Global 2022
    ASSERT_TRUE(SavePatientDemographics(db, patientId, patient));
    // A woman of 49 whose FEV1/FVC of 0.50 lies far below her LLN.
    storeFvc("2026-03-04 09:00:00", 3.60f, 1.80f, 5.00f);
    storeFvc("2026-03-04 09:05:00", 3.55f, 1.78f, 4.90f);
    ResultsPage* results = openResults("2026-03-04", kTestFvc);
    shell->resize(1400, 900);
    screenshot(shell.get(), "results_fvc_gli");
    const ClinicalSummary& summary = results->SummaryView()->Summary();
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

TEST_F(ResultsPageTest, ASessionRelabelledFromThePageMovesItsValuesAndKeepsTheChange)
{
    // Two sessions stored as pre; the second was in truth after the bronchodilator.
    storeFvc("2026-03-04 09:00:00", 3.90f, 1.80f, 5.0f);
    const QString later = storeFvc("2026-03-04 10:00:00", 4.10f, 2.60f, 7.0f);
    ResultsPage* results = openResults("2026-03-04", kTestFvc);
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

    LoginDialog login(db);
    login.NameEdit()->setText("tech");
    login.PasswordEdit()->setText("wrong-password");
    login.TryLogIn();
    EXPECT_NE(login.result(), QDialog::Accepted);
    EXPECT_EQ(login.ErrorShown(), "wrong user name or password");
    login.PasswordEdit()->setText("tech-secret");
    login.TryLogIn();
    ASSERT_EQ(login.result(), QDialog::Accepted);

    openWith("2026-03-04", kTestFvc);
    shell->SetUser(login.LoggedIn());
    shell->ShowPage(MainWindow::kResultsPage);
    press(current(), "sign");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("needs the role physician"))
        << messages[0].text.toStdString();

    page<ResultsPage>()->OnOverrideGrade(0);
    EXPECT_TRUE(messages.back().text.contains("needs the role physician"));

    shell->SetUser(Actor{"doc", Role::Physician, "ws", true});
    shell->ShowPage(MainWindow::kResultsPage);
    auto* results = page<ResultsPage>();
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
        auto* login = qobject_cast<LoginDialog*>(dialog);
        ASSERT_NE(login, nullptr);
        login->NameEdit()->setText(name);
        login->PasswordEdit()->setText(password);
        login->TryLogIn();
    };
    whenModal([&](QWidget* dialog) {
        EXPECT_TRUE(qobject_cast<LoginDialog*>(dialog)->ErrorShown().contains("doc"));
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
