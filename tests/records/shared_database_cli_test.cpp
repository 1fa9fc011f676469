// tavctl against a shared server, as workstations and an administrator run it:
// two sessions at once, a killed or failed save, moving a folder over.
#include "support/pg_server.h"
#include "support/run_tool.h"
#include "support/temp_home.h"

#include "core/records/database.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSqlQuery>
#include <QThread>

#include <gtest/gtest.h>

namespace {

class SharedCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        uri = PgTestServer::Shared().NewDatabase();
        ASSERT_FALSE(uri.isEmpty()) << PgTestServer::Shared().Error().toStdString();
    }

    QStringList withServer(QStringList args) const
    {
        return QStringList{"--home", home.path(), "--database", uri} + args;
    }

    ToolResult tavctl(const QStringList& args) const { return RunTool(TAVCTL_PATH, withServer(args)); }

    int scalar(const QString& sql)
    {
        Database db;
        EXPECT_TRUE(db.Open(uri)) << db.LastError().toStdString();
        QSqlQuery query(db.Connection());
        return query.exec(sql) && query.next() ? query.value(0).toInt() : -1;
    }

    int addPatient(const QString& name)
    {
        const ToolResult r = tavctl({"patient", "add", "--name", name, "--gender", "1", "--birth",
                                     "1970-05-06", "--height", "165", "--weight", "60"});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return r.out.trimmed().toInt();
    }

    // A server function `name` with `body` that runs before every CaseInfo insert.
    bool beforeEachRow(const QString& name, const QString& body)
    {
        Database db;
        return db.Open(uri) &&
               db.Execute(QString("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS "
                                  "$$ BEGIN %2 END $$")
                              .arg(name, body)) &&
               db.Execute(QString("CREATE TRIGGER %1_rows BEFORE INSERT ON CaseInfo "
                                  "FOR EACH ROW EXECUTE FUNCTION %1()")
                              .arg(name));
    }

    TempHome home;
    QString uri;
};

// A process started now; the caller waits for it.
std::unique_ptr<QProcess> start(const QStringList& args)
{
    auto process = std::make_unique<QProcess>();
    process->start(TAVCTL_PATH, args);
    process->waitForStarted();
    return process;
}

QByteArray folderDigest(const QString& root)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QStringList paths;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    paths.sort();
    for (const QString& path : paths) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        hash.addData(path.toUtf8());
        hash.addData(file.readAll());
    }
    return hash.result();
}

} // namespace

TEST_F(SharedCli, TwoTestsForOnePatientAtOnceGetTheirOwnNumbers)
{
    const int id = addPatient("Ada");
    ASSERT_GT(id, 0);
    const QStringList test = withServer({"test", "--patient", QString::number(id), "--type",
                                         "fvc", "--profile", "2"});
    auto first = start(test);
    auto second = start(test);
    ASSERT_TRUE(first->waitForFinished(300000));
    ASSERT_TRUE(second->waitForFinished(300000));
    ASSERT_EQ(first->exitCode(), 0) << first->readAllStandardError().toStdString();
    ASSERT_EQ(second->exitCode(), 0) << second->readAllStandardError().toStdString();
    const QJsonObject firstJson = QJsonDocument::fromJson(first->readAllStandardOutput()).object();
    const QJsonObject secondJson = QJsonDocument::fromJson(second->readAllStandardOutput()).object();
    const QString a = firstJson["dataName"].toString();
    const QString b = secondJson["dataName"].toString();
    // Each session keeps its three blows under numbers of its own.
    QSet<QString> kept;
    for (const QJsonObject& json : {firstJson, secondJson})
        for (const QJsonValue& blow : json["stored"].toArray())
            kept.insert(blow.toObject()["file"].toString());
    EXPECT_EQ(kept, QSet<QString>({"1.dt", "2.dt", "3.dt", "4.dt", "5.dt", "6.dt"}));
    EXPECT_NE(a, b);
    for (const QString& name : {a, b}) {
        const ToolResult shown = tavctl({"analyze", "--patient", QString::number(id), name});
        ASSERT_EQ(shown.exitCode, 0) << shown.err.toStdString();
        const QJsonObject header = QJsonDocument::fromJson(shown.out).object()["header"].toObject();
        EXPECT_EQ(header["dataName"].toString(), name);
    }
    // Nothing landed in the local folder.
    EXPECT_FALSE(QFile::exists(home.path(QString("Case/%1/1.dt").arg(id))));
    const ToolResult check = tavctl({"db", "check"});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString();
}

// A workstation killed in the middle of its save: the server holds the whole
// test or nothing of it. The row's insert is made to wait, so the kill comes
// while the bytes are written and the row is not yet in.
TEST_F(SharedCli, AWorkstationKilledDuringItsSaveLeavesTheWholeTestOrNothing)
{
    const int id = addPatient("Cai");
    ASSERT_GT(id, 0);
    ASSERT_TRUE(beforeEachRow("slow", "PERFORM pg_sleep(3); RETURN NEW;"));
    auto saving = start(withServer(
        {"test", "--patient", QString::number(id), "--type", "fvc", "--profile", "2"}));
    // Wait until the save sits in the row's insert, then kill it.
    bool inSave = false;
    for (int i = 0; i < 600 && !inSave; ++i) {
        inSave = scalar("SELECT count(*) FROM pg_stat_activity WHERE wait_event = 'PgSleep'") > 0;
        if (!inSave)
            QThread::msleep(100);
    }
    ASSERT_TRUE(inSave) << saving->readAllStandardError().toStdString();
    saving->kill();
    ASSERT_TRUE(saving->waitForFinished(10000));
    // The server ends the dead connection's transaction once the insert returns.
    for (int i = 0; i < 100 && scalar("SELECT count(*) FROM pg_stat_activity WHERE "
                                      "wait_event = 'PgSleep'") > 0;
         ++i)
        QThread::msleep(100);
    QThread::msleep(500);
    EXPECT_EQ(scalar("SELECT count(*) FROM CaseData"), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM CaseInfo"), 0);
    EXPECT_EQ(tavctl({"db", "check"}).exitCode, 0);

    // Not killed, the same slow save keeps both for each blow of the session.
    const ToolResult whole =
        tavctl({"test", "--patient", QString::number(id), "--type", "fvc", "--profile", "2"});
    ASSERT_EQ(whole.exitCode, 0) << whole.err.toStdString();
    EXPECT_EQ(scalar("SELECT count(*) FROM CaseData"), 3);
    EXPECT_EQ(scalar("SELECT count(*) FROM CaseInfo"), 3);
    EXPECT_EQ(tavctl({"db", "check"}).exitCode, 0);

    // A save whose row fails leaves no bytes behind, and says so.
    ASSERT_TRUE(beforeEachRow("refuse", "RAISE EXCEPTION 'disk quota exceeded';"));
    const ToolResult refused =
        tavctl({"test", "--patient", QString::number(id), "--type", "fvc", "--profile", "2"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_FALSE(QJsonDocument::fromJson(refused.out).object()["outcome"].toString().isEmpty());
    EXPECT_EQ(scalar("SELECT count(*) FROM CaseData"), 3);
    EXPECT_EQ(scalar("SELECT count(*) FROM CaseInfo"), 3);
}

TEST_F(SharedCli, AFolderMovesOverUnchangedAndReportsTheSame)
{
    ASSERT_EQ(RunTool(TAVCTL_PATH, {"--home", home.path(), "demo-seed"}).exitCode, 0);
    const QByteArray before = folderDigest(home.path());
    const ToolResult moved = tavctl({"db", "migrate", "--to", uri});
    ASSERT_EQ(moved.exitCode, 0) << moved.out.toStdString() << moved.err.toStdString();
    const QJsonObject report = QJsonDocument::fromJson(moved.out).object();
    EXPECT_GT(report["files"].toInt(), 0);
    EXPECT_EQ(folderDigest(home.path()), before);
    EXPECT_EQ(scalar("SELECT count(*) FROM CaseData"), report["files"].toInt());

    const ToolResult check = tavctl({"db", "check"});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString();

    // Every day's report reads the same from the folder and from the server.
    Database local;
    ASSERT_TRUE(local.Open(home.path("data.mdb")));
    QSqlQuery days(local.Connection());
    ASSERT_TRUE(days.exec("SELECT DISTINCT ID, substr(TestTime, 1, 10) FROM CaseInfo"));
    int compared = 0;
    while (days.next()) {
        const QStringList args = {"report", "--patient", days.value(0).toString(), "--day",
                                  days.value(1).toString(), "--out"};
        const QString fromFolder = home.path(QString("folder-%1.pdf").arg(compared));
        const QString fromServer = home.path(QString("server-%1.pdf").arg(compared));
        ASSERT_EQ(RunTool(TAVCTL_PATH, QStringList{"--home", home.path()} + args + QStringList{fromFolder}).exitCode, 0);
        ASSERT_EQ(tavctl(args + QStringList{fromServer}).exitCode, 0);
        const QString text = PdfText(fromFolder);
        EXPECT_FALSE(text.trimmed().isEmpty());
        EXPECT_EQ(PdfText(fromServer), text) << days.value(1).toString().toStdString();
        ++compared;
    }
    EXPECT_GT(compared, 0);

    // A second move into the now filled database is refused and changes nothing.
    const ToolResult again = tavctl({"db", "migrate", "--to", uri});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM CaseData"), report["files"].toInt());
}

// Rows without their data are named; data without a row (a session never
// committed) is moved out of the records into Recovered/, bytes unchanged.
TEST_F(SharedCli, CheckNamesRowsWithoutDataAndRecoversDataWithoutRows)
{
    const int id = addPatient("Cai");
    ASSERT_EQ(tavctl({"test", "--patient", QString::number(id), "--type", "fvc", "--profile", "2"}).exitCode, 0);
    {
        Database db;
        ASSERT_TRUE(db.Open(uri));
        ASSERT_TRUE(db.Execute("INSERT INTO CaseInfo (ID, DataName, TestTime) VALUES (?, ?, ?)",
                               {id, "9.dt", "2026-01-01 00:00:00"}));
        ASSERT_TRUE(db.Execute("INSERT INTO CaseData (ID, Name, Bytes) VALUES (?, ?, ?)",
                               {id, "7.dt", QByteArray("stray")}));
    }
    const ToolResult check = tavctl({"db", "check"});
    EXPECT_EQ(check.exitCode, 1);
    const QJsonObject out = QJsonDocument::fromJson(check.out).object();
    EXPECT_EQ(out["missing"].toVariant().toStringList(), QStringList{QString("%1/9.dt").arg(id)});
    EXPECT_TRUE(out["orphans"].toArray().isEmpty());
    const QStringList recovered = out["recovered"].toVariant().toStringList();
    ASSERT_EQ(recovered.size(), 1);
    EXPECT_TRUE(recovered[0].startsWith(QString("%1/7.dt -> ").arg(id))) << recovered[0].toStdString();
    EXPECT_EQ(home.read(QString("Recovered/%1/7.dt").arg(id)), "stray");
    EXPECT_EQ(scalar("SELECT count(*) FROM CaseData WHERE Name = '7.dt'"), 0);
}
