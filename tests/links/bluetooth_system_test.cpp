// CBlueTooth on this machine's own Bluetooth through QtBluetooth. Build and
// test machines have no radio; there the whole chain must fail quickly and
// cleanly (the "No device!" path of the setup dialog).
#include "core/device/blue_tooth.h"
#include "core/device/bluetooth_port.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace {

TEST(BluetoothOnThisMachine, WithoutRadioEverythingFailsCleanly)
{
    int argc = 1;
    char name[] = "test_links_system";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    {
        CBlueTooth blueTooth; // the system's Bluetooth
        if (blueTooth.EnumerateRadios() > 0)
            GTEST_SKIP() << "this machine has a Bluetooth radio";
        EXPECT_LE(blueTooth.Inquire(true), 0);
        EXPECT_TRUE(blueTooth.Devices().isEmpty());
        EXPECT_NE(blueTooth.ConnectToBlueToothServer(0x001122334455ULL), 0);
        EXPECT_FALSE(blueTooth.IsConnected());
        const unsigned char byte = 0x87;
        EXPECT_EQ(blueTooth.Send(&byte, 1), 0);
    }
}

} // namespace
