#include "core/session/calibration_session.h"

#include "core/app/interface_thread.h"
#include "core/device/device_manager.h"
#include "core/device/device_port.h"
#include "core/device/device_protocol.h"
#include "core/device/simulator_memory.h"

CalibrationSession::CalibrationSession(DeviceManager& manager, QObject* parent)
    : QObject(parent), m_manager(manager)
{
}

CalibrationSession::~CalibrationSession()
{
    // The worker refers to this object; its read is cut short, so this is brief.
    Cancel();
}

int CalibrationSession::VolumeCode(int selection)
{
    return selection == 1 ? 3 : 2;
}

double CalibrationSession::MeasuredVolume(double volume, int before, int after)
{
    return after > 0 ? volume * before / after : 0.0;
}

CalibrationSession::Step CalibrationSession::StepFor(int status)
{
    switch (status) {
    case -1:
        return {-1, false, false};
    case 1:
        return {kSuccess, false, false};
    case 2:
        return {kWrongSyringe, false, false};
    case 3:
        return {kReplaceBlade, false, false};
    case 4:
        return {kRepeat, false, false};
    case 9:
        return {kWaiting, true, false};
    case 10:
        return {kClose, false, false};
    default: // 0, 5..8 and anything outside -1..10
        return {kFailure, false, true};
    }
}

void CalibrationSession::Join()
{
    if (m_active.load())
        NoteBlockingCall("waiting for the calibration's worker");
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id())
        m_worker.join();
}

int CalibrationSession::Start(int volumeCode)
{
    m_success = 0;
    if (m_active.load())
        return 1; // a running worker is not started again
    Join(); // the last worker has let go of the link: it is only returning
    if (!m_manager.ConnectDevice())
        return 0;
    m_active = 1;
    m_endRequested = false;
    m_manager.LendLink();
    m_worker = std::thread(&CalibrationSession::work, this, volumeCode);
    return 1;
}

bool CalibrationSession::StartInBackground(int volumeCode)
{
    m_success = 0;
    if (m_active.load())
        return false;
    Join();
    m_active = 1;
    m_endRequested = false;
    m_worker = std::thread(&CalibrationSession::connectAndWork, this, volumeCode);
    return true;
}

void CalibrationSession::connectAndWork(int volumeCode)
{
    if (m_endRequested.load() || !m_manager.ConnectDevice()) {
        m_active = 0;
        Q_EMIT verdict(kNoDevice);
        Q_EMIT workerEnded();
        return;
    }
    m_manager.LendLink();
    work(volumeCode);
}

void CalibrationSession::letGo(DeviceProtocol* protocol)
{
    if (DevicePort* port = protocol ? protocol->Port() : nullptr)
        port->Close();
    m_manager.ReturnLink();
    m_active = 0;
    Q_EMIT workerEnded();
}

void CalibrationSession::work(int volumeCode)
{
    m_wrongSyringe = 0;
    m_replaceBlade = 0;
    m_success = 0;
    DeviceProtocol* protocol = m_manager.CurrentProtocol();
    m_factorBefore = m_factorAfter = 0;
    // The coefficient before and after, so that the log says what changed.
    if (protocol && protocol->ReadCoefficients())
        m_factorBefore = protocol->RawExpCoefficient();
    if (!protocol || !protocol->StartCalibration(volumeCode)) {
        Q_EMIT verdict(kTimeOut);
        letGo(protocol);
        return;
    }
    if (m_repeat.exchange(0))
        Q_EMIT verdict(kRepeatStart);
    else
        Q_EMIT verdict(kTesting);
    for (;;) {
        const int status = protocol->GetCalibrationStatus(kStatusTries);
        if (m_endRequested.load()) {
            protocol->EndCalibration(0);
            break;
        }
        const Step step = StepFor(status);
        if (step.endCalibration)
            protocol->EndCalibration(1);
        if (step.verdict == kSuccess) {
            if (protocol->ReadCoefficients())
                m_factorAfter = protocol->RawExpCoefficient();
            // The virtual device keeps its calibration like a real one.
            if (const auto device = m_manager.SimulatedDevice())
                StoreSimulatorCalibration(device->Config());
            m_success = 1;
        }
        else if (step.verdict == kWrongSyringe)
            m_wrongSyringe = 1;
        else if (step.verdict == kReplaceBlade)
            m_replaceBlade = 1;
        else if (step.verdict == kRepeat)
            m_repeat = 1;
        if (step.verdict >= 0)
            Q_EMIT verdict(step.verdict);
        if (!step.keepWaiting)
            break;
    }
    letGo(protocol);
}

void CalibrationSession::RequestEnd()
{
    if (!m_active.load())
        return;
    m_endRequested = true;
    // Cutting the worker's read short is the one thing done to its port from
    // here, once the worker has it (a connecting worker checks the flag).
    if (!m_manager.LinkLent())
        return;
    if (DevicePort* port = m_manager.CurrentPort())
        port->SetReadsCancelled(true);
}

void CalibrationSession::Cancel()
{
    RequestEnd();
    Join();
}
