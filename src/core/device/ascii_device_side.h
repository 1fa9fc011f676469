#pragma once
// The device side of the ascii-command protocol: single-letter commands and
// replies, frames whose data bytes carry a sync bit, and the manoeuvre sums
// the device computes itself at the end of each phase.
#include "core/device/virtual_spirometer.h"

class AsciiDeviceSide : public VirtualSpirometer {
  public:
    explicit AsciiDeviceSide(const SimConfig& config);

    // The three 16-bit sums of an end-of-phase frame (first-second count,
    // peak-flow interval, total count) for pulses at `stamps` (10 us units)
    // of a phase that started at `start` seconds.
    static void PhaseSums(const std::vector<std::uint32_t>& stamps, double start, bool expiration,
                          int sums[3]);

  protected:
    void hostByte(unsigned char b) override;
    std::vector<StreamItem> buildStream() override;
    Wire::Bytes calibrationStatus(int status) const override;
};
