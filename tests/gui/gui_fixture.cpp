#include "gui_fixture.h"

#include "support/test_patient.h"

#include "core/app/system_settings.h"
#include "core/device/device_manager.h"
#include "core/records/patient_record.h"
#include "core/session/measurement_parts.h"
#include "gui/app/dialog_hooks.h"
#include "gui/device/device_hooks.h"
#include "gui/report/report_hooks.h"

#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>

void GuiTest::SetUp()
{
    ASSERT_TRUE(db.Open(home.path("data.mdb"))) << db.LastError().toStdString();
    SetMessageHook([this](const QString& text, const QString& caption, int type) {
        messages.push_back({text, caption, type});
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return type == 4 ? 6 : 1;
    });
}

void GuiTest::TearDown()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "printPreview")
            delete w;
    shell.reset();
    if (demoDevice) {
        LiveParts().devices.SetSimulatorConfig(std::nullopt);
        LiveParts().devices.SetSimulatorRealTime(false);
        LiveParts().devices.Disconnect();
    }
    Hooks() = DialogHooks{}; // the report hooks hold this test's database
    SetMessageHook({});
    db.Close();
}

void GuiTest::useDemoDevice()
{
    demoDevice = true;
    Settings().simulator = 1;
    LiveParts().devices.SetSimulatorRealTime(false);
    LiveParts().devices.SetSimulatorConfig(std::nullopt);
}

bool GuiTest::waitFor(const std::function<bool()>& done, int boundMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > boundMs)
            return false;
        QTest::qWait(5);
    }
    return true;
}

void GuiTest::whenModal(std::function<void(QWidget*)> action)
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [action, timer, poll] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            action(modal);
            return;
        }
        if (timer->elapsed() < 5000)
            QTimer::singleShot(10, *poll);
    };
    QTimer::singleShot(0, *poll);
}

void GuiTest::inModal(QWidget* parent, const char* button, std::function<void(QWidget*)> steps)
{
    whenModal([steps](QWidget* dialog) {
        steps(dialog);
        if (dialog->isVisible())
            qobject_cast<QDialog*>(dialog)->reject();
    });
    press(parent, button);
}

void GuiTest::selectPatientRow(int row)
{
    auto* list = child<QTableView>(shell.get(), "patientList");
    ASSERT_NE(list, nullptr);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(row, 2)).center());
}

MainWindow& GuiTest::openShell()
{
    shell = std::make_unique<MainWindow>(db);
    shell->show();
    QApplication::processEvents();
    return *shell;
}

MainWindow& GuiTest::openWith(const QString& day, int testType)
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

QStringList GuiTest::shownTexts() const
{
    QStringList texts;
    for (const ShownMessage& m : messages)
        texts << m.text;
    return texts;
}

int GuiTest::count(const QString& sql, const QVariantList& values)
{
    Recordset rs(db);
    rs.Open(sql, values);
    return rs.GetRecordCount();
}

int GuiTest::addPatient(const QString& name, int birthYear, int nation)
{
    PatientRecord record = TestPatient(name, 0, QDate(birthYear, 3, 15), 170, 70);
    record.Nation = nation;
    const int id = CreatePatient(db, record);
    EXPECT_GT(id, 0) << db.LastError().toStdString();
    return id;
}

void GuiTest::registerPatient()
{
    InstallReportHooks(db);
    PatientRecord record = TestPatient("Anna O'Brien", 1, QDate(1976, 5, 14), 168, 61);
    patientId = CreatePatient(db, record);
    ASSERT_GT(patientId, 0);
}

QString GuiTest::storeFvc(const QString& time, float fvc, float fev1, float pef, float fef25,
                          bool acceptable)
{
    return WriteRegisteredTest(home, db, patientId, kTestFvc, time,
                               FvcRecord(fvc, fev1, pef, fef25), FvcPulses(fvc, pef), acceptable);
}

QString GuiTest::storeVc(const QString& time, float vc)
{
    return WriteRegisteredTest(home, db, patientId, kTestVc, time, VcRecord(vc), TidalPulses(3, 0.5));
}

QString GuiTest::storeMvv(const QString& time, float mvv)
{
    return WriteRegisteredTest(home, db, patientId, kTestMvv, time, MvvRecord(mvv), TidalPulses(6, 1.2));
}
