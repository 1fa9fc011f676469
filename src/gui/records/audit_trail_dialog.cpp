#include "gui/records/audit_trail_dialog.h"

#include "core/accounts/audit_csv.h"
#include "core/accounts/audit_log.h"
#include "core/app/durable_file.h"
#include "gui/app/show_message.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
AuditFilter filterOf(const QLineEdit* patient, const QLineEdit* user, const QCheckBox* useSince,
                     const QDateEdit* since)
{
    AuditFilter filter;
    filter.patient = patient->text().toInt();
    filter.user = user->text().trimmed();
    if (useSince->isChecked())
        filter.since = since->date().startOfDay();
    return filter;
}
} // namespace

AuditTrailDialog::AuditTrailDialog(Database& db, QWidget* parent) : QDialog(parent), m_db(db)
{
    setWindowTitle(tr("Audit trail"));
    m_patient = new QLineEdit(this);
    m_patient->setObjectName("auditPatient");
    m_patient->setPlaceholderText(tr("patient ID"));
    m_user = new QLineEdit(this);
    m_user->setObjectName("auditUser");
    m_user->setPlaceholderText(tr("user"));
    m_useSince = new QCheckBox(tr("since"), this);
    m_since = new QDateEdit(QDate::currentDate(), this);
    m_since->setCalendarPopup(true);
    auto* show = new QPushButton(tr("Show"), this);
    show->setObjectName("auditShow");
    auto* csv = new QPushButton(tr("Export CSV..."), this);
    csv->setObjectName("auditCsv");
    m_chain = new QLabel(this);
    m_chain->setObjectName("auditChain");
    m_rows = new QTableWidget(0, 9, this);
    m_rows->setObjectName("auditRows");
    m_rows->setHorizontalHeaderLabels({tr("#"), tr("Time (UTC)"), tr("User"), tr("Workstation"),
                                       tr("Action"), tr("Patient"), tr("Record"), tr("Before"),
                                       tr("After")});
    m_rows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_rows->horizontalHeader()->setStretchLastSection(true);
    auto* filters = new QHBoxLayout;
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_patient, m_user, m_useSince, m_since, show, csv})
        filters->addWidget(w);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_chain);
    layout->addWidget(m_rows, 1);
    connect(show, &QPushButton::clicked, this, &AuditTrailDialog::Refresh);
    connect(csv, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getSaveFileName(this, tr("Export CSV"), "audit.csv", "CSV (*.csv)");
        if (!path.isEmpty())
            ExportCsv(path);
    });
    resize(1000, 600);
    Refresh();
}

void AuditTrailDialog::Refresh()
{
    AuditLog log(m_db);
    QString why;
    const qint64 broken = log.FirstBrokenRow(&why);
    m_chain->setText(broken == 0 ? tr("The chain is whole.")
                                 : tr("The chain is broken at row %1: %2").arg(broken).arg(why));
    const std::vector<AuditEntry> rows = log.List(filterOf(m_patient, m_user, m_useSince, m_since));
    m_rows->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const AuditEntry& e = rows[size_t(r)];
        const QString cells[9] = {QString::number(e.seq),
                                  e.at,
                                  e.user,
                                  e.workstation,
                                  e.action,
                                  e.patient > 0 ? QString::number(e.patient) : QString(),
                                  e.target,
                                  e.before,
                                  e.after};
        for (int c = 0; c < 9; ++c)
            m_rows->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
}

bool AuditTrailDialog::ExportCsv(const QString& path)
{
    QString error;
    if (DurableFile::Write(
            path, AuditCsv(AuditLog(m_db).List(filterOf(m_patient, m_user, m_useSince, m_since))),
            &error))
        return true;
    ShowMessage(error, ErrorCaption(), 0, this);
    return false;
}
