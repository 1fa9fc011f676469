#include "core/device/hid_backend.h"

#include <hidapi/hidapi.h>

#include <fcntl.h>
#include <linux/hidraw.h>
#include <mutex>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QString fromWide(const wchar_t* text)
{
    return text ? QString::fromWCharArray(text) : QString();
}

class HidapiBackend : public HidBackend {
  public:
    HidapiBackend()
    {
        static std::once_flag once;
        std::call_once(once, [] { hid_init(); });
    }
    ~HidapiBackend() override { Close(); }

    QList<DeviceInfo> Enumerate(int vendorId, int productId) override
    {
        QList<DeviceInfo> result;
        hid_device_info* list = hid_enumerate(static_cast<unsigned short>(vendorId),
                                              static_cast<unsigned short>(productId));
        for (hid_device_info* it = list; it; it = it->next) {
            result.append({QString::fromLocal8Bit(it->path), it->vendor_id, it->product_id,
                           fromWide(it->manufacturer_string), fromWide(it->product_string)});
        }
        hid_free_enumeration(list);
        return result;
    }

    bool Open(const QString& path) override
    {
        Close();
        m_path = path;
        m_device = hid_open_path(path.toLocal8Bit().constData());
        return m_device != nullptr;
    }

    void Close() override
    {
        if (m_device)
            hid_close(m_device);
        m_device = nullptr;
    }

    bool IsOpen() const override { return m_device != nullptr; }

    // hidapi 0.13 has no descriptor call; the hidraw node answers it directly.
    QByteArray ReportDescriptor() override
    {
        const int fd = ::open(m_path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK);
        if (fd < 0)
            return {};
        QByteArray result;
        int size = 0;
        hidraw_report_descriptor descriptor{};
        if (ioctl(fd, HIDIOCGRDESCSIZE, &size) == 0 && size > 0 &&
            size <= HID_MAX_DESCRIPTOR_SIZE) {
            descriptor.size = static_cast<__u32>(size);
            if (ioctl(fd, HIDIOCGRDESC, &descriptor) == 0)
                result = QByteArray(reinterpret_cast<const char*>(descriptor.value), size);
        }
        ::close(fd);
        return result;
    }

    int Write(const unsigned char* data, int length) override
    {
        return m_device ? hid_write(m_device, data, static_cast<size_t>(length)) : -1;
    }

    int Read(unsigned char* data, int length, int timeoutMs) override
    {
        return m_device ? hid_read_timeout(m_device, data, static_cast<size_t>(length), timeoutMs)
                        : -1;
    }

  private:
    hid_device* m_device = nullptr;
    QString m_path;
};

} // namespace

std::unique_ptr<HidBackend> MakeHidapiBackend()
{
    return std::make_unique<HidapiBackend>();
}
