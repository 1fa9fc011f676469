#pragma once
#include "core/device/hid_backend.h"

#include <QString>

#include <atomic>
#include <memory>

// Our USB HID access layer: finds the device by identity and strings, knows
// its report length, and moves one report per call. Reads wait a bounded
// time, so a reader loop always gets control back.
class CHID {
  public:
    static constexpr int kDefaultReportLength = 65;
    static constexpr int kReadWaitMs = 100;

    explicit CHID(std::unique_ptr<HidBackend> backend = MakeHidapiBackend());
    ~CHID();

    // Opens the `index`-th (from 1) attached device with this identity and
    // these strings. Returns the report length including the report-ID byte,
    // or 0 when no such device could be opened.
    int SelectDeviceOpen(int index, int vendorId, int productId, const QString& manufacturer,
                         const QString& product);
    int IsOpen() const;
    int Close();
    // One report of `length` bytes, report[0] being the report ID.
    int Write(const unsigned char* report, int length, int* written);
    // One report into report[1..]; report[0] is the report ID 0.
    int Read(unsigned char* report, int length, int* read);
    // Non-zero once a read failed with an error rather than a time-out: the
    // device is gone (unplugged).
    int Lost() const { return m_lost; }

    // Bytes in the longest input report plus the report-ID byte, from a HID
    // report descriptor; 0 when the descriptor describes no input.
    static int ReportLengthFromDescriptor(const QByteArray& descriptor);

  private:
    std::unique_ptr<HidBackend> m_backend;
    std::atomic<int> m_lost{0};
};
