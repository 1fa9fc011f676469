// The calibration dialog against the demo device: the right and the wrong
// syringe, the volume code of an empty selection, no device, and Cancel.
#include "gui_fixture.h"
#include "gui/device/device_hooks.h"
#include "core/session/measurement_parts.h"

#include "core/app/lang_text.h"
#include "core/device/device_manager.h"
#include "core/device/device_port.h"
#include "gui/measure/scaler_dlg.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace {

class CalibrationDialogTest : public GuiTest {
  protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        Settings().simulator = 1;
        LiveParts().devices.SetSimulatorRealTime(false);
    }
    void TearDown() override
    {
        LiveParts().devices.SetSimulatorConfig(std::nullopt);
        LiveParts().devices.Disconnect();
        GuiTest::TearDown();
    }
    // The demo operator holds a syringe of `litres`.
    void useSyringe(int litres, std::vector<int> script = {9, 9, 1})
    {
        SimConfig config = SimConfig::ForSetting(1, SimTest::Fvc);
        config.syringeVolume = litres;
        config.calibrationScript = std::move(script);
        LiveParts().devices.SetSimulatorConfig(config);
    }
    // Presses OK and runs the event loop until the worker has ended.
    void calibrate(CScalerDlg& dialog)
    {
        QTest::mouseClick(dialog.findChild<QPushButton*>("ok"), Qt::LeftButton);
        QElapsedTimer timer;
        timer.start();
        while (dialog.Session().WorkerRunning() && timer.elapsed() < 30000)
            QTest::qWait(5);
        QTest::qWait(20); // the queued end of the worker
    }
    int usedVolume() const
    {
        auto device = LiveParts().devices.SimulatedDevice();
        return device ? device->CalibrationVolume() : -1;
    }
};

TEST_F(CalibrationDialogTest, TheRightSyringeSucceedsAndTheWrongOneIsNamed)
{
    useSyringe(3);
    CScalerDlg dialog;
    dialog.show();
    auto* volume = dialog.findChild<QComboBox*>("volume");
    ASSERT_EQ(volume->count(), 2);
    EXPECT_EQ(volume->itemText(0), "2L");
    EXPECT_EQ(volume->itemText(1), "3L");

    volume->setCurrentIndex(1);
    calibrate(dialog);
    EXPECT_EQ(usedVolume(), 3);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, GetLangText("MESSAGE", 1157));
    EXPECT_EQ(messages[0].caption, PromptCaption());
    EXPECT_EQ(dialog.Session().Success(), 1);
    // After a verdict the operator may start again.
    EXPECT_TRUE(dialog.findChild<QPushButton*>("ok")->isEnabled());
    EXPECT_TRUE(volume->isEnabled());
    EXPECT_FALSE(dialog.findChild<QProgressBar*>("progress")->isVisible());

    volume->setCurrentIndex(0);
    calibrate(dialog);
    EXPECT_EQ(usedVolume(), 2);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, GetLangText("MESSAGE", 1156));
    EXPECT_EQ(messages[1].caption, PromptCaption());
    EXPECT_EQ(dialog.Session().WrongSyringe(), 1);
    EXPECT_EQ(dialog.Session().Success(), 0);
}

TEST_F(CalibrationDialogTest, TheTwoLitreSyringeIsShownFromTheStartAndTheStatusEndsWithTheVerdict)
{
    useSyringe(2);
    CScalerDlg dialog;
    dialog.show();
    // The volume the device is told is the one in sight, not an empty list.
    auto* volume = dialog.findChild<QComboBox*>("volume");
    EXPECT_EQ(volume->currentText(), "2L");
    calibrate(dialog);
    EXPECT_EQ(usedVolume(), 2);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, GetLangText("MESSAGE", 1157));
    // The status line no longer asks to go on once the verdict is in.
    EXPECT_EQ(dialog.findChild<QLabel*>("status")->text(), GetLangText("MESSAGE", 1157));

    // An empty selection (a list cleared by hand) still means 2 L.
    volume->setCurrentIndex(-1);
    EXPECT_EQ(dialog.SelectedVolumeCode(), 2);
}

TEST_F(CalibrationDialogTest, EveryVerdictHasItsMessage)
{
    struct Case {
        int status;
        int key;
        bool error;
    };
    for (const Case& c : {Case{3, 1154, false}, Case{7, 1264, true}, Case{11, 1264, true}}) {
        messages.clear();
        useSyringe(0, {9, c.status});
        CScalerDlg dialog;
        dialog.show();
        calibrate(dialog);
        ASSERT_EQ(messages.size(), 1u) << c.status;
        EXPECT_EQ(messages[0].text, GetLangText("MESSAGE", c.key)) << c.status;
        EXPECT_EQ(messages[0].caption, c.error ? ErrorCaption() : PromptCaption()) << c.status;
        EXPECT_EQ(dialog.findChild<QLabel*>("status")->text(), GetLangText("MESSAGE", c.key))
            << c.status;
    }
    // A repeat request: no box, the prompt asks to press OK again.
    messages.clear();
    useSyringe(0, {4});
    CScalerDlg dialog;
    dialog.show();
    calibrate(dialog);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(dialog.findChild<QLabel*>("status")->text(), GetLangText("MESSAGE", 1179));
    EXPECT_EQ(dialog.Session().RepeatRequested(), 1);
}

TEST_F(CalibrationDialogTest, WithoutADeviceTheConnectionMessageAndControlsBack)
{
    Settings().simulator = 0; // no real link is registered in this program
    CScalerDlg dialog;
    dialog.show();
    calibrate(dialog);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, GetLangText("MESSAGE", 138));
    EXPECT_EQ(messages[0].caption, ErrorCaption());
    EXPECT_TRUE(dialog.findChild<QPushButton*>("ok")->isEnabled());
    EXPECT_FALSE(dialog.findChild<QProgressBar*>("progress")->isVisible());
}

TEST_F(CalibrationDialogTest, CancelStopsTheDeviceAndWaitsWithTheInterfaceAlive)
{
    // A device that says "go on" and then waits for strokes that never come.
    useSyringe(0, {9, 9});
    CScalerDlg dialog;
    dialog.show();
    std::atomic<int> last{-1};
    QObject::connect(
        &dialog.Session(), &CalibrationSession::verdict, &dialog,
        [&last](int code) { last = code; }, Qt::DirectConnection);
    QTest::mouseClick(dialog.findChild<QPushButton*>("ok"), Qt::LeftButton);
    QElapsedTimer timer;
    timer.start();
    while (last.load() != CalibrationSession::kWaiting && timer.elapsed() < 10000)
        QTest::qWait(5);
    QTest::qWait(10);
    ASSERT_EQ(last.load(), CalibrationSession::kWaiting);
    auto* status = dialog.findChild<QLabel*>("status");
    EXPECT_EQ(status->text(), GetLangText("MESSAGE", 1333));
    ASSERT_TRUE(dialog.Session().WorkerRunning());
    EXPECT_FALSE(dialog.findChild<QPushButton*>("ok")->isEnabled());

    // The worker is waiting for the device. Cancel only asks it to end: the
    // window is still open when the click returns, and closes on the worker's
    // own signal (which this thread can only see after the click).
    QTest::mouseClick(dialog.findChild<QPushButton*>("cancel"), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(status->text(), GetLangText("MESSAGE", 1180));
    EXPECT_FALSE(dialog.findChild<QPushButton*>("cancel")->isEnabled());
    timer.restart();
    while (dialog.isVisible() && timer.elapsed() < 10000)
        QTest::qWait(5);
    EXPECT_FALSE(dialog.Session().WorkerRunning());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(status->text(), GetLangText("MESSAGE", 1180));
    EXPECT_TRUE(messages.empty());
    auto device = LiveParts().devices.SimulatedDevice();
    EXPECT_TRUE(device == nullptr || !LiveParts().devices.CurrentPort() ||
                !LiveParts().devices.CurrentPort()->IsOpen());
}

} // namespace
