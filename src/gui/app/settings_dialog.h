#pragma once
#include <QDialog>
#include <QStringList>

class Database;
class Workbench;
class QComboBox;
class QSpinBox;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The settings dialog (template 136): language, link, predicted-value drawing,
// hospital, BTPS, wait, demo device. OK and Default return Accepted.
class SettingsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit SettingsDialog(Workbench& bench, QWidget* parent = nullptr);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    Workbench& m_bench;
    Database& m_db;
    void onOk();
    void onDefault();
    bool overwriteChanges(const QStringList& changes);
    void onDeviceName();
    void onModifyPredicted();
    void showDeviceVersion();

    QComboBox* m_language = nullptr;     // 1191
    QRadioButton* m_usb = nullptr;       // 1151
    QRadioButton* m_bluetooth = nullptr; // 1152
    QPushButton* m_deviceName = nullptr; // 1117
    QCheckBox* m_demo = nullptr;         // demo device (virtual spirometer)
    QRadioButton* m_area = nullptr;      // 1119
    QRadioButton* m_point = nullptr;     // 1120
    QLineEdit* m_hospital = nullptr;     // 1009
    QComboBox* m_btps = nullptr;         // 1192
    QComboBox* m_wait = nullptr;         // 1193
    QSpinBox* m_lockMinutes = nullptr;   // idle minutes before the program locks
};
