#pragma once
// CommSetupDialog: choosing the Bluetooth spirometer. A worker runs one
// inquiry while the progress bar turns; the devices found are listed with a
// check box each (at most one checked, each address once), and Connect makes
// the program's one connection to the checked device. While the dialog is
// open COMMUNICATION reads 0 (Bluetooth); its value comes back on close.
#include "core/device/blue_tooth.h"

#include <QDialog>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <thread>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CommSetupDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kProgressMs = 20;
    static constexpr int kScanDelayMs = 10;

    explicit CommSetupDialog(BluetoothLink& link = SharedBluetooth(), QWidget* parent = nullptr);
    ~CommSetupDialog() override;

    QString StatusText() const { return m_status; }
    // From the start of a scan (its delay included) until its results are listed.
    bool Scanning() const { return m_startTimer.isActive() || m_worker.joinable(); }
    bool Found() const { return m_found; }

  public Q_SLOTS:
    void reject() override; // Cancel (2)

  private:
    void startScan();
    void startWorker();
    void onProgress();
    void takeResults();
    void onItemChanged(QTreeWidgetItem* item, int column);
    void onConnect();
    void onScanAgain();
    void setStatus(const QString& text);
    void endWorker();

    BluetoothLink& m_link;
    int m_savedCommunication = 1;
    QString m_status;
    int m_deviceCount = 0;
    bool m_found = false;
    std::thread m_worker;
    std::atomic<int> m_scanDone{0};
    std::atomic<int> m_scanCount{0};
    QStringList m_names;
    QStringList m_addresses;
    QTimer m_progressTimer; // timer 0
    QTimer m_startTimer;    // timer 1
    QLabel* m_statusLabel = nullptr;
    QTreeWidget* m_list = nullptr;      // 1154
    QPushButton* m_connect = nullptr;   // 1155
    QPushButton* m_cancel = nullptr;    // 2
    QProgressBar* m_progress = nullptr; // 1121
    QPushButton* m_modify = nullptr;    // 1117, hidden
    QPushButton* m_scan = nullptr;      // 1156
};
