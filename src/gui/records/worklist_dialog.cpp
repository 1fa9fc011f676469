#include "gui/records/worklist_dialog.h"

#include "core/app/app_paths.h"
#include "core/app/lang_text.h"
#include "core/hospital/hospital_settings.h"
#include "core/hospital/order_taking.h"
#include "gui/app/show_message.h"

#include <QDialogButtonBox>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <thread>

namespace {

QString text(int id)
{
    return GetLangText("EXCHANGE", id);
}

} // namespace

WorklistDialog::WorklistDialog(Database& db, QWidget* parent) : QDialog(parent), m_db(db)
{
    setObjectName("WorklistDialog");
    setWindowTitle(text(2731));
    m_table = new QTableWidget(0, 6, this);
    m_table->setObjectName("orders");
    m_table->setHorizontalHeaderLabels(
        {text(2732), text(2733), text(2734), text(2735), text(2736), text(2737)});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_status = new QLabel(this);
    m_status->setObjectName("status");
    m_status->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* take = buttons->addButton(text(2738), QDialogButtonBox::AcceptRole);
    take->setObjectName("take");
    QPushButton* refresh = buttons->addButton(text(2739), QDialogButtonBox::ActionRole);
    refresh->setObjectName("refresh");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
    resize(760, 420);
    connect(refresh, &QPushButton::clicked, this, &WorklistDialog::Refresh);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (TakeSelected())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this] {
        if (TakeSelected())
            accept();
    });
}

WorklistDialog::~WorklistDialog() = default;

void WorklistDialog::Refresh()
{
    const HospitalSettings settings = HospitalSettings::Load(AppPaths::SettingsFile());
    NetworkPeer server;
    QString error;
    if (!NetworkPeer::Parse(settings.worklist, true, server, &error)) {
        m_status->setText(error);
        return;
    }
    WorklistQuery query;
    query.date = QDate::currentDate();
    query.station = settings.station;
    std::vector<WorklistOrder> orders;
    bool ok = false;
    // The server answers on a worker; the dialog stays alive meanwhile.
    QEventLoop loop;
    std::thread worker([&] {
        ok = QueryWorklist(server, settings.callingAe, query, settings.timeoutSeconds * 1000,
                           orders, &error);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    m_orders = ok ? orders : std::vector<WorklistOrder>();
    m_table->setRowCount(int(m_orders.size()));
    for (int row = 0; row < int(m_orders.size()); ++row) {
        const WorklistOrder& o = m_orders[std::size_t(row)];
        const QStringList cells = {o.scheduledTime,
                                   o.patientNumber,
                                   GdtPatientName(o.surname, o.firstName),
                                   o.birthDate.toString("yyyy-MM-dd"),
                                   o.accession,
                                   o.procedure};
        for (int column = 0; column < cells.size(); ++column)
            m_table->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    m_status->setText(ok ? server.Text() : error);
}

bool WorklistDialog::TakeSelected()
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= int(m_orders.size()))
        return false;
    GdtImport result;
    QString error;
    if (TakeWorklistOrder(m_db, m_orders[std::size_t(row)], OrderBook::InProgramFolder(), result,
                          &error) != GdtStore::Stored) {
        ShowMessage(error, ErrorCaption(), 0, this);
        return false;
    }
    m_taken = result.patientId;
    return true;
}
