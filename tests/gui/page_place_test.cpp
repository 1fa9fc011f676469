// The main page keeps its place: a patient chosen shows its newest day at
// once; after the results page (reached by a visible button, a double-click on
// a day or Ctrl+R) the same patient, day and curves are back; a click on the
// highlighted patient or a refill of the list shows it again.
#include "report_gui_fixture.h"

#include "gui/measure/curve_pane.h"
#include "gui/records/patient_list_model.h"
#include "gui/records/patient_list_page.h"
#include "gui/report/results_page.h"

#include <QComboBox>
#include <QTableView>
#include <QTableWidget>

namespace {

class PagePlaceTest : public ReportGuiTest {
  protected:
    void SetUp() override
    {
        ReportGuiTest::SetUp();
        storeFvc("2026-10-02 09:00:00", 3.9f, 3.1f, 7.2f);
        storeVc("2026-10-02 09:20:00", 4.1f);
        storeFvc("2026-11-30 10:00:00", 4.0f, 3.2f, 7.4f);
        storeFvc("2026-11-30 10:05:00", 4.1f, 3.3f, 7.6f);
        other = addPatient("Ben Other");
    }

    PatientListPage* mainPage() const { return page<PatientListPage>(); }
    QTableView* patients() const { return shell->findChild<QTableView*>("patientList"); }
    QTableWidget* days() const { return shell->findChild<QTableWidget*>("dayList"); }
    CurvePane* fvcPane() const
    {
        for (CurvePane* pane : mainPage()->findChildren<CurvePane*>())
            if (pane->TestType() == kTestFvc)
                return pane;
        return nullptr;
    }
    void clickPatient(int id)
    {
        auto* model = qobject_cast<PatientListModel*>(patients()->model());
        ASSERT_NE(model, nullptr);
        const int row = model->RowOfId(id);
        ASSERT_GE(row, 0) << id;
        const QModelIndex at = model->index(row, PatientListModel::kNameColumn);
        patients()->scrollTo(at);
        QTest::mouseClick(patients()->viewport(), Qt::LeftButton, {},
                          patients()->visualRect(at).center());
        QApplication::processEvents();
    }
    // What the main page shows: patient, days, selected day, FVC curves.
    void expectShowing(const QString& day, int fvcCurves)
    {
        ASSERT_NE(mainPage(), nullptr);
        EXPECT_EQ(mainPage()->SelectedPatientId(), patientId);
        EXPECT_EQ(mainPage()->Days(), (QStringList{"2026-11-30", "2026-10-02"}));
        EXPECT_EQ(mainPage()->SelectedDay(), day);
        EXPECT_EQ(shell->CurrentTestDate(), day);
        ASSERT_NE(fvcPane(), nullptr);
        EXPECT_EQ(int(fvcPane()->Tests().size()), fvcCurves);
    }

    int other = 0;
};

} // namespace

TEST_F(PagePlaceTest, ExitFromTheResultsPageComesBackToTheSamePatientDayAndCurves)
{
    openShell();
    clickPatient(patientId);
    EXPECT_EQ(shell->SelectedPatientTag(), "Anna O'Brien");
    EXPECT_EQ(AppPaths::CaseFolder(), AppPaths::PatientCaseFolder(patientId));
    expectShowing("2026-11-30", 2); // the newest day, shown at once
    days()->selectRow(1);
    QApplication::processEvents();
    expectShowing("2026-10-02", 1);
    EXPECT_EQ(mainPage()->findChild<CurvePane*>("paneVC")->TestCount(), 1);
    // Filling the list again keeps the patient and the day.
    mainPage()->FillPatients();
    expectShowing("2026-10-02", 1);

    // The visible way in: a button named in the language of the page.
    QPushButton* results = child(current(), "results");
    ASSERT_NE(results, nullptr);
    EXPECT_TRUE(results->isVisible());
    EXPECT_EQ(results->text(), GetLangText("CASE", 2300));
    QTest::mouseClick(results, Qt::LeftButton);
    QApplication::processEvents();
    auto* resultsPage = page<ResultsPage>();
    ASSERT_NE(resultsPage, nullptr);
    EXPECT_EQ(resultsPage->TestCount(), 1);
    EXPECT_EQ(resultsPage->findChild<QComboBox*>("dates")->currentText(), "2026-10-02");

    click(current(), "exit");
    QApplication::processEvents();
    expectShowing("2026-10-02", 1);

    // A click on the highlighted row shows it as it is: nothing is lost.
    clickPatient(patientId);
    expectShowing("2026-10-02", 1);

    // A double-click on a day and Ctrl+R are the other ways in.
    days()->selectRow(0);
    Q_EMIT days()->cellDoubleClicked(0, 2);
    QApplication::processEvents();
    ASSERT_NE(page<ResultsPage>(), nullptr);
    EXPECT_EQ(shell->CurrentTestDate(), "2026-11-30");
    EXPECT_EQ(page<ResultsPage>()->TestCount(), 2);
    click(current(), "exit");
    QApplication::processEvents();
    expectShowing("2026-11-30", 2);
    QTest::keyClick(days(), Qt::Key_R, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_NE(page<ResultsPage>(), nullptr);
}
