#include "gui_fixture.h"

#include "core/app/system_settings.h"
#include "core/device/device_manager.h"
#include "core/records/patient_record.h"
#include "core/session/measurement_parts.h"
#include "gui/device/device_hooks.h"

#include <QDir>
#include <QTableView>

int GuiTest::addPatient(const QString& name, int birthYear, int nation)
{
    PatientRecord record;
    record.Name = name;
    record.Birthdate = QDate(birthYear, 3, 15);
    record.Height = 170;
    record.Weight = 70;
    record.Nation = nation;
    const int id = CreatePatient(db, record);
    EXPECT_GT(id, 0) << db.LastError().toStdString();
    return id;
}

void GuiTest::addTest(int id, const QString& dataName, const QString& testTime, int testType)
{
    EXPECT_TRUE(db.Execute(
        "insert into CaseInfo(ID, DataName, TestTime, FVC, PEF, Duration, FEV1, MVV, VC, TestType) "
        "values(?, ?, ?, 4.1, 8.2, 6, 3.3, 0, 0, ?)",
        {id, dataName, testTime, testType}));
    home.write(QString("Case/%1/%2").arg(id).arg(dataName), QByteArray("test"));
}

void GuiTest::useDemoDevice()
{
    demoDevice = true;
    Settings().simulator = 1;
    LiveParts().devices.SetSimulatorRealTime(false);
    LiveParts().devices.SetSimulatorConfig(std::nullopt);
}

void GuiTest::stopDemoDevice()
{
    LiveParts().devices.SetSimulatorConfig(std::nullopt);
    LiveParts().devices.SetSimulatorRealTime(false);
    LiveParts().devices.Disconnect();
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

void GuiTest::selectPatientRow(int row)
{
    auto* list = shell->findChild<QTableView*>("patientList");
    ASSERT_NE(list, nullptr);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(row, 2)).center());
}
