#pragma once
// The main window over a patient whose tests are real test files (pulses of
// an ideal turbine), for the results page, the print preview and the trend
// dialog. Standard dialogs are answered through the dialog hooks.
#include "gui_fixture.h"
#include "support/test_patient.h"
#include "report/report_fixture.h"

#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "gui/app/dialog_hooks.h"
#include "gui/report/report_hooks.h"

#include <QAction>
#include <QDir>
#include <QPushButton>
#include <QTest>

class ReportGuiTest : public GuiTest {
  protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        InstallReportHooks(db);
        PatientRecord record = TestPatient("Anna O'Brien", 1, QDate(1976, 5, 14), 168, 61);
        patientId = CreatePatient(db, record);
        ASSERT_GT(patientId, 0);
    }

    void TearDown() override
    {
        Hooks().savePdfName = {};
        Hooks().printDialog = {};
        Hooks().pickColor = {};
        Hooks().openDocument = {};
        Hooks().printReport = {};
        Hooks().trend = {};
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "printPreview")
                delete w;
        GuiTest::TearDown();
    }

    // Writes <n>.dt with the record and the samples and registers its row.
    QString storeTest(int type, const QString& testTime, ManeuverResult record,
                      const PulseStream& samples, bool acceptable = true)
    {
        return WriteRegisteredTest(home, db, patientId, type, testTime, record,
                                   samples, acceptable);
    }

    QString storeFvc(const QString& time, float fvc, float fev1, float pef, float fef25 = 6.0f,
                     bool acceptable = true)
    {
        return storeTest(kTestFvc, time, FvcRecord(fvc, fev1, pef, fef25), FvcPulses(fvc, pef), acceptable);
    }
    QString storeVc(const QString& time, float vc)
    {
        ManeuverResult r;
        r.VC = vc;
        r.IC = vc * 0.6f;
        r.ERV = vc * 0.4f;
        r.TV = 0.5f;
        return storeTest(kTestVc, time, r, TidalPulses(3, 0.5));
    }
    QString storeMvv(const QString& time, float mvv)
    {
        ManeuverResult r;
        r.MVV = mvv;
        return storeTest(kTestMvv, time, r, TidalPulses(6, 1.2));
    }

    // The main window with the patient and day current, as selecting them does.
    MainWindow& openWith(const QString& day, int testType)
    {
        openShell();
        shell->SetCurrentPatientId(patientId);
        AppPaths::SetCaseFolder(AppPaths::PatientCaseFolder(patientId));
        EXPECT_TRUE(LoadPatient(db, patientId, shell->Patient()));
        shell->RecomputePredicted();
        shell->SetCurrentTestDate(day);
        shell->SetCurrentTestType(testType);
        return *shell;
    }

    // Widgets of the page shown now (the page before it may not be deleted yet).
    QWidget* current() const { return shell->CurrentPage(); }
    template <class W = QPushButton> static W* child(QWidget* parent, const QString& name)
    {
        W* w = parent->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    static void click(QWidget* parent, const QString& name)
    {
        if (QPushButton* b = child(parent, name))
            QTest::mouseClick(b, Qt::LeftButton);
    }

    // With TAV_SCREENSHOTS=<folder> set, keeps a PNG of `widget` there.
    static void screenshot(QWidget* widget, const QString& name)
    {
        const QString folder = qEnvironmentVariable("TAV_SCREENSHOTS");
        if (folder.isEmpty())
            return;
        QDir().mkpath(folder);
        QApplication::processEvents(); // the layout settles first
        widget->grab().save(folder + "/" + name + ".png");
    }

    int patientId = 0;
};
