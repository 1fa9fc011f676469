// Sessions killed at random instants of their run: each is stored whole or
// not at all, and the next start settles what the kills left behind.
#include "support/pg_server.h"
#include "support/run_tool.h"
#include "support/temp_home.h"

#include "core/records/database.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QThread>

#include <gtest/gtest.h>

namespace {

constexpr int kKills = 100;

class KilledSessions : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        args = {"--home", home.path()};
        if (GetParam()) {
            uri = PgTestServer::Shared().NewDatabase();
            if (uri.isEmpty())
                GTEST_SKIP() << PgTestServer::Shared().Error().toStdString();
            args << "--database" << uri;
        }
    }

    ToolResult tavctl(const QStringList& more) const { return RunTool(TAVCTL_PATH, args + more); }

    QList<int> column(const QString& sql) const
    {
        Database db;
        EXPECT_TRUE(db.Open(uri.isEmpty() ? home.path("data.mdb") : uri));
        QSqlQuery query(db.Connection());
        QList<int> values;
        EXPECT_TRUE(query.exec(sql));
        while (query.next())
            values << query.value(0).toInt();
        return values;
    }

    // Entries of the program folder but Recovered/ that a finished write never leaves.
    QStringList strayFiles() const
    {
        QStringList stray;
        QDirIterator it(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (!path.contains("/Recovered/") && (it.fileName().startsWith('.') ||
                                                  it.fileName().endsWith(".new")))
                stray << path;
        }
        return stray;
    }

    TempHome home;
    QString uri;
    QStringList args;
};

TEST_P(KilledSessions, AreStoredWholeOrNotAtAll)
{
    const ToolResult added = tavctl({"patient", "add", "--name", "Kill", "--gender", "0",
                                     "--birth", "1970-01-01", "--height", "175", "--weight", "70"});
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    const QStringList test = {"test", "--patient", added.out.trimmed(), "--type", "fvc",
                              "--profile", "2"};
    QElapsedTimer clock;
    clock.start();
    const ToolResult whole = tavctl(test);
    ASSERT_EQ(whole.exitCode, 0) << whole.err.toStdString();
    const qint64 runMs = clock.elapsed();
    const int blows = column("SELECT count(*) FROM CaseInfo").value(0);
    ASSERT_GE(blows, 3);

    QRandomGenerator random(20261207);
    for (int i = 0; i < kKills; ++i) {
        QProcess run;
        run.start(TAVCTL_PATH, args + test);
        ASSERT_TRUE(run.waitForStarted());
        QThread::msleep(random.bounded(int(runMs + runMs / 10) + 1));
        run.kill();
        run.waitForFinished(10000);
    }

    // The next start settles what the kills left; a second check finds nothing more.
    const ToolResult first = tavctl({"db", "check"});
    const QJsonObject settled = QJsonDocument::fromJson(first.out).object();
    EXPECT_EQ(first.exitCode, 0) << first.out.toStdString() << first.err.toStdString();
    EXPECT_EQ(tavctl({"db", "check"}).exitCode, 0);
    EXPECT_EQ(strayFiles(), QStringList());

    const QList<int> perSession = column("SELECT count(*) FROM CaseInfo GROUP BY Session");
    ASSERT_FALSE(perSession.isEmpty());
    for (int count : perSession)
        EXPECT_EQ(count, blows) << "a session kept only part of its blows";
    const int rows = column("SELECT count(*) FROM CaseInfo").value(0);
    if (uri.isEmpty())
        EXPECT_EQ(QDir(home.path("Case/" + added.out.trimmed())).entryList({"*.dt"}).size(), rows);
    else
        EXPECT_EQ(column("SELECT count(*) FROM CaseData").value(0), rows);
    std::printf("%s: %d kills in a %lld ms run: %d sessions stored whole, %lld files recovered\n",
                GetParam() ? "server" : "data.mdb", kKills, runMs, int(perSession.size()) - 1,
                (long long)settled["recovered"].toArray().size());
}

INSTANTIATE_TEST_SUITE_P(Stores, KilledSessions, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Server" : "File"; });

} // namespace
