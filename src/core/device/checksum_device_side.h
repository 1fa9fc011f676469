#pragma once
// The device side of the checksum-frame protocol: command frames in, reply
// frames out, numbered flow pulses during a test, retransmission on request.
#include "core/device/virtual_spirometer.h"

class ChecksumDeviceSide : public VirtualSpirometer {
  public:
    explicit ChecksumDeviceSide(const SimConfig& config);

    // Length of a frame the program sends, by its code (0: not a command).
    static int CommandLength(unsigned char code);

  protected:
    void hostByte(unsigned char b) override;
    std::vector<StreamItem> buildStream() override;
    Wire::Bytes calibrationStatus(int status) const override;

  private:
    void command(const Wire::Bytes& frame);

    Wire::Bytes m_command; // command frame being received
    int m_expected = 0;
};
