// The results page's Export menu: a day's FHIR bundle, the CSV table, the GDT
// result to the practice system's folder, and the messages the user sees.
#include "report_gui_fixture.h"

#include "core/exchange/exchange_settings.h"
#include "core/hospital/hospital_settings.h"
#include "core/hospital/outbox.h"
#include "gui/app/gdt_inbox.h"
#include "gui/report/export_menu.h"
#include "gui/report/results_page.h"
#include "support/loopback_server.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSignalSpy>
#include <QSqlQuery>

class ExchangeMenuTest : public ReportGuiTest {
  protected:
    ExportMenu* openMenu(const QString& day)
    {
        openWith(day, kTestFvc);
        shell->ShowPage(MainWindow::kResultsPage);
        QPushButton* button = child(current(), "export");
        if (!button)
            return nullptr;
        auto* menu = qobject_cast<ExportMenu*>(button->menu());
        EXPECT_NE(menu, nullptr);
        EXPECT_EQ(button->text(), GetLangText("EXCHANGE", 2700));
        return menu;
    }
};

TEST_F(ExchangeMenuTest, ExportFhirWritesTheBundleOfTheShownDayAndSaysWhere)
{
    storeFvc("2026-07-01 10:00:00", 4.8f, 3.6f, 8.0f);
    storeVc("2026-07-01 10:20:00", 4.5f);
    ExportMenu* menu = openMenu("2026-07-01");
    ASSERT_NE(menu, nullptr);
    QStringList asked;
    QString answer;
    menu->askSaveName = [&](const QString& suggested, const QString&) {
        asked << suggested;
        return answer;
    };
    // Cancelled: nothing written, nothing said.
    menu->ExportFhir();
    EXPECT_EQ(asked.size(), 1);
    EXPECT_TRUE(messages.empty());

    answer = home.path("out/day.json");
    QDir().mkpath(home.path("out"));
    menu->ExportFhir();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(GetLangText("EXCHANGE", 2704))) << messages[0].text.toStdString();
    const QJsonObject bundle = QJsonDocument::fromJson(home.read("out/day.json")).object();
    EXPECT_EQ(bundle["resourceType"].toString(), "Bundle");

    // A folder that cannot be written: the failure is shown, not a success.
    answer = home.path("missing/folder/day.json");
    menu->ExportFhir();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[1].text.startsWith(GetLangText("EXCHANGE", 2707)));
    EXPECT_EQ(messages[1].caption, ErrorCaption());

    answer = home.path("out/all.csv");
    menu->ExportCsv();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[2].text.startsWith(GetLangText("EXCHANGE", 2705)));
    EXPECT_TRUE(home.read("out/all.csv").contains("2026-07-01T10:00:00"));
}

namespace {

QByteArray gdtLine(const char* field, const QByteArray& content)
{
    return QByteArray::number(9 + content.size()).rightJustified(3, '0') + field + content + "\r\n";
}

// One look of the inbox, its file read on the worker: whether a request was taken.
bool look(GdtInbox& inbox)
{
    QSignalSpy looked(&inbox, &GdtInbox::Looked);
    inbox.Poll();
    return looked.wait(1000) && looked.front().front().toBool();
}

} // namespace

TEST_F(ExchangeMenuTest, InboxSelectsThePatientOfARequestAndReportsARefusedOne)
{
    openShell();
    ASSERT_EQ(shell->CurrentPage()->Template(), MainWindow::kMainPage);
    ExchangeSettings settings;
    settings.gdtFolder = home.path("gdt");
    QDir().mkpath(settings.gdtFolder);
    ASSERT_TRUE(settings.Save(AppPaths::SettingsFile()));
    GdtInbox inbox(*shell, 3600 * 1000); // polled by hand here
    EXPECT_FALSE(look(inbox));

    const QByteArray request = gdtLine("8000", "6301") + gdtLine("9206", "3") + gdtLine("3000", "P-77") +
                               gdtLine("3101", "Lind") + gdtLine("3102", "Ola") +
                               gdtLine("3103", "02031955") + gdtLine("3110", "1");
    home.write("gdt/TAVSPRAX.GDT", request);
    ASSERT_TRUE(look(inbox));
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(QFile::exists(home.path("gdt/TAVSPRAX.GDT")));
    EXPECT_EQ(shell->Patient().PatientNumber, "P-77");
    EXPECT_EQ(shell->Patient().Name, "Lind, Ola");
    EXPECT_EQ(shell->CurrentPatientId(), shell->Patient().ID);
    EXPECT_EQ(shell->CurrentPage()->Template(), MainWindow::kMainPage); // no test was asked for

    QByteArray broken = request;
    broken.replace(gdtLine("3110", "1"), gdtLine("3110", "9"));
    home.write("gdt/TAVSPRAX.GDT", broken);
    EXPECT_FALSE(look(inbox));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(GetLangText("EXCHANGE", 2709)));

    // Under another program's lock a request waits: said once, taken once the lock is gone.
    home.write("gdt/TAVSPRAX.GDT", request);
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "locker");
        other.setDatabaseName(home.path("data.mdb"));
        ASSERT_TRUE(other.open());
        QSqlQuery lock(other);
        ASSERT_TRUE(lock.exec("BEGIN EXCLUSIVE"));
        QSqlQuery(shell->Db().Connection()).exec("PRAGMA busy_timeout = 0");
        EXPECT_FALSE(look(inbox));
        EXPECT_FALSE(look(inbox));
        lock.exec("ROLLBACK");
        other.close();
    }
    QSqlDatabase::removeDatabase("locker");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[1].text.contains("tried again")) << messages[1].text.toStdString();
    EXPECT_TRUE(look(inbox));
    EXPECT_FALSE(QFile::exists(home.path("gdt/TAVSPRAX.GDT")));
    EXPECT_EQ(messages.size(), 2u);

    // The number is another person's here: a new number when chosen, else refused as before.
    QByteArray stranger = request;
    stranger.replace(gdtLine("3102", "Ola"), gdtLine("3102", "Per"));
    home.write("gdt/TAVSPRAX.GDT", stranger);
    answers = {7};
    EXPECT_FALSE(look(inbox));
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[2].text.contains("Lind, Per") && messages[2].text.contains("Lind, Ola"))
        << messages[2].text.toStdString();
    EXPECT_TRUE(QFile::exists(home.path("gdt/TAVSPRAX.GDT.2.refused")));
    home.write("gdt/TAVSPRAX.GDT", stranger);
    answers = {6};
    ASSERT_TRUE(look(inbox));
    EXPECT_EQ(shell->Patient().Name, "Lind, Per");
    EXPECT_NE(shell->Patient().PatientNumber, "P-77");
    EXPECT_FALSE(QFile::exists(home.path("gdt/TAVSPRAX.GDT")));
}

TEST_F(ExchangeMenuTest, SendToHospitalWithNobodyListeningKeepsBothSendsAndTheOutboxCountsEachTry)
{
    storeFvc("2026-07-01 10:00:00", 4.8f, 3.6f, 8.0f);
    ExportMenu* menu = openMenu("2026-07-01");
    ASSERT_NE(menu, nullptr);
    HospitalSettings settings;
    const quint16 closed = LoopbackServer::FreePort();
    settings.hl7 = QString("127.0.0.1:%1").arg(closed);
    settings.pacs = QString("ARCHIVE@127.0.0.1:%1").arg(closed);
    settings.timeoutSeconds = 1;
    ASSERT_TRUE(settings.Save(AppPaths::SettingsFile()));
    menu->SendToHospital();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(GetLangText("EXCHANGE", 2712))) << messages[0].text.toStdString();
    EXPECT_EQ(Outbox::InProgramFolder().List().size(), 2u);

    answers.push_back(1); // "try them again now?"
    menu->ShowOutbox();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[2].text.startsWith(GetLangText("EXCHANGE", 2745).arg(0).arg(2)));
    for (const OutboxEntry& e : Outbox::InProgramFolder().List())
        EXPECT_EQ(e.attempts, 2);
}
