// The golden device streams (tests/golden): bytes the virtual spirometer sent
// during recorded tests, clean and with faults on the line, replayed through
// `tavctl replay` as a process. See tests/golden/README.md for how they were
// made and when to make them again.
#include "support/run_tool.h"

#include "core/device/checksum_frame_protocol.h"
#include "core/measure/flow_engine.h"
#include "core/session/assembler_sink.h"
#include "core/session/stream_receiver.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>

namespace {

struct GoldenStream {
    QString name, protocol, type, cexp, cinsp;
};

std::vector<GoldenStream> goldenStreams()
{
    std::vector<GoldenStream> streams;
    QFile file(QStringLiteral(GOLDEN_DIR) + "/replay.txt");
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return streams;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QStringList words = in.readLine().simplified().split(' ', Qt::SkipEmptyParts);
        if (words.size() == 5 && !words[0].startsWith('#'))
            streams.push_back({words[0], words[1], words[2], words[3], words[4]});
    }
    return streams;
}

QByteArray readGolden(const QString& name)
{
    QFile file(QStringLiteral(GOLDEN_DIR) + '/' + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject replay(const GoldenStream& s)
{
    const ToolResult r = RunTool(TAVCTL_PATH,
                                 {"replay", "--protocol", s.protocol, "--type", s.type, "--cexp",
                                  s.cexp, "--cinsp", s.cinsp, "--height", "175", "--gender", "0"},
                                 readGolden(s.name + ".stream"));
    EXPECT_EQ(r.exitCode, 0) << s.name.toStdString() << ": " << r.err.toStdString();
    return QJsonDocument::fromJson(r.out).object();
}

// Equal up to the last digits a different compiler or optimisation may change.
void expectSame(const QJsonValue& got, const QJsonValue& want, const std::string& where)
{
    if (want.isDouble()) {
        ASSERT_TRUE(got.isDouble()) << where;
        const double a = got.toDouble(), b = want.toDouble();
        EXPECT_LE(std::fabs(a - b), 1e-6 * std::max(1.0, std::fabs(b))) << where;
    } else if (want.isArray()) {
        ASSERT_TRUE(got.isArray()) << where;
        const QJsonArray g = got.toArray(), w = want.toArray();
        ASSERT_EQ(g.size(), w.size()) << where;
        for (qsizetype i = 0; i < w.size(); ++i)
            expectSame(g[i], w[i], where + "[" + std::to_string(i) + "]");
    } else if (want.isObject()) {
        ASSERT_TRUE(got.isObject()) << where;
        const QJsonObject g = got.toObject(), w = want.toObject();
        EXPECT_EQ(g.keys(), w.keys()) << where;
        for (const QString& key : w.keys())
            expectSame(g[key], w[key], where + "." + key.toStdString());
    } else {
        EXPECT_EQ(got, want) << where;
    }
}

TEST(GoldenStreams, EachReplaysToItsRecordedResult)
{
    const std::vector<GoldenStream> streams = goldenStreams();
    ASSERT_GE(streams.size(), 20u) << "tests/golden/replay.txt is missing or short";
    for (const GoldenStream& s : streams) {
        const QJsonObject expected = QJsonDocument::fromJson(readGolden(s.name + ".json")).object();
        ASSERT_FALSE(expected.isEmpty()) << s.name.toStdString();
        expectSame(replay(s), expected, s.name.toStdString());
    }
}

// Independent of the recorded results: a pulse the device sent again (a drop
// answered by a resend) or a pause between blows changes no manoeuvre. The
// ascii link has no resend: a pulse dropped there is one pulse (about 0.03 %)
// of the blow, so its values stay within 0.5 %.
TEST(GoldenStreams, ResentPulsesAndPausesGiveTheCleanStreamsManoeuvres)
{
    std::map<QString, GoldenStream> byName;
    for (const GoldenStream& s : goldenStreams())
        byName[s.name] = s;
    const std::pair<const char*, const char*> pairs[] = {{"drop-p1", "fvc-p1"},
                                                         {"drop-end-p1", "fvc-p1"},
                                                         {"pause-p1", "fvc-p1"},
                                                         {"drop-end-p11", "fvc-p11"}};
    for (const auto& [faulty, clean] : pairs) {
        ASSERT_TRUE(byName.count(faulty) && byName.count(clean)) << faulty;
        const QJsonObject a = replay(byName[faulty]), b = replay(byName[clean]);
        ASSERT_EQ(b["maneuvers"].toArray().size(), 3) << clean;
        EXPECT_EQ(a["best"], b["best"]) << faulty;
        if (byName[faulty].protocol == "checksum") {
            expectSame(a["maneuvers"], b["maneuvers"], std::string(faulty) + " vs " + clean);
            continue;
        }
        ASSERT_EQ(a["maneuvers"].toArray().size(), 3) << faulty;
        for (qsizetype i = 0; i < 3; ++i) {
            const QJsonObject x = a["maneuvers"].toArray()[i].toObject();
            const QJsonObject y = b["maneuvers"].toArray()[i].toObject();
            EXPECT_TRUE(x["complete"].toBool()) << faulty << i;
            EXPECT_TRUE(x["failedChecks"].toArray().isEmpty()) << faulty << i;
            // Each phase lacks its last pulse: one pulse and the decay the
            // engine gives a phase's last interval.
            for (const char* field : {"FVC", "FEV1", "FIVC"})
                EXPECT_NEAR(x[field].toDouble(), y[field].toDouble(), 0.045)
                    << faulty << i << field;
            EXPECT_NEAR(x["PEF"].toDouble(), y["PEF"].toDouble(), 0.005 * y["PEF"].toDouble())
                << faulty << i;
        }
    }
}

// Pulses lost for good, or garbage on the line: damaged manoeuvres are
// marked (lost pulses, or the check they failed), and the best one, if any,
// is whole.
TEST(GoldenStreams, DamagedManoeuvresAreMarkedAndNeverBest)
{
    for (const GoldenStream& s : goldenStreams()) {
        if (s.name != "lost-p1" && s.name != "noise-p11")
            continue;
        const QJsonObject out = replay(s);
        const QJsonArray maneuvers = out["maneuvers"].toArray();
        const auto damaged = [&](int i) {
            const QJsonObject m = maneuvers[i].toObject();
            return !m["complete"].toBool() || !m["failedChecks"].toArray().isEmpty();
        };
        int marked = 0;
        for (int i = 0; i < maneuvers.size(); ++i)
            marked += damaged(i) ? 1 : 0;
        EXPECT_GE(marked, 1) << s.name.toStdString();
        const int best = out["best"].toInt();
        ASSERT_LT(best, maneuvers.size());
        if (best >= 0)
            EXPECT_FALSE(damaged(best)) << s.name.toStdString();
        else
            EXPECT_EQ(marked, maneuvers.size()) << s.name.toStdString();
    }
}

// What the checksum protocol makes of `stream` read in pieces: the first
// `cut` bytes, then the rest, each in reads of at most 64 bytes.
struct Parsed {
    int ended = 0;
    std::vector<float> fvc;
    bool operator==(const Parsed&) const = default;
};

Parsed parseInPieces(const QByteArray& stream, int cut, int cexp, int cinsp)
{
    MeasurementStore store;
    auto engine = std::make_unique<FlowEngine>();
    AssemblerSink sink(store, *engine, nullptr);
    sink.Assembler().Begin(kTestFvc, cexp, cinsp);
    ChecksumFrameProtocol protocol;
    protocol.SetCoefficients(cexp, cinsp, 33);
    sink.Attach(protocol);
    StreamReceiver receiver(protocol, sink, [](int) {}); // offline: nobody to ask
    Parsed out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(stream.constData());
    for (const auto& [from, to] : {std::pair{0, cut}, std::pair{cut, int(stream.size())}})
        for (int at = from; at < to && out.ended == 0; at += 64) {
            // Each read in its own buffer: nothing after its end is there.
            unsigned char block[65] = {};
            const int n = std::min(64, to - at);
            std::memcpy(block, bytes + at, n);
            receiver.Received(block, n);
            out.ended = int(sink.StreamOver());
        }
    for (const ManeuverResult& m : store.Maneuvers())
        out.fvc.push_back(m.FVC);
    return out;
}

// A read may end at any byte of a frame (a radio link hands over what came):
// every cut in the last reports of each checksum stream gives the same test,
// the test end included.
TEST(GoldenStreams, AFrameCutAtAnyByteGivesTheSameTest)
{
    for (const GoldenStream& s : goldenStreams()) {
        if (s.protocol != "checksum" || s.type != "fvc")
            continue;
        const QByteArray stream = readGolden(s.name + ".stream");
        const Parsed whole = parseInPieces(stream, 0, s.cexp.toInt(), s.cinsp.toInt());
        ASSERT_EQ(whole.ended, int(AssemblerSink::Over::kTestEnded)) << s.name.toStdString();
        for (int cut = std::max<int>(1, stream.size() - 192); cut < stream.size(); ++cut)
            EXPECT_TRUE(parseInPieces(stream, cut, s.cexp.toInt(), s.cinsp.toInt()) == whole)
                << s.name.toStdString() << " cut at " << cut;
    }
}

} // namespace
