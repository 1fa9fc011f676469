// The settings dialog: OK, Default and Cancel, the language list, the link
// and demo choices, and the main page's texts after a change of language.
#include "gui_fixture.h"

#include "core/app/app_paths.h"
#include "core/app/ini_file.h"
#include "gui/app/dialog_hooks.h"
#include "gui/app/setting_dlg.h"
#include "gui/device/device_hooks.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

namespace {

class SettingsDialogTest : public GuiTest {
  protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        home.write("Language/English.txt", "[CASE]\r\n1193=TAV Spirometer\r\n");
        home.write("Language/Chinese.txt",
                   "[CASE]\r\n121=\xE7\xB3\xBB\xE7\xBB\x9F\xE8\xAE\xBE\xE7\xBD\xAE\r\n");
    }
    QString ini(const QString& key)
    {
        return IniFile::ReadString(AppPaths::SettingsFile(), "SYSTEM", key, "<missing>", 99);
    }
    // Opens the dialog from the page's Setting button and runs `steps` in it.
    void openSettings(std::function<void(QWidget*)> steps)
    {
        whenModal([steps](QWidget* dialog) {
            steps(dialog);
            if (dialog->isVisible())
                QTest::mouseClick(dialog->findChild<QPushButton*>("cancel"), Qt::LeftButton);
        });
        QTest::mouseClick(shell->findChild<QPushButton*>("settings"), Qt::LeftButton);
    }
};

TEST_F(SettingsDialogTest, ANewLanguageChangesTheMainPageTextsAtOnce)
{
    home.write(
        "Language/Deutsch.txt",
        "[CASE]\r\n1193=TAV Spirometer DE\r\n194=Patient\r\n116=Beenden\r\n121=Einstellungen\r\n"
        "105=Name:\r\n122=männlich\r\n[USER MANAGE]\r\n1190=Unbestimmt\r\n");
    addPatient("Ann");
    openShell();
    auto* user = shell->findChild<QPushButton*>("user");
    EXPECT_EQ(user->text(), "User");
    QStringList languages;
    openSettings([&languages](QWidget* dialog) {
        auto* list = dialog->findChild<QComboBox*>("language");
        for (int i = 0; i < list->count(); ++i)
            languages << list->itemText(i);
        EXPECT_EQ(list->currentText(), "English");
        list->setCurrentIndex(list->findText("Deutsch"));
        press(dialog, "ok");
    });
    EXPECT_EQ(languages, (QStringList{"Chinese", "Deutsch", "English"}));
    EXPECT_EQ(Settings().language, "Deutsch");
    EXPECT_EQ(ini("LANGUAGE"), "Deutsch");
    EXPECT_EQ(user->text(), "Patient");
    EXPECT_EQ(shell->findChild<QPushButton*>("quit")->text(), "Beenden");
    EXPECT_EQ(shell->findChild<QPushButton*>("settings")->text(), "Einstellungen");
    EXPECT_EQ(shell->windowTitle(), "TAV Spirometer DE");
    auto* list = shell->findChild<QTableView*>("patientList");
    EXPECT_EQ(list->model()->headerData(2, Qt::Horizontal).toString(), "Name");
    EXPECT_EQ(list->model()->index(0, 3).data().toString(), "männlich");
    EXPECT_EQ(list->model()->index(0, 7).data().toString(), "Unbestimmt");
}

TEST_F(SettingsDialogTest, OkWritesEveryFieldInOrderAndStoresTheChosenLanguage)
{
    Settings().language = "Klingon"; // not among the files: the first file is chosen
    openShell();
    openSettings([](QWidget* dialog) {
        EXPECT_EQ(dialog->findChild<QComboBox*>("language")->currentText(), "Chinese");
        EXPECT_FALSE(dialog->findChild<QPushButton*>("deviceName")->isEnabled());
        dialog->findChild<QRadioButton*>("area")->setChecked(true);
        QTest::keyClicks(dialog->findChild<QLineEdit*>("hospital"), "St. Mary's");
        dialog->findChild<QComboBox*>("btps")->setCurrentIndex(0);
        dialog->findChild<QComboBox*>("wait")->setCurrentIndex(1);
        press(dialog, "ok");
    });
    EXPECT_EQ(ini("LANGUAGE"), "Chinese");
    EXPECT_EQ(ini("PREDICTED"), "0");
    EXPECT_EQ(ini("HOSPITAL"), "St. Mary's");
    EXPECT_EQ(ini("COMMUNICATION"), "1");
    EXPECT_EQ(ini("COMPORT"), "0");
    EXPECT_EQ(ini("BTPS"), "0");
    EXPECT_EQ(ini("WAIT"), "1");
    EXPECT_EQ(Settings().wait, 1);
    EXPECT_EQ(Settings().predicted, 0);
    EXPECT_EQ(AppPaths::LanguageFile(), home.path("Language/Chinese.txt"));
    // The page took the new language at once.
    EXPECT_EQ(shell->findChild<QPushButton*>("settings")->text(), QString::fromUtf8("系统设置"));
}

TEST_F(SettingsDialogTest, DefaultLeavesWaitAndComportInTheFile)
{
    home.write("System.ini", "[SYSTEM]\r\nWAIT=1\r\nCOMPORT=7\r\nLANGUAGE=Chinese\r\nHOSPITAL=X\r\n"
                             "BTPS=0\r\nCOMMUNICATION=0\r\nPREDICTED=0\r\n");
    Settings().Load(AppPaths::SettingsFile());
    ASSERT_EQ(Settings().wait, 1);
    openShell();
    openSettings([](QWidget* dialog) { press(dialog, "default"); });
    EXPECT_EQ(Settings().wait, 0);
    EXPECT_EQ(Settings().comPort, -1);
    EXPECT_EQ(Settings().language, "English");
    EXPECT_EQ(ini("WAIT"), "1");
    EXPECT_EQ(ini("COMPORT"), "7");
    EXPECT_EQ(ini("LANGUAGE"), "English");
    EXPECT_EQ(ini("HOSPITAL"), "");
    EXPECT_EQ(ini("BTPS"), "1");
    EXPECT_EQ(ini("COMMUNICATION"), "1");
    EXPECT_EQ(ini("PREDICTED"), "1");
    // The next start reads the file's values again.
    Settings().Load(AppPaths::SettingsFile());
    EXPECT_EQ(Settings().wait, 1);
    EXPECT_EQ(Settings().comPort, 7);
}

TEST_F(SettingsDialogTest, CancelChangesNothing)
{
    openShell();
    openSettings([](QWidget* dialog) {
        dialog->findChild<QComboBox*>("wait")->setCurrentIndex(1);
        press(dialog, "cancel");
    });
    EXPECT_FALSE(QFile::exists(AppPaths::SettingsFile()));
    EXPECT_EQ(Settings().wait, 0);
}

TEST_F(SettingsDialogTest, BluetoothToUsbClosesTheSharedConnection)
{
    Settings().communication = 0;
    openShell();
    bool open = true;
    int closes = 0;
    shell->Bluetooth().isOpen = [&open] { return open; };
    shell->Bluetooth().close = [&open, &closes] {
        open = false;
        ++closes;
    };
    openSettings([](QWidget* dialog) {
        EXPECT_TRUE(dialog->findChild<QPushButton*>("deviceName")->isEnabled());
        QTest::mouseClick(dialog->findChild<QRadioButton*>("usb"), Qt::LeftButton);
        EXPECT_FALSE(dialog->findChild<QPushButton*>("deviceName")->isEnabled());
        press(dialog, "ok");
    });
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(Settings().communication, 1);

    // Staying on the wired link leaves a connection alone.
    open = true;
    openSettings([](QWidget* dialog) { press(dialog, "ok"); });
    EXPECT_EQ(closes, 1);
    shell->Bluetooth() = {};
}

TEST_F(SettingsDialogTest, DemoDeviceChoiceWritesSimulator)
{
    openShell();
    openSettings([](QWidget* dialog) {
        EXPECT_FALSE(dialog->findChild<QCheckBox*>("demoDevice")->isChecked());
        dialog->findChild<QCheckBox*>("demoDevice")->setChecked(true);
        press(dialog, "ok");
    });
    EXPECT_EQ(Settings().simulator, 1);
    EXPECT_EQ(ini("SIMULATOR"), "1");

    Settings().simulator = 3; // a profile chosen by hand stays while the box stays checked
    openSettings([](QWidget* dialog) { press(dialog, "ok"); });
    EXPECT_EQ(ini("SIMULATOR"), "3");
    openSettings([](QWidget* dialog) {
        dialog->findChild<QCheckBox*>("demoDevice")->setChecked(false);
        press(dialog, "ok");
    });
    EXPECT_EQ(ini("SIMULATOR"), "0");
}

TEST_F(SettingsDialogTest, CtrlAltCShowsTheDeviceVersionOrNoVersion)
{
    openShell();
    openSettings([](QWidget* dialog) {
        QTest::keyClick(dialog, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
        Hooks().deviceVersion = [](QString& version) {
            version = "TAV 1.1";
            return true;
        };
        QTest::keyClick(dialog, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
        Hooks().deviceVersion = {};
    });
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "No version");
    EXPECT_EQ(messages[0].caption, "Error");
    EXPECT_EQ(messages[1].text, "Version: TAV 1.1");
    EXPECT_EQ(messages[1].caption, "Prompt");
}

TEST_F(SettingsDialogTest, CtrlAltCAsksTheVirtualSpirometerForItsVersion)
{
    Settings().simulator = 1;
    InstallDeviceHooks();
    openShell();
    openSettings([](QWidget* dialog) {
        QTest::keyClick(dialog, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
    });
    Hooks().deviceVersion = {};
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("Version: ")) << messages[0].text.toStdString();
    EXPECT_GT(messages[0].text.size(), QString("Version: ").size());
}

} // namespace
