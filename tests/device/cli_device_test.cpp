// tavctl test, replay and calibrate run as processes, the way a script would.
#include "support/run_tool.h"
#include "support/temp_home.h"

#include "core/device/virtual_spirometer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

ToolResult tavctl(const TempHome& home, QStringList args, const QByteArray& input = {})
{
    args.prepend(home.path());
    args.prepend("--home");
    return RunTool(TAVCTL_PATH, args, input);
}

QJsonObject json(const ToolResult& r)
{
    return QJsonDocument::fromJson(r.out).object();
}

int addPatient(const TempHome& home)
{
    const ToolResult r =
        tavctl(home, {"patient", "add", "--name", "Demo", "--gender", "0", "--birth", "1980-05-05",
                      "--height", "175", "--weight", "70"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return r.out.trimmed().toInt();
}

// What the receive worker would read from the device during one test:
// the checksum device's 64-byte reports, or the ascii device's byte stream.
QByteArray capture(const SimConfig& config)
{
    auto device = VirtualSpirometer::Make(config);
    const unsigned char start[] = {0x8C, 0x0C};
    const unsigned char asciiStart[] = {'A'};
    if (config.protocol == SimProtocol::Ascii)
        device->HostBytes(asciiStart, 1);
    else
        device->HostBytes(start, 2);
    unsigned char block[64];
    device->DeviceBytes(block, 64); // the start reply
    QByteArray stream;
    while (int n = device->DeviceBytes(block, 64)) {
        QByteArray report(reinterpret_cast<const char*>(block), n);
        if (device->ReportSize() > 0)
            report.append(QByteArray(64 - n, '\0'));
        stream += report;
    }
    return stream;
}

} // namespace

TEST(TavctlDevice, ReplayOfACapturedStreamGivesTheLiveResult)
{
    TempHome home;
    const int id = addPatient(home);
    for (SimProtocol protocol : {SimProtocol::Checksum, SimProtocol::Ascii}) {
        SimConfig config;
        config.profile = 2;
        config.protocol = protocol;
        const bool ascii = protocol == SimProtocol::Ascii;
        const ToolResult live = tavctl(home, {"test", "--patient", QString::number(id), "--type",
                                              "fvc", "--profile", ascii ? "12" : "2",
                                              "--record", home.path("live.stream")});
        ASSERT_EQ(live.exitCode, 0) << live.err.toStdString();
        const QJsonObject liveRecord = json(live)["record"].toObject();
        // The header holds the corrected coefficients the live test used.
        const ToolResult analyzed = tavctl(home, {"analyze", json(live)["path"].toString()});
        ASSERT_EQ(analyzed.exitCode, 0) << analyzed.err.toStdString();
        const QJsonObject header = json(analyzed)["header"].toObject();

        const ToolResult r =
            tavctl(home,
                   {"replay", "--protocol", ascii ? "ascii" : "checksum", "--type", "fvc", "--cexp",
                    QString::number(header["expCoefficient"].toInt()), "--cinsp",
                    QString::number(header["inspCoefficient"].toInt()), "--height", "175",
                    "--gender", "0"},
                   capture(config));
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QJsonObject out = json(r);
        EXPECT_EQ(out["ended"].toInt(), -1);
        const QJsonArray maneuvers = out["maneuvers"].toArray();
        ASSERT_EQ(maneuvers.size(), 3);
        EXPECT_EQ(out["best"].toInt(), 0);
        const QJsonObject best = maneuvers[0].toObject();
        for (const char* field : {"FVC", "FEV1", "PEF", "FIVC", "EVOL", "ELA", "MVV"})
            EXPECT_DOUBLE_EQ(best[field].toDouble(), liveRecord[field].toDouble())
                << field << ascii;
        EXPECT_EQ(out["acceptance"].toArray(), json(live)["acceptance"].toArray());

        // What the live test recorded with --record is what the device sent.
        EXPECT_EQ(json(live)["cexp"].toInt(), header["expCoefficient"].toInt());
        const ToolResult recorded =
            tavctl(home,
                   {"replay", "--protocol", ascii ? "ascii" : "checksum", "--type", "fvc", "--cexp",
                    QString::number(json(live)["cexp"].toInt()), "--cinsp",
                    QString::number(json(live)["cinsp"].toInt()), "--height", "175", "--gender",
                    "0"},
                   home.read("live.stream"));
        ASSERT_EQ(recorded.exitCode, 0) << recorded.err.toStdString();
        EXPECT_EQ(json(recorded)["maneuvers"], out["maneuvers"]) << ascii;
    }
}
