// The results page shows the day-result model: the Best Value box per phase,
// the results list per test type with its "#n" columns, the quality texts of
// the shown test, Del, relabelled sessions, the diagnosis suggestion, the
// sign-off, and its Print and Export buttons. The main page keeps its place
// on the way there and back.
#include "gui_fixture.h"

#include "gui/app/dialog_hooks.h"
#include "gui/app/login_dialog.h"
#include "gui/measure/curve_pane.h"
#include "gui/records/patient_list_model.h"
#include "gui/records/patient_list_page.h"
#include "gui/report/clinical_summary_view.h"
#include "gui/report/export_menu.h"
#include "gui/report/print_preview.h"
#include "gui/report/results_page.h"
#include "gui/report/trend_dialog.h"
#include "support/loopback_server.h"

#include "core/accounts/account_store.h"
#include "core/app/lang_text.h"
#include "core/clinical/interpretation.h"
#include "core/hospital/hospital_settings.h"
#include "core/records/diagnosis.h"
#include "core/report/quality_statement.h"
#include "core/report/result_tables.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTableView>
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

// The tests of the results page, the print preview and the export menu start
// with the registered patient.
class ResultsPageTest : public GuiTest {
  protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        registerPatient();
    }
    ResultsPage* openResults(const QString& day, int testType)
    {
        openWith(day, testType);
        shell->ShowPage(MainWindow::kResultsPage);
        return page<ResultsPage>();
    }
    QString label(const char* name) { return child<QLabel>(current(), name)->text(); }
    QTableWidget* list() { return child<QTableWidget>(current(), "results"); }
    // A click on the header of test column "#n".
    void showTest(int n)
    {
        list()->horizontalHeader()->sectionClicked(
            int(headers(list()).indexOf(QString("#%1").arg(n))));
    }
};

TEST_F(ResultsPageTest, TheListAndTheBoxShowTheDayResultCellForCell)
{
    // #1 has the larger FVC, #2 the larger FEV1 and the larger FVC+FEV1;
    // #1 was not blown out forcibly enough.
    storeFvc("2026-03-04 09:00:00", 4.80f, 3.10f, 7.00f, 5.0f, false);
    storeFvc("2026-03-04 09:05:00", 4.40f, 3.60f, 8.50f, 6.0f);
    ResultsPage* results = openResults("2026-03-04", kTestFvc);
    ASSERT_NE(results, nullptr);
    ASSERT_NE(results->Day(), nullptr);

    // Every header and cell is the model's: the page adds nothing and drops nothing.
    const ResultsList expected = MakeResultsList(kTestFvc, *results->Day());
    EXPECT_EQ(headers(list()), expected.headers);
    ASSERT_EQ(list()->rowCount(), int(expected.rows.size()));
    for (int r = 0; r < list()->rowCount(); ++r) {
        const ResultRow& row = expected.rows[size_t(r)];
        const QStringList cells = QStringList{row.name, row.name, row.unit, row.predicted} + row.reported + row.tests;
        for (int c = 0; c < cells.size(); ++c)
            EXPECT_EQ(list()->item(r, c)->text(), cells[c])
                << row.name.toStdString() << " column " << c;
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
    showTest(1);
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

TEST_F(ResultsPageTest, DelAsksAndRemovesTheShownTest)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    const QString second = storeFvc("2026-03-04 09:05:00", 4.50f, 3.50f, 8.00f);
    storeFvc("2026-03-04 09:10:00", 5.00f, 4.00f, 9.00f); // the best: shown first
    ResultsPage* results = openResults("2026-03-04", kTestFvc);
    answers = {2, 1}; // Cancel keeps the test, OK deletes the shown one
    press(current(), "delete");
    EXPECT_EQ(results->TestCount(), 3);
    showTest(2);
    press(current(), "delete");
    // The question names the test, never the patient.
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, "Are you sure to delete test #2?");
    EXPECT_EQ(count("select * from CaseInfo where DataName = ?", {second}), 0);
    EXPECT_EQ(headers(list()).filter(QRegularExpression("^#\\d+$")), (QStringList{"#1", "#2"}));
}

TEST_F(ResultsPageTest, TheSuggestionIsShownAndGoesIntoTheDiagnosisOnlyWhenConfirmed)
{
    PatientRecord patient;
    ASSERT_TRUE(LoadPatient(db, patientId, patient));
    patient.Standard = 4; // GLI Global 2022
    ASSERT_TRUE(SavePatientDemographics(db, patientId, patient));
    // A woman of 49 whose FEV1/FVC of 0.50 lies far below her LLN.
    storeFvc("2026-03-04 09:00:00", 3.60f, 1.80f, 5.00f);
    storeFvc("2026-03-04 09:05:00", 3.55f, 1.78f, 4.90f);
    ResultsPage* results = openResults("2026-03-04", kTestFvc);
    const ClinicalSummary& summary = results->SummaryView()->Summary();
    ASSERT_TRUE(summary.interpretation.has_value());
    const QString sentence = SuggestionText(*summary.interpretation);
    EXPECT_TRUE(results->SuggestionShown().contains(sentence.toHtmlEscaped()));

    // Shown, not written: Cancel in the dialog keeps the day without a diagnosis.
    QString offered;
    inModal(current(), "takeIntoDiagnosis", [&offered](QWidget* modal) {
        offered = child<QPlainTextEdit>(modal, "result")->toPlainText();
        press(modal, "cancel");
    });
    EXPECT_EQ(offered, sentence);
    EXPECT_FALSE(
        QFile::exists(DiagnosisFile(AppPaths::PatientCaseFolder(patientId), "2026-03-04")));

    // Confirmed with OK, it is the day's diagnosis, after what was there.
    inModal(current(), "diagnose", [](QWidget* modal) {
        child<QPlainTextEdit>(modal, "result")->setPlainText("Smoker.");
        press(modal, "ok");
    });
    inModal(current(), "takeIntoDiagnosis", [](QWidget* modal) { press(modal, "ok"); });
    DiagnosisRecord stored;
    LoadDiagnosis(db, patientId, "2026-03-04", stored);
    EXPECT_EQ(stored.Result, "Smoker.\r\n" + sentence);
    EXPECT_TRUE(label("diagnosis").contains(sentence));
}

TEST_F(ResultsPageTest, ASessionRelabelledFromThePageMovesItsValues)
{
    // Two sessions stored as pre; the second was in truth after the bronchodilator.
    storeFvc("2026-03-04 09:00:00", 3.90f, 1.80f, 5.0f);
    storeFvc("2026-03-04 10:00:00", 4.10f, 2.60f, 7.0f);
    ResultsPage* results = openResults("2026-03-04", kTestFvc);
    ASSERT_EQ(results->Day()->phases.size(), 1u);
    ASSERT_EQ(results->ShownTest(), 1); // the second, the better, is shown

    // A dose time that is no time is refused and nothing changes.
    inModal(current(), "session", [](QWidget* modal) {
        child<QComboBox>(modal, "phase")->setCurrentIndex(1);
        child<QLineEdit>(modal, "doseTime")->setText("25:99");
        press(modal, "ok");
        press(modal, "cancel");
    });
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(results->Day()->phases.size(), 1u);

    inModal(current(), "session", [](QWidget* modal) {
        child<QComboBox>(modal, "phase")->setCurrentIndex(1);
        child<QLineEdit>(modal, "drug")->setText("Salbutamol");
        child<QLineEdit>(modal, "doseTime")->setText("09:40");
        press(modal, "ok");
    });
    ASSERT_EQ(results->Day()->phases.size(), 2u);
    EXPECT_EQ(label("bestPhase1"), "Post");
    EXPECT_EQ(
        count("select * from SessionDetail where ID = ? and Drug = 'Salbutamol'", {patientId}), 1);
}

// With accounts on: the log-in names who works, only a physician overrides a
// verdict and signs, a signed day refuses Del, and an idle window locks until
// its user or an administrator logs in again.
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
    const auto logIn = [](QWidget* dialog, const char* name, const char* password) {
        auto* login = qobject_cast<LoginDialog*>(dialog);
        ASSERT_NE(login, nullptr);
        login->NameEdit()->setText(name);
        login->PasswordEdit()->setText(password);
        login->TryLogIn();
    };

    LoginDialog login(db);
    logIn(&login, "tech", "wrong-password");
    EXPECT_NE(login.result(), QDialog::Accepted);
    EXPECT_EQ(login.ErrorShown(), "wrong user name or password");

    openWith("2026-03-04", kTestFvc);
    shell->SetUser(Actor{"tech", Role::Technician, "ws", true});
    shell->ShowPage(MainWindow::kResultsPage);
    press(current(), "sign");
    page<ResultsPage>()->OnOverrideGrade(0);
    ASSERT_EQ(messages.size(), 2u);
    for (const ShownMessage& m : messages)
        EXPECT_TRUE(m.text.contains("needs the role physician")) << m.text.toStdString();

    shell->SetUser(Actor{"doc", Role::Physician, "ws", true});
    shell->ShowPage(MainWindow::kResultsPage);
    auto* results = page<ResultsPage>();
    whenModal([](QWidget* dialog) {
        child<QCheckBox>(dialog, "acceptable")->setChecked(true);
        child<QLineEdit>(dialog, "reason")->setText("start checked on the curve");
        press(dialog, "ok");
    });
    results->OnOverrideGrade(0);
    EXPECT_TRUE(
        label("repeatability").contains("reviewer: acceptable - start checked on the curve (doc)"))
        << label("repeatability").toStdString();
    press(current(), "sign");
    EXPECT_TRUE(label("signature").startsWith("Signed by doc on "))
        << label("signature").toStdString();
    answers = {1};
    press(current(), "delete");
    EXPECT_TRUE(messages.back().text.contains("needs the role admin"));
    shell->SetUser(admin);
    press(current(), "delete");
    EXPECT_TRUE(messages.back().text.contains("is signed")) << messages.back().text.toStdString();
    EXPECT_EQ(results->TestCount(), 1);

    // Idle: the technician cannot take the doctor's window over, the administrator can.
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
}

// The Print button's preview: pages per day, its toolbar, the main window
// hidden while it is open and back whenever it closes, and the PDF export flow.
class PrintPreviewTest : public ResultsPageTest {
  protected:
    // The results page's Print button; returns the preview it opened.
    PrintPreview* printFromResults(const QString& day)
    {
        openResults(day, kTestFvc);
        press(current(), "print");
        return PrintPreview::Current();
    }
    static void trigger(PrintPreview* frame, const char* name)
    {
        QAction* action = frame->Action(name);
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
        QApplication::processEvents();
    }
    void closePreview(PrintPreview* frame)
    {
        QPointer<PrintPreview> guard(frame);
        trigger(frame, "close");
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(guard.isNull()) << "the frame is destroyed";
        EXPECT_EQ(PrintPreview::Current(), nullptr);
        EXPECT_TRUE(shell->isVisible()) << "the main window is back";
    }
};

TEST_F(PrintPreviewTest, PagesFollowTheDayNavigationStopsAtTheEndsAndPreviewsGiveTheWindowsBack)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    storeVc("2026-03-04 09:10:00", 4.1f);
    storeMvv("2026-03-05 10:00:00", 110.0f);
    PrintPreview* frame = printFromResults("2026-03-04");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->PageCount(), 4); // the last holds the graded FVC sessions
    EXPECT_FALSE(shell->isVisible()) << "hidden while the preview is open";
    EXPECT_EQ(frame->windowTitle(), shell->windowTitle() + " Preview");

    EXPECT_FALSE(frame->Action("prevPage")->isEnabled());
    for (int i = 0; i < 3; ++i)
        trigger(frame, "nextPage");
    EXPECT_EQ(frame->CurrentPage(), 4);
    EXPECT_FALSE(frame->Action("nextPage")->isEnabled());
    trigger(frame, "prevPage");
    EXPECT_EQ(frame->CurrentPage(), 3);
    trigger(frame, "twoPages");
    EXPECT_TRUE(frame->TwoPages());
    EXPECT_EQ(frame->Action("twoPages")->text(), "&One Page");
    const double before = frame->ZoomFactor();
    trigger(frame, "zoomIn");
    EXPECT_GT(frame->ZoomFactor(), before);
    trigger(frame, "zoomOut");
    trigger(frame, "zoomOut");
    EXPECT_LT(frame->ZoomFactor(), before);
    closePreview(frame);

    // A day with only MVV tests: one page.
    shell->SetCurrentTestDate("2026-03-05");
    page<ResultsPage>()->Reload();
    press(current(), "print");
    frame = PrintPreview::Current();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->PageCount(), 1);
    EXPECT_FALSE(frame->Action("twoPages")->isEnabled());
    closePreview(frame);

    // The trend report's preview gives both windows back when it closes.
    TrendDialog dialog(db, patientId, shell.get());
    dialog.show();
    press(&dialog, "print");
    frame = PrintPreview::Current();
    ASSERT_NE(frame, nullptr);
    EXPECT_FALSE(shell->isVisible());
    closePreview(frame);
    EXPECT_TRUE(dialog.isVisible());

    // Without a patient: the message instead of a preview.
    TrendDialog nobody(db, 0, shell.get());
    press(&nobody, "print");
    EXPECT_EQ(PrintPreview::Current(), nullptr);
    EXPECT_EQ(shownTexts(), QStringList{"There is no User!"});
}

TEST_F(PrintPreviewTest, PdfExportReplacesAnOldFileOffersToOpenItAndSaysWhenItFails)
{
    storeFvc("2026-03-04 09:00:00", 4.00f, 3.20f, 7.50f);
    home.write("report.pdf", QByteArray("old contents that are not a PDF"));
    PrintPreview* frame = printFromResults("2026-03-04");
    ASSERT_NE(frame, nullptr);
    QString suggested, answer;
    Hooks().savePdfName = [&](QWidget*, const QString& proposal) {
        suggested = proposal;
        return answer;
    };
    QStringList opened;
    Hooks().openDocument = [&opened](const QString& path) {
        opened << path;
        return true;
    };
    trigger(frame, "pdf");
    EXPECT_TRUE(messages.empty()) << "a cancelled save dialog says nothing";

    answer = home.path("report.pdf");
    answers = {6, 7}; // view it the first time, not the second
    trigger(frame, "pdf");
    // The file is named for filing: patient number, name and day.
    EXPECT_TRUE(
        suggested.endsWith("/" + shell->Patient().PatientNumber + "_Anna O'Brien_2026-03-04.pdf"))
        << suggested.toStdString();
    EXPECT_TRUE(home.read("report.pdf").startsWith("%PDF"));
    EXPECT_EQ(opened, QStringList{answer});
    trigger(frame, "pdf");
    EXPECT_EQ(opened.size(), 1);

    // A folder that cannot be written: the writer makes no file and says so.
    answer = home.path("report.pdf/report.pdf");
    trigger(frame, "pdf");
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages.back().text, "Print PDF Error!");
    EXPECT_EQ(messages.back().caption, "Error");
    closePreview(frame);
}

// The Export menu: each command reaches the exchange core, and the user is
// told what came of it.
using ExportMenuTest = ResultsPageTest;

TEST_F(ExportMenuTest, EachCommandSaysWhatCameOfItAndNothingWhenCancelled)
{
    storeFvc("2026-07-01 10:00:00", 4.8f, 3.6f, 8.0f);
    openResults("2026-07-01", kTestFvc);
    QPushButton* button = child(current(), "export");
    ASSERT_NE(button, nullptr);
    auto* menu = qobject_cast<ExportMenu*>(button->menu());
    ASSERT_NE(menu, nullptr);
    // The texts of the exchange language section the messages begin with.
    const auto said = [](int id) { return GetLangText("EXCHANGE", id); };
    QString answer;
    menu->askSaveName = [&answer](const QString&, const QString&) { return answer; };
    menu->ExportFhir();
    EXPECT_TRUE(messages.empty());

    answer = home.path("day.json");
    menu->ExportFhir();
    answer = home.path("missing/folder/day.json");
    menu->ExportFhir();
    answer = home.path("all.csv");
    menu->ExportCsv();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[0].text.startsWith(said(2704))) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[1].text.startsWith(said(2707)));
    EXPECT_EQ(messages[1].caption, ErrorCaption());
    EXPECT_TRUE(messages[2].text.startsWith(said(2705)));

    // Nobody listening at the hospital: both sends are kept and the outbox retries them.
    HospitalSettings settings;
    const quint16 closed = LoopbackServer::FreePort();
    settings.hl7 = QString("127.0.0.1:%1").arg(closed);
    settings.pacs = QString("ARCHIVE@127.0.0.1:%1").arg(closed);
    settings.timeoutSeconds = 1;
    ASSERT_TRUE(settings.Save(AppPaths::SettingsFile()));
    menu->SendToHospital();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_TRUE(messages[3].text.startsWith(said(2712))) << messages[3].text.toStdString();
    answers.push_back(1); // "try them again now?"
    menu->ShowOutbox();
    ASSERT_EQ(messages.size(), 6u);
    EXPECT_TRUE(messages[5].text.startsWith(said(2745).arg(0).arg(2)));
}

// The main page keeps its place: a patient chosen shows its newest day at
// once; after the results page (reached by a visible button, a double-click on
// a day or Ctrl+R) the same patient, day and curves are back.
class PagePlaceTest : public ResultsPageTest {
  protected:
    PatientListPage* mainPage() const { return page<PatientListPage>(); }
    QTableWidget* days() const { return child<QTableWidget>(shell.get(), "dayList"); }
    void clickPatient()
    {
        auto* patients = child<QTableView>(shell.get(), "patientList");
        selectPatientRow(qobject_cast<PatientListModel*>(patients->model())->RowOfId(patientId));
    }
    // What the main page shows: patient, days, selected day, FVC curves.
    void expectShowing(const QString& day, int fvcCurves)
    {
        QApplication::processEvents();
        ASSERT_NE(mainPage(), nullptr);
        EXPECT_EQ(mainPage()->SelectedPatientId(), patientId);
        EXPECT_EQ(mainPage()->Days(), (QStringList{"2026-11-30", "2026-10-02"}));
        EXPECT_EQ(mainPage()->SelectedDay(), day);
        EXPECT_EQ(child<CurvePane>(mainPage(), "paneFVC")->TestCount(), fvcCurves);
    }
};

TEST_F(PagePlaceTest, ExitFromTheResultsPageComesBackToTheSamePatientDayAndCurves)
{
    storeFvc("2026-10-02 09:00:00", 3.9f, 3.1f, 7.2f);
    storeVc("2026-10-02 09:20:00", 4.1f);
    storeFvc("2026-11-30 10:00:00", 4.0f, 3.2f, 7.4f);
    storeFvc("2026-11-30 10:05:00", 4.1f, 3.3f, 7.6f);
    addPatient("Ben Other");
    openShell();
    clickPatient();
    EXPECT_EQ(shell->SelectedPatientTag(), "Anna O'Brien");
    expectShowing("2026-11-30", 2); // the newest day, shown at once
    days()->selectRow(1);
    expectShowing("2026-10-02", 1);
    EXPECT_EQ(child<CurvePane>(mainPage(), "paneVC")->TestCount(), 1);

    // The visible way in: a button named in the language of the page.
    QPushButton* results = child(current(), "results");
    ASSERT_NE(results, nullptr);
    EXPECT_TRUE(results->isVisible());
    EXPECT_EQ(results->text(), GetLangText("CASE", 2300));
    QTest::mouseClick(results, Qt::LeftButton);
    ASSERT_NE(page<ResultsPage>(), nullptr);
    EXPECT_EQ(page<ResultsPage>()->TestCount(), 1);
    EXPECT_EQ(child<QComboBox>(current(), "dates")->currentText(), "2026-10-02");
    press(current(), "exit");
    expectShowing("2026-10-02", 1);
    // A click on the highlighted row shows it as it is: nothing is lost.
    clickPatient();
    expectShowing("2026-10-02", 1);

    // A double-click on a day and Ctrl+R are the other ways in.
    days()->selectRow(0);
    Q_EMIT days()->cellDoubleClicked(0, 2);
    QApplication::processEvents();
    ASSERT_NE(page<ResultsPage>(), nullptr);
    EXPECT_EQ(page<ResultsPage>()->TestCount(), 2);
    press(current(), "exit");
    expectShowing("2026-11-30", 2);
    QTest::keyClick(days(), Qt::Key_R, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_NE(page<ResultsPage>(), nullptr);
}
