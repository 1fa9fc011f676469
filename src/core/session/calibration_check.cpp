#include "core/session/calibration_check.h"

#include "core/app/lang_text.h"
#include "core/device/device_manager.h"
#include "core/device/device_protocol.h"
#include "core/session/measurement_parts.h"

#include <chrono>
#include <thread>

namespace {

// The prompts for each band, in the order low, mid, high.
constexpr int kBandPrompt[] = {3170, 3171, 3172};

} // namespace

CalibrationCheck::CalibrationCheck(MeasurementParts& parts, double syringeVolume,
                                   std::vector<FlowBand> bands, QObject* parent)
    : QObject(parent), m_parts(parts), m_session(parts), m_check(syringeVolume, bands)
{
    // The virtual operator pushes each stroke in the middle of its band.
    std::vector<double> flows;
    for (const FlowBand band : bands)
        flows.push_back(SyringeCheck::BandMiddle(band));
    m_parts.devices.SetSimulatedSyringe(syringeVolume, flows);
    connect(&m_session, &LiveTestSession::startDone, this, [this](int result) {
        if (result == LiveTestSession::kStarted)
            started();
        else
            finish();
    });
    connect(&m_session, &LiveTestSession::deviceFinished, this, &CalibrationCheck::finish);
    connect(&m_session, &LiveTestSession::endedEarly, this, &CalibrationCheck::finish);
    ask();
}

CalibrationCheck::~CalibrationCheck()
{
    m_session.Stop();
    m_session.Join();
    m_parts.devices.SetSimulatedSyringe(0, {});
}

LiveTestSession::StartResult CalibrationCheck::Run()
{
    m_ended = false;
    m_device.clear();
    const LiveTestSession::StartResult result = m_session.Start(kTestFvc);
    if (result != LiveTestSession::kStarted) {
        m_ended = true;
        return result;
    }
    started();
    // Judged while the device streams, so that it is stopped once every band
    // has its stroke; no event loop needed.
    while (m_session.WorkerActive()) {
        Follow();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    finish();
    return result;
}

bool CalibrationCheck::StartInBackground()
{
    m_ended = false;
    m_device.clear();
    return m_session.StartInBackground(kTestFvc);
}

void CalibrationCheck::started()
{
    m_following = true; // the start sequence has emptied the store
    // The receive worker fills in the device's id from its frames: it is read
    // once that worker has ended, never while it writes.
    m_nameDevice = true;
}

void CalibrationCheck::Follow()
{
    const DeviceProtocol* protocol = m_parts.devices.CurrentProtocol();
    if (!protocol || !m_following)
        return;
    const std::vector<MeasuredStroke> strokes =
        SyringeCheck::Strokes(m_parts.store.Pulses(), m_parts.store.Maneuvers(),
                              m_session.ExpCoefficient(), protocol->RawExpCoefficient());
    QString refusal;
    for (; m_offered < int(strokes.size()) && !m_check.Done(); ++m_offered) {
        const MeasuredStroke& s = strokes[m_offered];
        refusal = m_check.Offer(s) ? QString()
                                   : GetLangText("MESSAGE", 3173).arg(s.meanFlow, 0, 'f', 2);
    }
    ask(refusal);
    if (m_check.Done() && m_session.Running())
        m_session.Finish(); // every band has its stroke: the device may stop
}

void CalibrationCheck::Stop()
{
    m_session.Stop();
}

void CalibrationCheck::finish()
{
    if (m_ended)
        return; // the device's end after Finish, or a start that failed
    m_ended = true;
    Follow();
    m_session.Join();
    if (m_nameDevice) {
        m_nameDevice = false;
        const DeviceProtocol* protocol = m_parts.devices.CurrentProtocol();
        const QByteArray id = protocol ? protocol->DeviceId() : QByteArray();
        m_device = m_parts.devices.SimulatedDevice() ? QString("virtual") : QString::fromLatin1(id);
    }
    m_parts.devices.ClosePort();
    Q_EMIT ended();
}

void CalibrationCheck::ask(const QString& refusal)
{
    const std::optional<FlowBand> band = m_check.Asked();
    QString text = band ? GetLangText("MESSAGE", kBandPrompt[int(*band)]) : QString();
    if (!refusal.isEmpty())
        text = refusal + " " + text;
    if (text == m_prompt)
        return;
    m_prompt = text;
    Q_EMIT asked(text);
}
