// The programs run as separate processes, the way a user starts them: the
// desktop program on a corrupt data.mdb, and tavctl demo-seed.
#include "support/temp_home.h"

#include "core/records/database.h"
#include "core/records/recordset.h"
#include "core/records/session_records.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(StartupTest, ACorruptDatabaseIsReportedAndLeftUntouched)
{
    TempHome home;
    const QByteArray junk = "This is not a database, and it must stay exactly like this.\n";
    home.write("data.mdb", junk);
    const QString tav = QCoreApplication::applicationDirPath() + "/tav";
    ASSERT_TRUE(QFile::exists(tav));

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TAV_HOME", home.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TAV_AUTO_ANSWER", "1"); // the message box reports to stderr instead of waiting
    process.setProcessEnvironment(env);
    process.start(tav, {});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_NE(process.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError())
                    .contains(QString::fromUtf8("连接数据库失败！")));
    EXPECT_EQ(home.read("data.mdb"), junk);
    EXPECT_FALSE(QFile::exists(home.path("System.ini")));
}

TEST(DemoSeedTest, AnEmptyFolderGetsDemoPatientsWithTestsOnlyOnce)
{
    TempHome home;
    const QString tavctl = QCoreApplication::applicationDirPath() + "/tavctl";
    QProcess first;
    first.start(tavctl, {"--home", home.path(), "demo-seed"});
    ASSERT_TRUE(first.waitForFinished(120000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    const QJsonObject seeded = QJsonDocument::fromJson(first.readAllStandardOutput()).object();
    EXPECT_EQ(seeded["created"].toArray().size(), 5);
    EXPECT_GT(seeded["tests"].toInt(), 5);
    for (int id = 1; id <= 5; ++id)
        EXPECT_TRUE(QDir(home.path(QString("Case/%1").arg(id))).exists());
    EXPECT_TRUE(QFile::exists(home.path("Case/1/1.dt")));

    QProcess again;
    again.start(tavctl, {"--home", home.path(), "demo-seed"});
    ASSERT_TRUE(again.waitForFinished(60000));
    EXPECT_EQ(again.exitCode(), 0);
    const QJsonObject second = QJsonDocument::fromJson(again.readAllStandardOutput()).object();
    EXPECT_TRUE(second["created"].toArray().isEmpty());
    EXPECT_EQ(second["tests"].toInt(), 0);

    Database db;
    ASSERT_TRUE(db.Open(home.path("data.mdb")));
    Recordset patients(db);
    patients.Open("SELECT * FROM UserInfo");
    EXPECT_EQ(patients.GetRecordCount(), 5);
    Recordset tests(db);
    tests.Open("SELECT * FROM CaseInfo");
    EXPECT_EQ(tests.GetRecordCount(), seeded["tests"].toInt());
    tests.Close();
    // Every blow of a demo patient tells that patient's story: the obstructive
    // patient (the third) shows obstruction before the bronchodilator and has
    // opened up after it; the normal one never shows obstruction.
    for (const auto& [id, phase, obstructive] :
         {std::tuple{3, 0, true}, std::tuple{3, 1, false}, std::tuple{1, 0, false}}) {
        Recordset rows(db);
        rows.Open("SELECT FVC, FEV1 FROM CaseInfo WHERE ID = ? and TestType = 0 and Phase = ?", {id, phase});
        ASSERT_GT(rows.GetRecordCount(), 0) << id;
        rows.MoveFirst();
        const int count = rows.GetRecordCount();
        for (int row = 0; row < count; ++row, rows.MoveNext()) {
            double fvc = 0, fev1 = 0;
            rows.GetFieldValue("FVC", fvc);
            rows.GetFieldValue("FEV1", fev1);
            const double ratio = fvc > 0 ? fev1 / fvc : 0;
            EXPECT_EQ(ratio < 0.7, obstructive) << "patient " << id << " FEV1/FVC " << ratio;
        }
        rows.Close();
    }
    // Read against GLI Global 2022, and every test says so; the post session
    // names its bronchodilator.
    const auto count = [&db](const char* sql) {
        Recordset rs(db);
        rs.Open(sql);
        return rs.GetRecordCount();
    };
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE Standard = 4"), 5);
    EXPECT_EQ(count("SELECT * FROM CaseInfo WHERE RefStandard = 4 AND RefVersion = '2022' AND Btps = 1"),
              seeded["tests"].toInt());
    Recordset post(db);
    post.Open("SELECT DISTINCT Session FROM CaseInfo WHERE ID = 3 AND Phase = 1");
    ASSERT_EQ(post.GetRecordCount(), 1);
    int session = 0;
    post.GetFieldValue("Session", session);
    post.Close();
    EXPECT_FALSE(LoadSessionDetail(db, 3, session).drug.isEmpty());
    patients.Close();
    db.Close();
}

} // namespace
