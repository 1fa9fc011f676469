// The desktop program run as a separate process, the way a user starts it,
// on a corrupt data.mdb.
#include "support/temp_home.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

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

} // namespace
