// The communication setup dialog over an in-memory Bluetooth: no radio, the
// device list, Connect and Cancel, and the way BluetoothPort::Open asks.
#include "gui_fixture.h"

#include "links/fake_bluetooth.h"

#include "core/app/lang_text.h"
#include "core/device/bluetooth_port.h"
#include "gui/device/comm_setup_dialog.h"
#include "gui/device/device_hooks.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace {

class CommSetupDialogTest : public GuiTest {
  protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        m_link.blueTooth.SetTransport(std::make_unique<FakeBluetooth>(m_state));
        Settings().communication = 1;
    }
    void TearDown() override
    {
        BluetoothPort::SetSetupDialog({});
        GuiTest::TearDown();
    }
    void withRadio() { m_state->radios = {{"hci0", 0x1111}}; }
    QPushButton* button(QWidget* dialog, const char* name)
    {
        return dialog->findChild<QPushButton*>(name);
    }
    // Waits until the scan has listed its results.
    static void waitForScan(CommSetupDialog& dialog)
    {
        QElapsedTimer timer;
        timer.start();
        QTest::qWait(30);
        while (dialog.Scanning() || dialog.findChild<QProgressBar*>("progress")->isVisible()) {
            if (timer.elapsed() > 10000)
                break;
            QTest::qWait(10);
        }
    }

    BluetoothLink m_link;
    std::shared_ptr<FakeBluetoothState> m_state = std::make_shared<FakeBluetoothState>();
};

TEST_F(CommSetupDialogTest, WithoutARadioOnlyCancelIsLeft)
{
    {
        CommSetupDialog dialog(m_link);
        dialog.show();
        EXPECT_EQ(dialog.StatusText(), GetLangText("COMMBTH", 204)); // "No device!"
        EXPECT_FALSE(button(&dialog, "connect")->isEnabled());
        EXPECT_FALSE(button(&dialog, "scan")->isEnabled());
        EXPECT_FALSE(button(&dialog, "modify")->isVisibleTo(&dialog));
        EXPECT_TRUE(button(&dialog, "cancel")->isEnabled());
        EXPECT_FALSE(dialog.findChild<QProgressBar*>("progress")->isVisibleTo(&dialog));
        QTest::qWait(50);
        EXPECT_FALSE(dialog.Scanning());
        // Bluetooth while it is open.
        EXPECT_EQ(Settings().communication.load(), 0);
        QTest::mouseClick(button(&dialog, "cancel"), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    EXPECT_EQ(Settings().communication.load(), 1);
}

TEST_F(CommSetupDialogTest, ListsEachAddressOnceAndConnectsToTheCheckedOne)
{
    withRadio();
    m_state->found = {{"Spiro A", 0xA1}, {"Spiro A", 0xA1}, {"Spiro B", 0xB2}};
    CommSetupDialog dialog(m_link);
    dialog.show();
    EXPECT_EQ(dialog.StatusText(), GetLangText("COMMBTH", 203)); // "Scan......"
    EXPECT_FALSE(button(&dialog, "cancel")->isEnabled());
    waitForScan(dialog);
    EXPECT_EQ(dialog.StatusText(), GetLangText("COMMBTH", 205)); // "Success!"
    for (const char* name : {"connect", "scan", "cancel"})
        EXPECT_TRUE(button(&dialog, name)->isEnabled()) << name;

    auto* list = dialog.findChild<QTreeWidget*>("deviceList");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "Spiro A");
    EXPECT_EQ(list->topLevelItem(0)->text(1), CBlueTooth::AddressText(0xA1));
    EXPECT_EQ(list->topLevelItem(1)->text(1), CBlueTooth::AddressText(0xB2));

    // Connect without a check: stays open.
    QTest::mouseClick(button(&dialog, "connect"), Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, GetLangText("COMMBTH", 206));
    EXPECT_TRUE(dialog.isVisible());

    // One check at most.
    list->topLevelItem(0)->setCheckState(0, Qt::Checked);
    list->topLevelItem(1)->setCheckState(0, Qt::Checked);
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Checked);

    QTest::mouseClick(button(&dialog, "connect"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(m_link.blueTooth.IsConnected());
    EXPECT_EQ(m_state->connectedAddress, 0xB2u);
    // The row is the second, the device record the third of the inquiry.
    EXPECT_EQ(m_link.chosenIndex.load(), 2);
}

TEST_F(CommSetupDialogTest, CancelKeepsAMadeConnectionAndDropsAnyOther)
{
    withRadio();
    m_state->found = {{"Spiro A", 0xA1}};
    {
        CommSetupDialog dialog(m_link);
        waitForScan(dialog);
        ASSERT_EQ(dialog.findChild<QTreeWidget*>("deviceList")->topLevelItemCount(), 1);
        dialog.findChild<QTreeWidget*>("deviceList")->topLevelItem(0)->setCheckState(0, Qt::Checked);
        QTest::mouseClick(button(&dialog, "connect"), Qt::LeftButton);
    }
    ASSERT_TRUE(m_link.blueTooth.IsConnected());
    // The dialog again (from the settings): the connection survives Cancel...
    {
        CommSetupDialog dialog(m_link);
        waitForScan(dialog);
        // ...but a fresh dialog has no device chosen yet, so Cancel drops it.
        QTest::mouseClick(button(&dialog, "cancel"), Qt::LeftButton);
    }
    EXPECT_FALSE(m_link.blueTooth.IsConnected());
    EXPECT_EQ(m_link.chosenIndex.load(), -1);

    // Nothing found: "No device!", Scan and Cancel usable.
    m_state->found.clear();
    CommSetupDialog empty(m_link);
    waitForScan(empty);
    EXPECT_EQ(empty.StatusText(), GetLangText("COMMBTH", 204));
    EXPECT_TRUE(button(&empty, "scan")->isEnabled());
    EXPECT_TRUE(button(&empty, "cancel")->isEnabled());
    EXPECT_FALSE(button(&empty, "connect")->isEnabled());
    // Scan again finds the device that has come in range meanwhile.
    m_state->found = {{"Spiro C", 0xC3}};
    QTest::mouseClick(button(&empty, "scan"), Qt::LeftButton);
    waitForScan(empty);
    EXPECT_EQ(empty.findChild<QTreeWidget*>("deviceList")->topLevelItemCount(), 1);
    EXPECT_EQ(empty.StatusText(), GetLangText("COMMBTH", 205));
}

TEST_F(CommSetupDialogTest, BluetoothOpenAsksThroughTheDialog)
{
    InstallDeviceHooks();
    SharedBluetooth().blueTooth.SetTransport(std::make_unique<FakeBluetooth>(m_state));
    withRadio();
    m_state->found = {{"Spiro A", 0xA1}};
    whenModal([](QWidget* modal) {
        auto* dialog = qobject_cast<CommSetupDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        waitForScan(*dialog);
        ASSERT_EQ(dialog->findChild<QTreeWidget*>("deviceList")->topLevelItemCount(), 1);
        dialog->findChild<QTreeWidget*>("deviceList")->topLevelItem(0)->setCheckState(0, Qt::Checked);
        QTest::mouseClick(dialog->findChild<QPushButton*>("connect"), Qt::LeftButton);
    });
    BluetoothPort port;
    EXPECT_EQ(port.Open(), 1);
    EXPECT_EQ(m_state->connectedAddress, 0xA1u);
    EXPECT_EQ(Settings().communication.load(), 1);
    SharedBluetooth().blueTooth.Disconnect();
    SharedBluetooth().blueTooth.SetTransport(nullptr);
}

} // namespace
