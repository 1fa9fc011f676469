#include "gui/device/comm_setup_dialog.h"

#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "gui/app/show_message.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
QString text(int id)
{
    return GetLangText("COMMBTH", id);
}

QPushButton* button(QWidget* parent, const char* name, int textId)
{
    auto* b = new QPushButton(text(textId), parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}
} // namespace

CommSetupDialog::CommSetupDialog(BluetoothLink& link, QWidget* parent)
    : QDialog(parent), m_link(link), m_savedCommunication(Settings().communication.load())
{
    setObjectName("CommSetupDialog");
    setWindowTitle("Bluetooth");
    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName("status");
    QFont bold = m_statusLabel->font();
    bold.setBold(true);
    m_statusLabel->setFont(bold);
    m_list = new QTreeWidget(this);
    m_list->setObjectName("deviceList");
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({text(201), text(202)});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setMinimumSize(360, 180);
    m_list->header()->setSectionResizeMode(QHeaderView::Stretch);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName("progress");
    m_progress->setTextVisible(false);
    m_progress->hide();
    m_connect = button(this, "connect", 200);
    m_connect->setDefault(true);
    m_scan = button(this, "scan", 1263);
    m_modify = button(this, "modify", 1243);
    m_modify->hide(); // kept for its place; it does nothing
    m_cancel = button(this, "cancel", 133);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_modify);
    buttons->addWidget(m_scan);
    buttons->addStretch();
    buttons->addWidget(m_connect);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_statusLabel);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);

    connect(m_connect, &QPushButton::clicked, this, &CommSetupDialog::onConnect);
    connect(m_scan, &QPushButton::clicked, this, &CommSetupDialog::onScanAgain);
    connect(m_cancel, &QPushButton::clicked, this, &CommSetupDialog::reject);
    connect(m_list, &QTreeWidget::itemChanged, this, &CommSetupDialog::onItemChanged);
    m_progressTimer.setInterval(kProgressMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &CommSetupDialog::onProgress);
    m_startTimer.setSingleShot(true);
    m_startTimer.setInterval(kScanDelayMs);
    connect(&m_startTimer, &QTimer::timeout, this, &CommSetupDialog::startWorker);

    // Bluetooth while the dialog is open; in memory only, so the file never keeps it.
    Settings().communication = 0;
    m_link.chosenIndex = -1;
    startScan();
}

CommSetupDialog::~CommSetupDialog()
{
    m_progressTimer.stop();
    m_startTimer.stop();
    endWorker();
    m_names.clear();
    m_addresses.clear();
    Settings().communication = m_savedCommunication;
}

void CommSetupDialog::setStatus(const QString& status)
{
    m_status = status;
    m_statusLabel->setText(status);
}

void CommSetupDialog::endWorker()
{
    // The worker only runs the inquiry; it never waits for this thread.
    if (m_worker.joinable())
        m_worker.join();
}

// Shared by the start and "Scan again": buttons off, then a scan when a radio is there.
void CommSetupDialog::startScan()
{
    m_connect->setEnabled(false);
    m_modify->setEnabled(false);
    m_scan->setEnabled(false);
    if (m_link.blueTooth.EnumerateRadios() <= 0) {
        m_cancel->setEnabled(true);
        setStatus(text(204));
        return;
    }
    setStatus(text(203));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->show();
    m_cancel->setEnabled(false);
    m_progressTimer.start();
    m_startTimer.start();
}

void CommSetupDialog::startWorker()
{
    m_startTimer.stop();
    if (m_worker.joinable())
        return;
    m_scanDone = 0;
    BluetoothLink* link = &m_link;
    m_worker = std::thread([this, link] {
        m_scanCount = link->blueTooth.Inquire(true);
        m_scanDone = 1;
    });
}

void CommSetupDialog::onProgress()
{
    m_progress->setValue(m_progress->value() >= 100 ? 0 : m_progress->value() + 1);
    if (m_worker.joinable() && m_scanDone.load())
        takeResults();
    if (!m_found)
        return;
    m_progressTimer.stop();
    m_progress->setValue(100);
    m_progress->hide();
    m_connect->setEnabled(true);
    m_modify->setEnabled(true);
    m_scan->setEnabled(true);
    m_cancel->setEnabled(true);
    setStatus(text(205));
}

// The inquiry has ended: list each address once, in inquiry order.
void CommSetupDialog::takeResults()
{
    endWorker();
    m_deviceCount = m_scanCount.load();
    const QList<BluetoothDeviceRecord>& devices = m_link.blueTooth.Devices();
    QStringList shown;
    QSignalBlocker block(m_list);
    for (const BluetoothDeviceRecord& record : devices) {
        const QString address = CBlueTooth::AddressText(record.address);
        m_names.append(record.name);
        m_addresses.append(address);
        if (shown.contains(address))
            continue;
        shown.append(address);
        auto* item = new QTreeWidgetItem(m_list, {record.name, address});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        item->setData(0, Qt::UserRole, record.index);
    }
    if (!shown.isEmpty()) {
        m_found = true;
        return;
    }
    m_progressTimer.stop();
    m_progress->hide();
    m_scan->setEnabled(true);
    m_cancel->setEnabled(true);
    setStatus(text(204));
    m_link.blueTooth.Disconnect();
    m_link.chosenIndex = -1;
}

void CommSetupDialog::onItemChanged(QTreeWidgetItem* item, int column)
{
    if (column != 0 || item->checkState(0) != Qt::Checked)
        return;
    QSignalBlocker block(m_list);
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* other = m_list->topLevelItem(row);
        if (other != item)
            other->setCheckState(0, Qt::Unchecked);
    }
}

void CommSetupDialog::onConnect()
{
    endWorker();
    QTreeWidgetItem* checked = nullptr;
    for (int row = 0; row < m_list->topLevelItemCount() && !checked; ++row)
        if (m_list->topLevelItem(row)->checkState(0) == Qt::Checked)
            checked = m_list->topLevelItem(row);
    if (!checked) {
        ShowMessage(text(206), PromptCaption(), 0, this);
        return;
    }
    // The record behind the row (rows skip repeated addresses, so row and record may differ).
    const int record = checked->data(0, Qt::UserRole).toInt();
    const QList<BluetoothDeviceRecord>& devices = m_link.blueTooth.Devices();
    const bool alreadyUp = m_link.blueTooth.IsConnected() && m_link.chosenIndex == record;
    if (!alreadyUp && record >= 0 && record < devices.size()) {
        m_link.blueTooth.Disconnect();
        m_link.chosenIndex = -1;
        if (m_link.blueTooth.ConnectToBlueToothServer(devices[record].address) != 0) {
            m_link.blueTooth.Disconnect();
            m_link.chosenIndex = -1;
            ShowMessage(GetLangText("MESSAGE", 138), ErrorCaption(), 0, this);
        } else {
            m_link.chosenIndex = record;
        }
    }
    QDialog::accept();
}

void CommSetupDialog::onScanAgain()
{
    endWorker();
    m_found = false;
    m_link.blueTooth.Disconnect();
    m_link.chosenIndex = -1;
    m_cancel->setEnabled(false);
    m_list->clear();
    m_names.clear();
    m_addresses.clear();
    startScan();
}

void CommSetupDialog::reject()
{
    // Cancel is off while a scan runs; the window's close waits for it the same way.
    if (!m_cancel->isEnabled())
        return;
    endWorker();
    if (!(m_link.chosenIndex >= 0 && m_link.blueTooth.IsConnected())) {
        m_link.blueTooth.Disconnect();
        m_link.chosenIndex = -1;
    }
    QDialog::reject();
}
