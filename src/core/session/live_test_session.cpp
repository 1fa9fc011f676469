#include "core/session/live_test_session.h"

#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/device/device_manager.h"
#include "core/device/device_port.h"
#include "core/device/device_protocol.h"
#include "core/measure/curve_point_list.h"
#include "core/measure/flow_engine.h"
#include "core/measure/measurement_store.h"

#include <cstring>

LiveTestSession::LiveTestSession(QObject* parent)
    : LiveTestSession(DeviceManager::Instance(), MeasurementStore::Instance(),
                      FlowEngine::Instance(), CurvePointList::Instance(), parent)
{
}

LiveTestSession::LiveTestSession(DeviceManager& manager, MeasurementStore& store,
                                 FlowEngine& engine, CurvePointList& points, QObject* parent)
    : QObject(parent), m_manager(manager), m_store(store), m_engine(engine), m_points(points)
{
}

LiveTestSession::~LiveTestSession()
{
    m_running = 0;
    Join();
}

void LiveTestSession::prompt(const QString& text)
{
    Q_EMIT promptChanged(text);
}

void LiveTestSession::Join()
{
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id())
        m_worker.join();
}

LiveTestSession::StartResult LiveTestSession::Start(int testType)
{
    if (m_running.load())
        return kRefused;
    Join(); // the last worker has left its loop already
    m_testType = testType;
    m_resends = 0;
    m_store.Clear();
    m_points.Clear();
    prompt(GetLangText("FVCTestingDlg", 1205));

    m_manager.SetSimulatedTest(testType);
    if (!m_manager.ConnectDevice()) {
        prompt(GetLangText("MESSAGE", 1207));
        return kNoDevice;
    }
    DeviceProtocol* protocol = m_manager.CurrentProtocol();
    protocol->Attach(&m_store, &m_engine, &m_points);
    protocol->SetTestType(testType);

    const int battery = protocol->GetBatteryLevel();
    if (battery >= 1 && battery <= 9) {
        prompt(GetLangText("COMMBTH", 1331));
        m_manager.ClosePort();
        return kLowBattery;
    }
    if (testType == kTestFvc && Settings().wait.load() != 0)
        protocol->SetWaitParameters(Settings().space.load(), Settings().times.load());
    if (!protocol->ReadCoefficients() || !protocol->ReadTemperature() || !protocol->StartTest()) {
        prompt(GetLangText("MESSAGE", 1207));
        return kCommandFailed;
    }
    m_running = 1;
    prompt(GetLangText("MESSAGE", 1206));

    m_engine.SetCoefficients(protocol->ExpCoefficient(), protocol->InspCoefficient());
    m_engine.ResetEngine();
    m_engine.SetDirection(0);
    m_worker = std::thread(&LiveTestSession::receive, this, protocol, m_manager.CountsIdlePolls());
    return kStarted;
}

void LiveTestSession::receive(DeviceProtocol* protocol, bool countIdle)
{
    m_store.tidalFound = 0;
    bool tidalReported = false;
    bool started = false;
    int idle = 0;
    while (m_running.load()) {
        if (!tidalReported && m_store.tidalFound.load()) {
            tidalReported = true;
            Q_EMIT tidalFound();
        }
        unsigned char block[kBlockSize + 1];
        std::memset(block, 0, sizeof(block));
        if (!protocol->Read(block, kBlockSize)) {
            DevicePort* port = protocol->Port();
            const bool lost = !port || !port->IsOpen();
            if (lost || (countIdle && started && ++idle > kIdlePollLimit)) {
                m_running = 0;
                m_store.finished = 1;
                Q_EMIT timedOut();
                break;
            }
            continue;
        }
        idle = 0;
        const int result = protocol->ParseStream(block, kBlockSize);
        if (result == -1) {
            m_running = 0;
            Q_EMIT deviceFinished(1);
            break;
        }
        if (result == -2) {
            m_running = 0;
            m_store.finished = 1;
            Q_EMIT deviceAborted();
            break;
        }
        if (result == 0)
            started = true;
        else if (result > 0) {
            ++m_resends;
            protocol->RequestResend(result);
        }
    }
    if (!tidalReported && m_store.tidalFound.load())
        Q_EMIT tidalFound();
    Q_EMIT workerEnded();
}

void LiveTestSession::Stop()
{
    if (!m_running.load())
        return;
    if (DeviceProtocol* protocol = m_manager.CurrentProtocol())
        protocol->StopTest(0);
    m_running = 0;
    m_store.finished = 1;
}

SaveResult LiveTestSession::Save(int request, SaveContext context, Database& db)
{
    Join();
    if (DeviceProtocol* protocol = m_manager.CurrentProtocol()) {
        context.expCoefficient = protocol->ExpCoefficient();
        context.inspCoefficient = protocol->InspCoefficient();
        context.temperature = protocol->Temperature();
        context.deviceId = protocol->DeviceId();
    }
    context.testType = m_testType;
    if (!context.now.isValid())
        context.now = QDateTime::currentDateTime();
    const SaveResult result = SaveTest(request, m_store, context, db);
    for (const QString& text : result.prompts)
        prompt(text);
    m_manager.ClosePort();
    return result;
}
