#include "core/session/live_test_session.h"

#include "core/app/interface_thread.h"
#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/device/device_manager.h"
#include "core/device/device_port.h"
#include "core/device/device_protocol.h"
#include "core/measure/curve_point_list.h"
#include "core/measure/flow_engine.h"
#include "core/measure/measurement_store.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/session/live_grading.h"
#include "core/session/blow_coach.h"
#include "core/session/measurement_parts.h"

#include <QJsonDocument>

#include <chrono>
#include <cstring>

LiveTestSession::LiveTestSession(MeasurementParts& parts, QObject* parent)
    : LiveTestSession(parts.devices, parts.store, *parts.engine, parts.points, parent)
{
}

LiveTestSession::LiveTestSession(DeviceManager& manager, MeasurementStore& store,
                                 FlowEngine& engine, CurvePointList& points, QObject* parent)
    : QObject(parent), m_manager(manager), m_store(store), m_engine(engine), m_points(points),
      m_sink(store, engine, &points)
{
}

LiveTestSession::~LiveTestSession()
{
    // The worker refers to this object; its read is cut short, so this is brief.
    Stop();
    Join();
}

void LiveTestSession::prompt(const QString& text)
{
    Q_EMIT promptChanged(text);
}

void LiveTestSession::Join()
{
    if (m_workerActive.load())
        NoteBlockingCall("waiting for the test's worker");
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id())
        m_worker.join();
}

void LiveTestSession::reapWorker()
{
    if (!m_workerActive.load())
        Join();
}

LiveTestSession::StartResult LiveTestSession::Start(int testType)
{
    if (m_running.load() || m_workerActive.load())
        return kRefused;
    reapWorker();
    m_stopRequested = false;
    const StartResult result = startSequence(testType);
    if (result == kStarted)
        m_worker = std::thread(&LiveTestSession::receive, this, m_manager.CurrentProtocol());
    return result;
}

bool LiveTestSession::StartInBackground(int testType)
{
    if (m_running.load() || m_workerActive.load())
        return false;
    reapWorker();
    m_stopRequested = false;
    m_workerActive = true; // the starting worker has the link from now on
    m_worker = std::thread(&LiveTestSession::startAndReceive, this, testType);
    return true;
}

void LiveTestSession::startAndReceive(int testType)
{
    const StartResult result = startSequence(testType);
    if (result != kStarted) {
        m_workerActive = false;
        Q_EMIT startDone(result);
        Q_EMIT workerEnded();
        return;
    }
    // Closed while it started: the loop below leaves at once and stops the device.
    if (m_stopRequested.load())
        m_running = 0;
    Q_EMIT startDone(result);
    receive(m_manager.CurrentProtocol());
}

LiveTestSession::StartResult LiveTestSession::startSequence(int testType)
{
    NoteBlockingCall("the start sequence");
    m_testType = testType;
    m_resends = 0;
    m_ending = TestEnding{};
    m_store.Clear();
    m_points.Clear();
    prompt(GetLangText("FVCTestingDlg", 1205));

    m_manager.SetSimulatedTest(testType);
    if (!m_manager.ConnectDevice()) {
        prompt(GetLangText("MESSAGE", 1207));
        return kNoDevice;
    }
    DeviceProtocol* protocol = m_manager.CurrentProtocol();
    protocol->SetSink(nullptr); // nothing of a test is decoded before it starts

    const int battery = protocol->GetBatteryLevel();
    if (battery >= 1 && battery <= 9) {
        prompt(GetLangText("COMMBTH", 1331));
        m_manager.ClosePort();
        return kLowBattery;
    }
    if (testType == kTestFvc && Settings().wait.load() != 0)
        protocol->SetWaitParameters(Settings().space.load(), Settings().times.load());
    // The coefficients read next are corrected to BTPS or not by this setting:
    // the test's rows say which.
    m_btps = Settings().btps.load() != 0 ? 1 : 0;
    if (!protocol->ReadCoefficients() || !protocol->ReadTemperature() || !protocol->StartTest()) {
        // Which reply failed when the protocol knows; else the connection.
        const QString why = protocol->CommandError();
        m_startError = why.isEmpty() ? GetLangText("MESSAGE", 1207) : why;
        prompt(m_startError);
        return kCommandFailed;
    }
    m_running = 1;
    m_expCoefficient = protocol->ExpCoefficient();
    m_finishRequested = false;
    prompt(GetLangText("MESSAGE", 1206));

    m_sink.ResetLosses();
    // The device only ever sees the low byte of SPACE; the mark on the plot
    // stands for what it waits (no signed overflow from a wild setting).
    const int spaceSent = Settings().space.load() & 0xFF;
    m_sink.Assembler().Begin(testType, protocol->ExpCoefficient(), protocol->InspCoefficient(),
                             spaceSent * 5);
    m_sink.Attach(*protocol);
    m_workerActive = true;
    m_manager.LendLink();
    return kStarted;
}

bool LiveTestSession::streaming(DeviceProtocol* protocol, const StreamReceiver& receiver,
                                TestEnd& end)
{
    switch (receiver.StreamOver()) {
    case AssemblerSink::Over::kNo:
        return true;
    case AssemblerSink::Over::kTestEnded:
        end = TestEnd::Finished;
        // An end that cuts a manoeuvre short may be damage: the device is
        // told to stop, so that it does not stream on to nobody.
        if (m_sink.Assembler().EndedInsideManeuver())
            protocol->StopTest(0);
        break;
    case AssemblerSink::Over::kDeviceStopped:
        m_store.finished = 1;
        end = TestEnd::DeviceStopped;
        break;
    }
    m_running = 0;
    return false;
}

void LiveTestSession::receive(DeviceProtocol* protocol)
{
    using Clock = std::chrono::steady_clock;
    m_store.tidalFound = 0;
    StreamReceiver receiver(*protocol, m_sink, [this, protocol](int pulse) {
        ++m_resends;
        protocol->RequestResend(pulse);
    });
    bool tidalReported = false;
    int lossesReported = 0;
    bool ended = false;
    TestEnd end = TestEnd::Finished;
    unsigned char block[kBlockSize + 2];
    auto lastData = Clock::now();
    auto lastNudge = lastData;
    while (m_running.load()) {
        if (m_finishRequested.load()) {
            protocol->StopTest(0);
            m_running = 0;
            ended = true;
            end = TestEnd::Finished;
            break;
        }
        if (!tidalReported && m_store.tidalFound.load()) {
            tidalReported = true;
            Q_EMIT tidalFound();
        }
        if (m_sink.Losses() > lossesReported) {
            lossesReported = m_sink.Losses();
            Q_EMIT dataLost();
        }
        std::memset(block, 0, sizeof(block));
        // Exactly the bytes that came: a short read is never padded.
        const int got = protocol->ReadSome(block, kBlockSize);
        const auto now = Clock::now();
        if (got <= 0) {
            DevicePort* port = protocol->Port();
            if (!port || !port->IsOpen()) {
                m_running = 0;
                ended = true;
                end = TestEnd::DeviceGone;
                break;
            }
            // Silence is judged by the clock, the same on every link, and
            // from the start: a device that never blows is timed out too.
            if (now - lastData > std::chrono::milliseconds(m_silenceLimitMs)) {
                m_running = 0;
                ended = true;
                end = TestEnd::NoBlow; // or silent in a blow: the store tells
                break;
            }
            if (now - lastNudge > std::chrono::milliseconds(kResendQuietMs)) {
                lastNudge = now;
                receiver.Quiet();
                if (!streaming(protocol, receiver, end)) {
                    ended = true;
                    break;
                }
            }
            continue;
        }
        lastData = lastNudge = now;
        if (m_recorded)
            m_recorded->append(reinterpret_cast<const char*>(block), got);
        // Exactly the bytes that came; a frame cut by the read's end waits
        // in the protocol for the rest.
        receiver.Received(block, got);
        if (!streaming(protocol, receiver, end)) {
            ended = true;
            break;
        }
        if (m_testType == kTestFvc && m_store.ManeuverCount() >= kSessionBlows) {
            // The session is full (it ends by itself at this many blows): the
            // device is told to stop and the blows are kept.
            prompt(GetLangText("CLINICAL", 2583));
            m_finishRequested = true;
        }
    }
    letGo(protocol, ended, end, tidalReported, lossesReported);
}

void LiveTestSession::letGo(DeviceProtocol* protocol, bool ended, TestEnd end,
                            bool tidalReported, int lossesReported)
{
    // Stopped from outside: the device hears it from the link's owner.
    if (!ended) {
        if (m_stopRequested.load())
            protocol->StopTest(0);
        end = m_stopReason.load();
    }
    if (end != TestEnd::Finished)
        m_store.finished = 1;
    m_ending = JudgeEnding(end, m_testType, m_store, m_silenceLimitMs);
    protocol->SetSink(nullptr);
    if (DevicePort* port = protocol->Port())
        port->SetReadsCancelled(false);
    m_manager.ReturnLink();
    m_workerActive = false;
    // From here on the link is the interface thread's again.
    if (!tidalReported && m_store.tidalFound.load())
        Q_EMIT tidalFound();
    if (m_sink.Losses() > lossesReported)
        Q_EMIT dataLost();
    if (end == TestEnd::Finished)
        Q_EMIT deviceFinished(1);
    else
        Q_EMIT endedEarly();
    Q_EMIT workerEnded();
}

void LiveTestSession::Stop(TestEnd reason)
{
    if (!m_workerActive.load() && !m_running.load())
        return;
    if (m_stopRequested.load())
        return; // the first reason counts
    // The reason is in place before the worker can see the request.
    m_stopReason = reason;
    m_stopRequested = true;
    m_running = 0;
    m_store.finished = 1;
    // Cutting the worker's read short is the one thing done to its port from
    // here, once the start sequence has lent it (a starting worker checks the flag).
    if (m_workerActive.load() && m_manager.LinkLent())
        if (DevicePort* port = m_manager.CurrentPort())
            port->SetReadsCancelled(true);
}

void LiveTestSession::Finish()
{
    if (!m_running.load() || m_testType != kTestFvc)
        return;
    m_finishRequested = true;
    if (m_workerActive.load() && m_manager.LinkLent())
        if (DevicePort* port = m_manager.CurrentPort())
            port->SetReadsCancelled(true); // the worker sees the request at once
}

SaveResult LiveTestSession::Save(int request, SaveContext context, Database& db)
{
    if (m_workerActive.load())
        return SaveResult{}; // the worker still has the link: nothing to save yet
    reapWorker();
    return save(request, std::move(context), db);
}

bool LiveTestSession::SaveInBackground(int request, SaveContext context, const Database& records,
                                       OnRecords rows, AfterSave after)
{
    if (m_workerActive.load())
        return false;
    reapWorker();
    m_workerActive = true; // the saving worker has the link and the store
    m_worker = std::thread([this, request, context = std::move(context), &records,
                            rows = std::move(rows), after = std::move(after)]() mutable {
        SaveResult result;
        {
            Database db;
            if (db.OpenSame(records)) {
                if (rows)
                    rows(db, context);
                result = save(request, context, db);
                const QString trouble = after ? after(db, result) : QString();
                if (!trouble.isEmpty())
                    prompt(trouble);
            } else {
                result.outcome = SaveOutcome::NotRecorded;
                result.resultValid = 0;
                result.prompts << db.LastError();
                prompt(db.LastError());
                m_manager.ClosePort();
            }
        }
        m_lastSave = result;
        m_workerActive = false;
        Q_EMIT saved();
        Q_EMIT workerEnded();
    });
    return true;
}

SaveResult LiveTestSession::save(int request, SaveContext context, Database& db)
{
    if (DeviceProtocol* protocol = m_manager.CurrentProtocol()) {
        context.expCoefficient = protocol->ExpCoefficient();
        context.inspCoefficient = protocol->InspCoefficient();
        context.temperature = protocol->Temperature();
        context.deviceId = protocol->DeviceId();
    }
    context.testType = m_testType;
    context.basis.btps = m_btps;
    if (m_testType == kTestFvc) {
        // Each blow's coaching cues go into its row.
        const ManeuverList list = m_store.Maneuvers();
        const PulseStream pulses = m_store.Pulses();
        context.cues.clear();
        for (int i = 0; i < int(list.size()); ++i)
            context.cues.push_back(QString::fromUtf8(
                QJsonDocument(CuesJson(ManeuverCues(kTestFvc, context.expCoefficient, list, pulses, i)))
                    .toJson(QJsonDocument::Compact)));
    }
    if (!context.now.isValid())
        context.now = QDateTime::currentDateTime();
    const std::unique_ptr<TestStore> tests =
        PatientTestStore(db, context.patientId, context.caseFolder);
    const SaveResult result = SaveTest(request, m_store, context, *tests);
    for (const QString& text : result.prompts)
        prompt(text);
    m_manager.ClosePort();
    return result;
}
