#include "gui/app/hospital_links_dialog.h"

#include "core/app/app_paths.h"
#include "core/app/lang_text.h"
#include "core/hospital/hospital_settings.h"
#include "core/hospital/link_check.h"
#include "core/hospital/network_peer.h"
#include "gui/app/show_message.h"

#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <thread>

namespace {

QString text(int id)
{
    return GetLangText("EXCHANGE", id);
}

QLineEdit* edit(const QString& value, const char* name, QWidget* parent)
{
    auto* e = new QLineEdit(value, parent);
    e->setObjectName(name);
    e->setMinimumWidth(e->fontMetrics().horizontalAdvance("ARCHIVE@pacs.hospital.example:11112"));
    return e;
}

} // namespace

HospitalLinksDialog::HospitalLinksDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName("HospitalLinksDialog");
    setWindowTitle(text(2720));
    const HospitalSettings s = HospitalSettings::Load(AppPaths::SettingsFile());
    m_worklist = edit(s.worklist, "worklist", this);
    m_station = edit(s.station, "station", this);
    m_pacs = edit(s.pacs, "pacs", this);
    m_hl7 = edit(s.hl7, "hl7", this);
    m_callingAe = edit(s.callingAe, "callingAe", this);
    m_timeout = new QSpinBox(this);
    m_timeout->setObjectName("timeout");
    m_timeout->setRange(1, 600);
    m_timeout->setValue(s.timeoutSeconds);
    m_result = new QLabel(this);
    m_result->setObjectName("testResult");
    m_result->setWordWrap(true);
    auto* form = new QFormLayout(this);
    form->addRow(text(2721), m_worklist);
    form->addRow(text(2722), m_station);
    form->addRow(text(2723), m_pacs);
    form->addRow(text(2724), m_hl7);
    form->addRow(text(2725), m_callingAe);
    form->addRow(text(2726), m_timeout);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* test = buttons->addButton(text(2727), QDialogButtonBox::ActionRole);
    test->setObjectName("testConnection");
    form->addRow(buttons);
    form->addRow(m_result);
    connect(test, &QPushButton::clicked, this, &HospitalLinksDialog::TestConnection);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (Save())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool HospitalLinksDialog::Save()
{
    HospitalSettings s = HospitalSettings::Load(AppPaths::SettingsFile());
    s.worklist = m_worklist->text().trimmed();
    s.station = m_station->text().trimmed();
    s.pacs = m_pacs->text().trimmed();
    s.hl7 = m_hl7->text().trimmed();
    s.callingAe =
        m_callingAe->text().trimmed().isEmpty() ? s.callingAe : m_callingAe->text().trimmed();
    s.timeoutSeconds = m_timeout->value();
    QString error;
    NetworkPeer peer;
    const bool valid =
        (s.worklist.isEmpty() || NetworkPeer::Parse(s.worklist, true, peer, &error)) &&
        (s.pacs.isEmpty() || NetworkPeer::Parse(s.pacs, true, peer, &error)) &&
        (s.hl7.isEmpty() || NetworkPeer::Parse(s.hl7, false, peer, &error));
    if (!valid || !s.Save(AppPaths::SettingsFile(), &error)) {
        ShowMessage(error, ErrorCaption(), 0, this);
        return false;
    }
    return true;
}

void HospitalLinksDialog::TestConnection()
{
    if (!Save())
        return;
    const HospitalSettings s = HospitalSettings::Load(AppPaths::SettingsFile());
    std::vector<LinkCheck> checks;
    // The servers answer on a worker; the dialog stays alive meanwhile.
    QEventLoop loop;
    std::thread worker([&] {
        checks = CheckHospitalLinks(s);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    QStringList lines;
    for (const LinkCheck& c : checks)
        lines << QString("%1 %2: %3 (%4)")
                     .arg(c.server, c.address, text(c.ok ? 2728 : 2729), c.detail);
    m_result->setText(lines.isEmpty() ? text(2713) : lines.join('\n'));
    adjustSize();
}
