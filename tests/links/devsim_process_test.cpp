// `tavctl devsim --pty` as its own process: it prints the pseudo-terminal,
// `tavctl test` runs whole FVC tests against it through the device manager
// and the real SerialPort, clean and with faults, and it ends cleanly when
// told to stop. (An in-process device on a pty is the connect tests' case; its
// refusals of bad options are a tavctl case.)
#include "device/device_fixture.h"
#include "support/test_parts.h"
#include "support/run_tool.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <csignal>

namespace {

class DevsimProcessTest : public RealLinkTest {
  protected:
    void TearDown() override
    {
        if (m_devsim.state() != QProcess::NotRunning) {
            m_devsim.kill();
            m_devsim.waitForFinished(5000);
        }
        RealLinkTest::TearDown();
    }

    // Starts the simulator and returns the pty it serves.
    QString startDevsim(const QStringList& options)
    {
        m_devsim.start(TAVCTL_PATH,
                       QStringList{"--home", home.path(), "devsim", "--pty"} + options);
        if (!m_devsim.waitForStarted(10000) || !m_devsim.waitForReadyRead(10000))
            return {};
        const QJsonObject info = QJsonDocument::fromJson(m_devsim.readLine()).object();
        return info.value("pty").toString();
    }
    // The settings file that sends the wired link to `pty`.
    QByteArray useWiredPort(const QString& pty, const QByteArray& more = {})
    {
        const QByteArray ini = "[SYSTEM]\r\nSIMULATOR=0\r\nCOMMUNICATION=1\r\n" + more +
                               "PORTNAME=" + pty.toLocal8Bit() + "\r\n";
        home.write("System.ini", ini);
        return ini;
    }
    // `tavctl test` of one FVC test for the fixture's patient; its JSON report.
    QJsonObject runTest(const QStringList& more = {})
    {
        const ToolResult r = RunTool(TAVCTL_PATH, QStringList{"--home", home.path(), "test", "--patient",
                                                              QString::number(patientId), "--type", "fvc"} +
                                                      more);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out).object();
    }

    QProcess m_devsim;
};

// A fault of the simulator process reaches the real serial code: it writes
// its bytes three at a time with pauses, so reads end inside frames. Exactly
// the bytes that came are parsed: the stored test is the one a clean line gives.
TEST_F(DevsimProcessTest, FramesCutIntoPiecesOnTheSerialLinkGiveTheCleanTest)
{
    if (!MakeHidapiBackend()->Enumerate(0x2047, 0x0302).isEmpty())
        GTEST_SKIP() << "a HID spirometer is attached and would win the probe";
    const QString pty = startDevsim({"--profile", "12", "--protocol", "ascii", "--fault", "split:3"});
    ASSERT_TRUE(pty.startsWith("/dev/")) << pty.toStdString();
    useWiredPort(pty);
    const QJsonObject piecesJson = runTest();
    EXPECT_EQ(piecesJson.value("outcome").toString(), "saved");
    const QJsonObject cleanJson = runTest({"--profile", "12"});
    EXPECT_EQ(piecesJson.value("record").toObject(), cleanJson.value("record").toObject());
    EXPECT_EQ(piecesJson.value("maneuverResults"), cleanJson.value("maneuverResults"));

    // Told to stop, the simulator ends cleanly.
    ::kill(static_cast<pid_t>(m_devsim.processId()), SIGTERM);
    ASSERT_TRUE(m_devsim.waitForFinished(10000));
    EXPECT_EQ(m_devsim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_devsim.exitCode(), 0);
}

} // namespace
