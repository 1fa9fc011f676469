// tavctl replay: a saved device byte stream fed through the stream parser in
// 64-byte blocks exactly as the receive worker does, then every manoeuvre
// completed as the writer does. Nothing is written.
#include "cli_context.h"
#include "commands.h"
#include "device_json.h"
#include "json_out.h"

#include "core/device/ascii_command_protocol.h"
#include "core/device/checksum_frame_protocol.h"
#include "core/measure/curve_point_list.h"
#include "core/measure/flow_engine.h"
#include "core/measure/maneuver_check.h"
#include "core/measure/maneuver_quality.h"
#include "core/measure/measurement_store.h"
#include "core/measure/vc_analysis.h"
#include "core/session/assembler_sink.h"
#include "core/session/stream_receiver.h"

#include <QFile>
#include <QJsonArray>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

const char kUsage[] = "usage: tavctl replay --protocol checksum|ascii --type fvc|vc|mvv --cexp N "
                      "--cinsp N --height CM --gender 0|1 < STREAM";

bool intOption(QStringList& args, const char* name, int low, int high, int& value)
{
    bool ok = false;
    value = CliContext::TakeOption(args, name).toInt(&ok);
    return ok && value >= low && value <= high;
}

// Index of the first sample of manoeuvre `index` in the stream.
long long firstSample(const ManeuverList& list, int index)
{
    long long first = 0;
    for (int i = 0; i < index && i < int(list.size()); ++i)
        first += std::max(list[i].ExpCount, 0) + std::max(list[i].InspCount, 0);
    return first;
}

} // namespace

int CmdReplay(CliContext&, QStringList& args)
{
    const QString protocolName = CliContext::TakeOption(args, "--protocol");
    const int type = ParseTestType(CliContext::TakeOption(args, "--type"));
    int cexp = 0, cinsp = 0, height = 0, gender = 0;
    if ((protocolName != "checksum" && protocolName != "ascii") || type < 0 ||
        !intOption(args, "--cexp", 1, 65535, cexp) ||
        !intOption(args, "--cinsp", 1, 65535, cinsp) ||
        !intOption(args, "--height", 50, 250, height) ||
        !intOption(args, "--gender", 0, 1, gender) || !args.isEmpty())
        return CliContext::Fail(kUsage);

    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return CliContext::Fail("cannot read the stream from standard input");
    const QByteArray stream = input.readAll();

    MeasurementStore store;
    auto engine = std::make_unique<FlowEngine>();
    CurvePointList points;
    std::unique_ptr<DeviceProtocol> protocol;
    if (protocolName == "ascii")
        protocol = std::make_unique<AsciiCommandProtocol>();
    else
        protocol = std::make_unique<ChecksumFrameProtocol>();
    AssemblerSink sink(store, *engine, &points);
    protocol->SetCoefficients(cexp, cinsp, 33);
    sink.Assembler().Begin(type, cexp, cinsp);
    sink.Attach(*protocol);
    // Offline nobody can send a pulse again: the requests are only listed.
    QJsonArray resends;
    StreamReceiver receiver(*protocol, sink, [&resends](int pulse) { resends.append(pulse); });

    // Blocks as the worker reads them: 64 bytes each, the last one as long
    // as what is left.
    const auto over = [&receiver] { return receiver.StreamOver() != AssemblerSink::Over::kNo; };
    for (qsizetype at = 0; at < stream.size() && !over(); at += 64) {
        unsigned char block[65] = {};
        const qsizetype n = std::min<qsizetype>(64, stream.size() - at);
        std::memcpy(block, stream.constData() + at, size_t(n));
        receiver.Received(block, int(n));
    }
    // The link stays quiet: a pulse still missing is asked for again, then
    // given up.
    for (int quiet = 0; !over() && quiet < 16 && receiver.Quiet(); ++quiet) {
    }
    protocol->SetSink(nullptr);

    ManeuverList list = store.Maneuvers();
    const std::vector<ManeuverStatus> statuses = store.Statuses();
    const PulseStream pulses = store.Pulses();
    for (ManeuverResult& record : list)
        DeriveManeuver(record, height, gender);
    int best = -1, valid = 1;
    AcceptanceFlags acceptance;
    if (type == kTestFvc) {
        best = BestUsableFvcIndex(list, statuses);
        if (best >= 0) {
            const long long start = firstSample(list, best);
            const long long count = std::clamp<long long>((long long)pulses.size() - start, 0,
                                                          std::max(list[best].ExpCount, 0) +
                                                              std::max(list[best].InspCount, 0));
            PulseStream samples(pulses.begin() + start, pulses.begin() + start + count);
            const std::uint32_t base = best > 0 && start > 0 ? pulses[start - 1].time : 0;
            for (PulseSample& s : samples)
                s.time -= base;
            TestFileHeader header;
            header.expCoefficient = cexp;
            header.inspCoefficient = cinsp;
            Acceptance(list[best], header, acceptance, samples.data(), int(samples.size()));
        }
        valid = best >= 0;
    } else if (type == kTestVc) {
        TidalIndices tidal = store.Tidal();
        int found = store.tidalFound.load();
        std::vector<TidalSummary> summaries;
        valid = found ? VcAnalysis(list, pulses, tidal, found, summaries) : 0;
        best = valid ? 0 : -1;
    } else {
        valid = list.size() >= 2 && list[1].FIVC != 0;
        if (valid) {
            int last = 0;
            while (last + 1 < int(list.size()) && list[last + 1].FIVC != 0)
                ++last;
            const long long end = firstSample(list, last + 1);
            const double seconds =
                end > 0 && end <= (long long)pulses.size() ? pulses[end - 1].time * 1e-5 : 0.0;
            ComputeMvv(list, 0, last, seconds);
            best = 0;
        }
    }

    // A VC or MVV result needs every breath whole, as the writer does.
    if (type != kTestFvc)
        for (const ManeuverStatus& status : statuses)
            if (!status.complete || status.failedChecks)
                valid = 0;

    QJsonArray maneuvers;
    for (size_t i = 0; i < list.size(); ++i) {
        QJsonObject m = ManeuverJson(list[i]);
        m["complete"] = i >= statuses.size() || statuses[i].complete;
        // Which of the receiver's checks the manoeuvre failed (empty: none).
        m["failedChecks"] = QJsonArray::fromStringList(
            i < statuses.size() ? FailedCheckNames(statuses[i].failedChecks) : QStringList());
        maneuvers.append(m);
    }
    QJsonObject json;
    json["maneuvers"] = maneuvers;
    json["best"] = best;
    json["acceptance"] = AcceptanceJson(acceptance);
    json["valid"] = valid;
    json["samples"] = qint64(pulses.size());
    // As the stored replays have it: -1 the device's test end, -2 its stop.
    const AssemblerSink::Over how = receiver.StreamOver();
    json["ended"] = how == AssemblerSink::Over::kTestEnded      ? -1
                    : how == AssemblerSink::Over::kDeviceStopped ? -2
                                                                 : 0;
    json["resends"] = resends;
    PrintJson(json);
    return 0;
}
