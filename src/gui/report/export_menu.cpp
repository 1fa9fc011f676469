#include "gui/report/export_menu.h"

#include "core/app/app_paths.h"
#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/exchange/csv_export.h"
#include "core/exchange/day_export.h"
#include "core/exchange/exchange_settings.h"
#include "core/hospital/day_delivery.h"
#include "core/records/database.h"
#include "gui/app/show_message.h"

#include <QDir>
#include <QEventLoop>
#include <QFileDialog>

#include <thread>

namespace {

QString text(int id)
{
    return GetLangText("EXCHANGE", id);
}

} // namespace

ExportMenu::ExportMenu(Database& db, QWidget* parent, std::function<int()> patientId,
                             std::function<QString()> day)
    : QMenu(parent), m_db(db), m_patientId(std::move(patientId)), m_day(std::move(day))
{
    setObjectName("exchangeMenu");
    m_fhir = addAction(QString(), this, &ExportMenu::ExportFhir);
    m_csv = addAction(QString(), this, &ExportMenu::ExportCsv);
    m_gdt = addAction(QString(), this, &ExportMenu::SendGdt);
    m_fhir->setObjectName("exportFhir");
    m_csv->setObjectName("exportCsv");
    m_gdt->setObjectName("sendGdt");
    m_hospital = addAction(QString(), this, &ExportMenu::SendToHospital);
    m_hospital->setObjectName("sendHospital");
    m_outbox = addAction(QString(), this, &ExportMenu::ShowOutbox);
    m_outbox->setObjectName("hospitalOutbox");
    ApplyTexts();
}

void ExportMenu::ApplyTexts()
{
    setTitle(text(2700));
    m_fhir->setText(text(2701));
    m_csv->setText(text(2702));
    m_gdt->setText(text(2703));
    m_hospital->setText(text(2710));
    m_outbox->setText(text(2741));
}

QString ExportMenu::saveName(const QString& suggested, const QString& filter)
{
    if (askSaveName)
        return askSaveName(suggested, filter);
    return QFileDialog::getSaveFileName(parentWidget(), QString(), suggested, filter);
}

void ExportMenu::showOutcome(bool ok, int doneText, const QString& detail, const QString& error)
{
    if (ok)
        ShowMessage(text(doneText) + "\n" + QDir::toNativeSeparators(detail), PromptCaption(), 0, parentWidget());
    else
        ShowMessage(text(2707) + "\n" + error, ErrorCaption(), 0, parentWidget());
}

void ExportMenu::ExportFhir()
{
    const int id = m_patientId();
    const QString day = m_day();
    if (id < 1 || day.isEmpty()) {
        ShowMessage(text(2708), PromptCaption(), 0, parentWidget());
        return;
    }
    const QString path = saveName(QDir::home().filePath(QString("spirometry_%1_%2.json").arg(id).arg(QString(day).remove('-'))),
                                  "FHIR JSON (*.json)");
    if (path.isEmpty())
        return;
    DayExportSummary summary;
    QString error;
    const bool ok = ExportDayFhir(m_db, id, day, path, Settings().simulator.load() != 0,
                                  &summary, &error);
    showOutcome(ok, 2704, summary.file, error);
}

void ExportMenu::ExportCsv()
{
    const QString path = saveName(QDir::home().filePath("spirometry_tests.csv"), "CSV (*.csv)");
    if (path.isEmpty())
        return;
    CsvExportResult result;
    QString error;
    const bool ok = ExportTestsCsv(m_db, QDate(), QDate(), path, result, &error);
    showOutcome(ok, 2705, path, error);
}

void ExportMenu::SendGdt()
{
    const int id = m_patientId();
    const QString day = m_day();
    if (id < 1 || day.isEmpty()) {
        ShowMessage(text(2708), PromptCaption(), 0, parentWidget());
        return;
    }
    DayExportSummary summary;
    QString error;
    const bool ok = ExportDayGdt(m_db, id, day, ExchangeSettings::Load(AppPaths::SettingsFile()),
                                 QString(), true, &summary, &error);
    showOutcome(ok, 2706, summary.file, error);
}

void ExportMenu::SendToHospital()
{
    const int id = m_patientId();
    const QString day = m_day();
    if (id < 1 || day.isEmpty()) {
        ShowMessage(text(2708), PromptCaption(), 0, parentWidget());
        return;
    }
    const HospitalSettings settings = HospitalSettings::Load(AppPaths::SettingsFile());
    // Built here, where the database lives; sent on a worker, the window kept alive meanwhile.
    std::vector<std::pair<PreparedSend, QString>> sends;
    for (const auto& [kind, to] : {std::pair{DeliveryKind::Hl7, settings.hl7}, std::pair{DeliveryKind::Dicom, settings.pacs}}) {
        if (to.isEmpty())
            continue;
        PreparedSend send;
        QString error;
        if (!PrepareSend(m_db, kind, id, day, settings, send, QString(), &error)) {
            showOutcome(false, 0, QString(), error);
            return;
        }
        sends.emplace_back(send, to);
    }
    if (sends.empty()) {
        ShowMessage(text(2713), PromptCaption(), 0, parentWidget());
        return;
    }
    QStringList sent, kept;
    QEventLoop loop;
    std::thread worker([&] {
        const Outbox outbox = Outbox::InProgramFolder();
        for (const auto& [send, to] : sends) {
            const DayDelivery d = Deliver(send, settings, to, outbox);
            (d.outcome.sent ? sent : kept) << (d.outcome.sent ? to : d.outcome.reason);
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    QString message;
    if (!sent.isEmpty())
        message += text(2711) + "\n" + sent.join("\n");
    if (!kept.isEmpty())
        message += (message.isEmpty() ? QString() : "\n\n") + text(2712) + "\n" + kept.join("\n");
    ShowMessage(message, kept.isEmpty() ? PromptCaption() : ErrorCaption(), 0, parentWidget());
}

void ExportMenu::ShowOutbox()
{
    const Outbox outbox = Outbox::InProgramFolder();
    const std::vector<OutboxEntry> entries = outbox.List();
    if (entries.empty()) {
        ShowMessage(text(2744), PromptCaption(), 0, parentWidget());
        return;
    }
    QStringList lines;
    for (const OutboxEntry& e : entries)
        lines << QString("%1 %2 %3 -> %4 (%5x): %6")
                     .arg(e.kind.toUpper(), QString::number(e.patientId), e.day, e.to,
                          QString::number(e.attempts), e.reason);
    if (ShowMessage(text(2742) + "\n" + lines.join("\n") + "\n\n" + text(2743), PromptCaption(), 1,
                    parentWidget()) != 1)
        return;
    OutboxRetry retry;
    QEventLoop loop;
    std::thread worker([&] {
        retry = RetryOutbox(outbox,
                            HospitalSettings::Load(AppPaths::SettingsFile()).timeoutSeconds * 1000);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    ShowMessage(text(2745).arg(retry.sent).arg(retry.waiting) +
                    (retry.reasons.isEmpty() ? QString() : "\n" + retry.reasons.join("\n")),
                retry.waiting == 0 ? PromptCaption() : ErrorCaption(), 0, parentWidget());
}
