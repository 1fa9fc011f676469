#pragma once
// Notices the wired spirometer coming and going by looking at the list of
// attached devices now and then: the serial function's ports and the HID
// function's device nodes. What changed between two looks is reported.
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class DeviceWatch : public QObject {
    Q_OBJECT
  public:
    static constexpr int kPollMs = 500;

    // Names of the attached device interfaces; the default lists the
    // spirometer's serial ports and HID nodes.
    using Lister = std::function<QStringList()>;
    explicit DeviceWatch(Lister lister = {}, QObject* parent = nullptr);

    // The spirometer's interfaces attached right now.
    static QStringList AttachedDevices();

    // Takes the current list as the starting point and looks again every
    // `intervalMs` on this object's thread.
    void Start(int intervalMs = kPollMs);
    void Stop();
    // One look: emits removed() when an interface seen before is gone and
    // arrived() when a new one is there (in that order when both).
    void Poll();

  Q_SIGNALS:
    void removed();
    void arrived();

  private:
    Lister m_lister;
    QStringList m_seen;
    QTimer m_timer;
};
