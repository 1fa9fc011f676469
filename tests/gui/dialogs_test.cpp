// One test per dialog: the button that calls the core and what the user sees
// after it (settings, nation groups, keys, diagnosis, calibration, Bluetooth setup).
#include "gui_fixture.h"
#include "links/fake_bluetooth.h"

#include "core/app/ini_file.h"
#include "core/app/interface_thread.h"
#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/device/bluetooth_port.h"
#include "core/device/device_manager.h"
#include "core/records/calibration_log.h"
#include "core/records/diagnosis.h"
#include "core/session/calibration_check.h"
#include "core/session/measurement_parts.h"
#include "gui/device/comm_setup_dialog.h"
#include "gui/device/device_hooks.h"
#include "gui/measure/calibration_dialog.h"
#include "gui/records/diagnosis_dialog.h"
#include "gui/records/nation_groups_dialog.h"
#include "gui/records/patient_list_page.h"
#include "gui/report/results_page.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTableView>
#include <QTreeWidget>

using SettingsDialogTest = GuiTest;

// OK writes every field and the chosen language, and the main page speaks it at
// once. The device's version (Ctrl+Alt+C) is asked on a worker, not on the
// interface thread.
TEST_F(SettingsDialogTest, OkWritesEveryFieldAndTheMainPageTakesTheLanguageAtOnce)
{
    home.write("Language/English.txt", "[CASE]\r\n1193=TAV Spirometer\r\n");
    home.write("Language/Chinese.txt", "[CASE]\r\n1193=TAV\r\n");
    home.write(
        "Language/Deutsch.txt",
        "[CASE]\r\n1193=TAV Spirometer DE\r\n194=Patient\r\n116=Beenden\r\n121=Einstellungen\r\n"
        "105=Name:\r\n122=männlich\r\n[USER MANAGE]\r\n1190=Unbestimmt\r\n");
    addPatient("Ann");
    useDemoDevice();
    InstallDeviceHooks();
    MarkInterfaceThread();
    const int waitsBefore = BlockingCallsOnInterfaceThread();
    Settings().language = "Klingon"; // not among the files: the first file is chosen
    Settings().simulator = 3;          // a profile chosen by hand stays while the box is checked
    openShell();
    inModal(shell.get(), "settings", [waitsBefore](QWidget* dialog) {
        QTest::keyClick(dialog, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
        EXPECT_EQ(BlockingCallsOnInterfaceThread(), waitsBefore)
            << "connected on the interface thread";
        auto* list = child<QComboBox>(dialog, "language");
        EXPECT_EQ(list->count(), 3); // one entry per language file
        EXPECT_EQ(list->currentText(), "Chinese");
        list->setCurrentIndex(list->findText("Deutsch"));
        EXPECT_FALSE(child(dialog, "deviceName")->isEnabled());
        child<QRadioButton>(dialog, "area")->setChecked(true);
        QTest::keyClicks(child<QLineEdit>(dialog, "hospital"), "St. Mary's");
        child<QComboBox>(dialog, "btps")->setCurrentIndex(0);
        child<QComboBox>(dialog, "wait")->setCurrentIndex(1);
        press(dialog, "ok");
    });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("Version: ")) << messages[0].text.toStdString();
    const QStringList keys{"LANGUAGE", "PREDICTED", "HOSPITAL", "COMMUNICATION",
                           "BTPS",     "WAIT",      "SIMULATOR"};
    const QStringList written{"Deutsch", "0", "St. Mary's", "1", "0", "1", "3"};
    for (int i = 0; i < keys.size(); ++i)
        EXPECT_EQ(IniFile::ReadString(AppPaths::SettingsFile(), "SYSTEM", keys[i], "", 99),
                  written[i])
            << keys[i].toStdString();
    EXPECT_EQ(child(shell.get(), "user")->text(), "Patient");
    EXPECT_EQ(child(shell.get(), "quit")->text(), "Beenden");
    EXPECT_EQ(shell->windowTitle(), "TAV Spirometer DE");
    auto* list = child<QTableView>(shell.get(), "patientList");
    EXPECT_EQ(list->model()->headerData(2, Qt::Horizontal).toString(), "Name");
    EXPECT_EQ(list->model()->index(0, 3).data().toString(), "männlich");
    EXPECT_EQ(list->model()->index(0, 7).data().toString(), "Unbestimmt");
}

using NationGroupDialogTest = GuiTest;

TEST_F(NationGroupDialogTest, OkRecomputesTheCurrentPatientsPredictedValues)
{
    addPatient("Ann", 1980, 1);
    openShell();
    child<QTableView>(shell.get(), "patientList")->selectRow(0);
    const float before = shell->Predicted().FVC;
    ASSERT_GT(before, 0.5f);
    ASSERT_TRUE(db.Execute("update Nation set Multiply = 2 where nNation = 1 and ParamName = 17"));
    NationGroupsDialog dialog(*shell);
    press(&dialog, "ok");
    EXPECT_FLOAT_EQ(shell->Predicted().FVC, before * 2);
}

using MainShellTest = GuiTest;

TEST_F(MainShellTest, EnterAndEscapeNeverCloseAPage)
{
    addPatient("Ann");
    openShell();
    for (QWidget* target :
         {static_cast<QWidget*>(child<QTableView>(shell.get(), "patientList")),
          static_cast<QWidget*>(child(shell.get(), "quit")), static_cast<QWidget*>(shell.get())}) {
        target->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(target, key);
        EXPECT_TRUE(shell->isVisible());
        EXPECT_NE(page<PatientListPage>(), nullptr);
    }
    shell->ShowPage(MainWindow::kResultsPage);
    QTest::keyClick(current(), Qt::Key_Escape);
    QTest::keyClick(current(), Qt::Key_Return);
    EXPECT_NE(page<ResultsPage>(), nullptr);
    EXPECT_TRUE(messages.empty());
}

using DiagnosisDialogTest = GuiTest;

// Where the limits lie is the diagnosis rules' test; the dialog keeps the text
// it cannot take and says why.
TEST_F(DiagnosisDialogTest, PhrasesGoInListOrderAndTooLongATextIsRefusedWithItsReason)
{
    home.write("Case/1/.keep", ""); // the folder is there: only the text can be refused
    DiagnosisRecord record;
    DiagnosisDialog dialog(db, 1, "2026-03-04", record);
    dialog.show();
    // Presses Add and picks the phrases at `rows` in the list.
    const auto addPhrases = [&dialog](QList<int> rows) {
        inModal(&dialog, "add", [rows](QWidget* list) {
            auto* phrases = child<QListWidget>(list, "phrases");
            for (int row : rows)
                QTest::mouseClick(phrases->viewport(), Qt::LeftButton, {},
                                  phrases->visualItemRect(phrases->item(row)).center());
            press(list, "ok");
        });
    };
    addPhrases({12, 0, 6}); // picked out of order, added in list order
    EXPECT_EQ(dialog.ResultText(), "Asthma\r\nCOPD\r\nLung function test within normal limits");
    auto* result = child<QPlainTextEdit>(&dialog, "result");
    result->setPlainText("1\n2\n3\n4\n5\n6");
    addPhrases({0, 1, 2}); // eight line breaks
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(result->toPlainText(), "1\n2\n3\n4\n5\n6");

    const QString text201 = QString(201, QChar(0x80BA));
    result->setPlainText(text201);
    press(&dialog, "ok");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(result->toPlainText(), text201);
    EXPECT_FALSE(QFile::exists(home.path("Case/1/2026-03-04.dia")));
    EXPECT_TRUE(record.Result.isEmpty());
}

using CalibrationDialogTest = GuiTest;

// The syringe the operator holds decides the verdict shown; the check mode
// runs the check (pass and fail are the core test's), shows its strokes and logs it.
TEST_F(CalibrationDialogTest, TheRightSyringeSucceedsTheWrongOneIsNamedAndTheCheckIsLogged)
{
    useDemoDevice();
    SimConfig config = SimConfig::ForSetting(1, SimTest::Fvc);
    config.syringeVolume = 3;
    config.calibrationScript = {9, 9, 1};
    LiveParts().devices.SetSimulatorConfig(config);
    CalibrationDialog dialog(LiveParts(), &db, Actor::Unchecked());
    dialog.show();
    auto* volume = child<QComboBox>(&dialog, "volume");
    for (const int litres : {3, 2}) {
        volume->setCurrentIndex(litres - 2);
        press(&dialog, "ok");
        EXPECT_TRUE(child<QProgressBar>(&dialog, "progress")->isVisible()) << "busy while it runs";
        ASSERT_TRUE(waitFor([&] { return !dialog.Session().WorkerRunning(); }, 30000));
        QTest::qWait(20); // the queued end of the worker
        // After a verdict the operator may start again.
        EXPECT_TRUE(child(&dialog, "ok")->isEnabled());
        EXPECT_FALSE(child<QProgressBar>(&dialog, "progress")->isVisible());
    }
    EXPECT_EQ(shownTexts(), (QStringList{GetLangText("MESSAGE", 1157), GetLangText("MESSAGE", 1156)}));
    EXPECT_EQ(messages[1].caption, PromptCaption());

    child<QComboBox>(&dialog, "mode")->setCurrentIndex(1);
    volume->setCurrentIndex(1);
    config.drift = 5;
    LiveParts().devices.SetSimulatorConfig(config);
    press(&dialog, "ok");
    ASSERT_TRUE(waitFor([&] { return !(dialog.Check() && dialog.Check()->Running()); }, 30000));
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[2].text, GetLangText("MESSAGE", 3176));
    EXPECT_EQ(child<QLabel>(&dialog, "result")->text().count('\n'), 2);  // three strokes
    const std::vector<CalibrationLogEntry> log = LoadCalibrationLog(db); // newest first
    ASSERT_FALSE(log.empty());
    EXPECT_FALSE(log.front().passed);
}

class CommSetupDialogTest : public GuiTest {
  protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        m_link.blueTooth.SetTransport(std::make_unique<FakeBluetooth>(m_state));
        Settings().communication = 1;
        m_state->radios = {{"hci0", 0x1111}};
    }
    void TearDown() override
    {
        BluetoothPort::SetSetupDialog({});
        GuiTest::TearDown();
    }
    BluetoothLink m_link;
    std::shared_ptr<FakeBluetoothState> m_state = std::make_shared<FakeBluetoothState>();
};

TEST_F(CommSetupDialogTest, ListsEachAddressOnceAndConnectsToTheCheckedOne)
{
    m_state->found = {{"Spiro A", 0xA1}, {"Spiro A", 0xA1}, {"Spiro B", 0xB2}};
    CommSetupDialog dialog(m_link);
    dialog.show();
    EXPECT_EQ(dialog.StatusText(), GetLangText("COMMBTH", 203)); // "Scan......"
    EXPECT_FALSE(child(&dialog, "cancel")->isEnabled());
    QTest::qWait(30);
    waitFor(
        [&] {
            return !dialog.Scanning() && !child<QProgressBar>(&dialog, "progress")->isVisible();
        },
        10000);
    EXPECT_EQ(dialog.StatusText(), GetLangText("COMMBTH", 205)); // "Success!"
    for (const char* name : {"connect", "scan", "cancel"})
        EXPECT_TRUE(child(&dialog, name)->isEnabled()) << name;
    auto* list = child<QTreeWidget>(&dialog, "deviceList");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "Spiro A");
    EXPECT_EQ(list->topLevelItem(1)->text(1), CBlueTooth::AddressText(0xB2));

    // Connect without a check: stays open.
    press(&dialog, "connect");
    EXPECT_EQ(shownTexts(), QStringList{GetLangText("COMMBTH", 206)});
    EXPECT_TRUE(dialog.isVisible());

    // One check at most.
    list->topLevelItem(0)->setCheckState(0, Qt::Checked);
    list->topLevelItem(1)->setCheckState(0, Qt::Checked);
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
    press(&dialog, "connect");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_state->connectedAddress, 0xB2u);
    // The row is the second, the device record the third of the inquiry.
    EXPECT_EQ(m_link.chosenIndex.load(), 2);
}
