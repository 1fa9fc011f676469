#pragma once
// The virtual spirometer: a device model that consumes the bytes the program
// sends and produces the bytes a real spirometer would answer, for either wire
// protocol. It has no notion of a port: the in-process SimulatedPort and the
// pseudo-terminal server both drive it through HostBytes/DeviceBytes.
#include "core/device/patient_model.h"
#include "core/device/turbine_model.h"
#include "core/device/wire_format.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

enum class SimProtocol { Checksum = 0, Ascii = 1 };

// Faults to inject; pulse numbers count the flow pulses of a test from 1.
struct SimFaults {
    int dropPulse = 0;            // this pulse is held back until the program asks again
    int badChecksumPulse = 0;     // a copy with a wrong checksum goes out before this pulse
    int silenceAfterPulse = 0;    // after this pulse the device says nothing more
    int disconnectAfterPulse = 0; // after this pulse the link drops
    int noAnswerTo = -1;          // command code the device ignores
    bool dropEnd = false;         // the last pulse before every phase end is held back once
    int lostPulse = 0;            // this pulse never goes out, however often it is asked for
    double noise = 0.0;           // each streamed byte is replaced by a random one this often
    unsigned seed = 1;            // of the noise
    int pauseMs = 0;              // silence before every blow (FVC; VC and MVV: the first)
    int pauseBlow = 0;            // the pause comes before this blow only (from 1); 0: every
    int splitBytes = 0;           // a byte link hands the bytes over in pieces of this many
                                  // (reads that end mid-frame); the pty also pauses between
};

struct SimConfig {
    // 1..10 (PatientModel); 11..20 the same patients on an ascii-command device.
    int profile = 1;
    // An FVC test of this one expiration, blown fvcBlows times, instead of
    // the profile's blows (a waveform of known truth).
    std::optional<FlowPhase> blow;
    SimTest test = SimTest::Fvc;
    SimProtocol protocol = SimProtocol::Checksum;
    int firmware = 11;        // 10: version 1.0 (3-byte coefficient frame), 11: 1.1
    int expCoefficient = 145; // raw sensor coefficients before BTPS correction
    int inspCoefficient = 145;
    int temperature = 25; // ambient temperature, C
    int battery = 100;    // 0..127
    int mvvBreaths = 12;
    int fvcBlows = 3; // manoeuvres of an FVC test, 1..10
    // What each status poll of a calibration reports, as the program's
    // status values: 9 keep waiting, 1 success, 2 wrong syringe, 3 replace
    // blade, 4 repeat, 10 device closes (ascii only), -1 end-calibration
    // reply, any other value an unknown status byte.
    std::vector<int> calibrationScript = {9, 9, 1};
    // The syringe the virtual operator pushes, 2 or 3 L; a calibration started
    // for the other volume reports the wrong syringe. 0: always the right one.
    int syringeVolume = 0;
    RotorPhysics rotor; // RotorPhysics::Ideal() for a rotor without inertia or losses
    // Percent the turbine reads off: its pulses per litre are scaled by 1 + drift/100.
    double drift = 0.0;
    // What the device's last calibration stored: the coefficients it reports
    // are the raw ones times this (a calibration under drift undoes it).
    double calibration = 1.0;
    // A syringe check: the virtual operator pushes one stroke of
    // syringeVolume (3 L when 0) at each of these mean flows (L/s), each
    // followed by a refill, instead of the patient's breaths.
    std::vector<double> syringeFlows;
    bool realTime = false;      // stream pulses at the pace of their time stamps
    SimFaults faults;

    // The profile number of the SIMULATOR setting: 1..10 checksum frames,
    // 11..20 ascii commands.
    static SimConfig ForSetting(int simulator, SimTest test);
};

class VirtualSpirometer {
  public:
    static std::unique_ptr<VirtualSpirometer> Make(const SimConfig& config);
    virtual ~VirtualSpirometer() = default;

    // Bytes from the program to the device.
    void HostBytes(const unsigned char* data, int count);
    // Bytes from the device to the program: copies up to `max` bytes and
    // returns how many; 0 when the device has nothing to say now. The
    // checksum device answers in reports: one call never returns more than
    // one report, and every reply starts a report.
    int DeviceBytes(unsigned char* out, int max);

    bool Connected() const { return m_connected; }
    bool Streaming() const { return m_streaming; }
    // Size of the device's reports (64) or 0 for a plain byte stream.
    int ReportSize() const { return m_reportSize; }
    const SimConfig& Config() const { return m_config; }
    ProfileTruth Truth() const { return m_patient.Truth(); }
    // Pulse numbers the program asked for again, in order.
    const std::vector<int>& ResendRequests() const { return m_resends; }
    // Space and times of the last wait parameters, -1 before any.
    int WaitSpace() const { return m_waitSpace; }
    int WaitTimes() const { return m_waitTimes; }
    // Syringe volume code of the last calibration start, -1 before any.
    int CalibrationVolume() const { return m_calibrationVolume; }
    // The coefficients the device reports (after its calibrations).
    int ReportedExpCoefficient() const;
    int ReportedInspCoefficient() const;
    int TotalPulses() const;
    void SetTest(SimTest test);

  protected:
    struct StreamItem {
        std::uint32_t time = 0; // 10 us units from the start of the test
        Wire::Bytes bytes;
        int pulse = 0; // pulse number, 0 for other frames
        bool phaseEnd = false;  // the frame that ends an expiration or inspiration
        bool blowStart = false; // the first pulse of a blow (an expiration)
    };
    // One timed pulse of the test with its phase.
    struct TimedPulse {
        std::uint32_t time;
        int expiration;
    };
    struct Phase {
        int expiration = 1;
        double start = 0.0; // s
        double end = 0.0;
        std::vector<std::uint32_t> pulses;
    };

    explicit VirtualSpirometer(const SimConfig& config, int reportSize);

    virtual void hostByte(unsigned char b) = 0;
    // The frames of one whole test, in sending order.
    virtual std::vector<StreamItem> buildStream() = 0;

    void reply(const Wire::Bytes& bytes);
    void startStream();
    void stopStream();
    void startCalibration(int volume);
    void stopCalibration();
    void rewindToPulse(int pulse);
    void addNoise(unsigned char* bytes, int count);
    bool ignores(int command) const { return command == m_config.faults.noAnswerTo; }
    // The phases of the test with their pulses, expiration then inspiration per breath.
    std::vector<Phase> phases() const;
    // Status bytes of the calibration script, each sent as its own reply.
    virtual Wire::Bytes calibrationStatus(int status) const = 0;

    SimConfig m_config;
    PatientModel m_patient;
    int m_waitSpace = -1, m_waitTimes = -1;
    int m_calibrationVolume = -1;
    std::vector<int> m_resends;

  private:
    static PatientModel patient(const SimConfig& config);
    bool released(const StreamItem& item) const;
    // Whether the patient rests before blow `blow` (from 1).
    bool pausesBefore(int blow) const;
    // The blow (from 1) that stream item `item` belongs to.
    int blowNumber(size_t item) const;
    int takeStream(unsigned char* out, int max);

    int m_reportSize;
    bool m_connected = true;
    bool m_silent = false;
    bool m_streaming = false;
    std::deque<Wire::Bytes> m_replies;
    std::vector<StreamItem> m_stream;
    size_t m_cursor = 0;
    Wire::Bytes m_partial; // rest of a frame cut at the end of a plain-stream read
    bool m_dropped = false, m_corrupted = false;
    std::vector<char> m_heldBack; // per stream item: held back once already
    std::vector<char> m_paused;   // per stream item: the pause before it is over
    std::chrono::steady_clock::time_point m_pauseUntil; // of the pause under way; {} none
    std::uint32_t m_noiseState = 1;
    std::chrono::steady_clock::time_point m_streamStart;
};
