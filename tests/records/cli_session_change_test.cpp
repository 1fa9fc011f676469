// tavctl test choosing the day's phase, and tavctl session relabel / edit,
// run as processes the way a script would.
#include "support/run_tool.h"
#include "support/temp_home.h"

#include "core/records/database.h"
#include "core/records/recordset.h"

#include <QDate>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

class TavctlSessionChange : public ::testing::Test {
  protected:
    ToolResult tavctl(QStringList args)
    {
        args.prepend(home.path());
        args.prepend("--home");
        return RunTool(TAVCTL_PATH, args);
    }
    static QJsonObject json(const ToolResult& r) { return QJsonDocument::fromJson(r.out).object(); }
    int rows(const QString& sql, const QVariantList& values = {})
    {
        Database db;
        EXPECT_TRUE(db.Open(home.path("data.mdb")));
        Recordset rs(db);
        rs.Open(sql, values);
        return rs.GetRecordCount();
    }
    // One FVC session of the demo device's normal lungs.
    QJsonObject fvc(const QStringList& more = {})
    {
        const ToolResult r = tavctl(QStringList{"test", "--patient", "1", "--type", "fvc", "--profile", "1"} + more);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return json(r);
    }
    TempHome home;
    const QString today = QDate::currentDate().toString("yyyy-MM-dd");
};

TEST_F(TavctlSessionChange, TheDaysPhaseIsChosenAndASessionRelabelledWithItsRecord)
{
    ASSERT_EQ(tavctl({"patient", "add", "--name", "Ann", "--gender", "1", "--birth", "1980-02-03", "--height",
                      "165", "--weight", "60", "--standard", "4"})
                  .exitCode,
              0);
    const QJsonObject first = fvc();
    EXPECT_EQ(first["phase"], "pre");
    EXPECT_EQ(first["phaseFrom"], "day");
    EXPECT_EQ(first["standard"], 4);
    EXPECT_EQ(first["setVersion"], "2022");
    EXPECT_EQ(first["btps"], 1);
    const QJsonObject second = fvc();
    EXPECT_EQ(second["phase"], "post"); // the day has its pre session
    EXPECT_EQ(second["phaseFrom"], "day");
    const QJsonObject third = fvc({"--phase", "pre"});
    EXPECT_EQ(third["phase"], "pre");
    EXPECT_EQ(third["phaseFrom"], "given");
    const int session = second["session"].toInt();
    ASSERT_GT(session, 0);
    EXPECT_EQ(rows("SELECT * FROM CaseInfo WHERE Session = ? AND RefStandard = 4 AND RefVersion = '2022' AND "
                   "Btps = 1 AND Phase = 1",
                   {session}),
              3);

    ToolResult r = tavctl({"session", "relabel", "--patient", "1", "--day", today, "--session",
                           QString::number(session), "--phase", "pre", "--by", "Dr. O'Hara"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QJsonObject relabelled = json(r);
    EXPECT_EQ(relabelled["changed"], true);
    EXPECT_EQ(relabelled["from"], "post");
    EXPECT_EQ(relabelled["phase"], "pre");
    EXPECT_EQ(relabelled["by"], "Dr. O'Hara");
    EXPECT_EQ(rows("SELECT * FROM CaseInfo WHERE Session = ? AND Phase = 0", {session}), 3);
    EXPECT_EQ(rows("SELECT * FROM PhaseChange WHERE Session = ? AND OldPhase = 1 AND NewPhase = 0 AND "
                   "ChangedBy = 'Dr. O''Hara'",
                   {session}),
              1);
    // Without --by the account running the command is kept; the same phase again changes nothing.
    qputenv("USER", "night-nurse");
    r = tavctl({"session", "relabel", "--patient", "1", "--day", today, "--session", QString::number(session),
                "--phase", "post"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(json(r)["by"], "night-nurse");
    r = tavctl({"session", "relabel", "--patient", "1", "--day", today, "--session", QString::number(session),
                "--phase", "post"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(json(r)["changed"], false);
    EXPECT_EQ(rows("SELECT * FROM PhaseChange"), 2);

    // Clear errors, nothing changed.
    const QString s = QString::number(session);
    const struct {
        QStringList args;
        const char* says;
    } refused[] = {
        {{"--patient", "9", "--day", today, "--session", s, "--phase", "pre"}, "there is no patient 9"},
        {{"--patient", "1", "--day", today, "--session", "9999", "--phase", "pre"}, "has no FVC session 9999"},
        {{"--patient", "1", "--day", "2001-01-01", "--session", s, "--phase", "pre"}, "has no FVC session"},
        {{"--patient", "1", "--day", today, "--session", s, "--phase", "during"}, "--phase must be pre or post"},
        {{"--patient", "1", "--day", today, "--session", s}, "--phase must be pre or post"},
        {{"--patient", "1", "--day", "yesterday", "--session", s, "--phase", "pre"}, "--day must be a date"},
        {{"--patient", "1", "--day", today, "--phase", "pre"}, "--session N is required"},
        {{"--patient", "1", "--day", today, "--session", s, "--phase", "pre", "--by", " "}, "--by needs a name"},
    };
    for (const auto& c : refused) {
        r = tavctl(QStringList{"session", "relabel"} + c.args);
        EXPECT_NE(r.exitCode, 0) << c.says;
        EXPECT_TRUE(QString::fromUtf8(r.err).contains(c.says)) << r.err.toStdString();
    }
    EXPECT_EQ(rows("SELECT * FROM PhaseChange"), 2);
    EXPECT_EQ(rows("SELECT * FROM CaseInfo WHERE Session = ? AND Phase = 1", {session}), 3);
}

TEST_F(TavctlSessionChange, BronchodilatorDetailsAreEditedFieldByField)
{
    ASSERT_EQ(tavctl({"patient", "add", "--name", "Bo", "--gender", "0", "--birth", "1970-02-03", "--height",
                      "180", "--weight", "80", "--standard", "4"})
                  .exitCode,
              0);
    const int session = fvc({"--phase", "post"})["session"].toInt();
    const QString s = QString::number(session);
    ToolResult r = tavctl({"session", "edit", "--patient", "1", "--day", today, "--session", s, "--drug",
                           "Salbutamol", "--dose", "400 µg", "--dose-time", "9:45", "--referrer", "Dr. Park"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QJsonObject detail = json(r)["detail"].toObject();
    EXPECT_EQ(detail["drug"], "Salbutamol");
    EXPECT_EQ(detail["dose"], QString::fromUtf8("400 µg"));
    EXPECT_EQ(detail["doseTime"], today + " 09:45");
    EXPECT_EQ(detail["referrer"], "Dr. Park");

    // Only what is given changes; an empty value clears its field.
    r = tavctl({"session", "edit", "--patient", "1", "--day", today, "--session", s, "--referrer", "Dr. Lee",
                "--dose", ""});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    detail = json(r)["detail"].toObject();
    EXPECT_EQ(detail["drug"], "Salbutamol");
    EXPECT_EQ(detail["dose"], "");
    EXPECT_EQ(detail["referrer"], "Dr. Lee");

    for (const QString& bad : {QString("25:00"), QString("quarter past"), QString("9.45")}) {
        r = tavctl({"session", "edit", "--patient", "1", "--day", today, "--session", s, "--dose-time", bad});
        EXPECT_NE(r.exitCode, 0) << bad.toStdString();
        EXPECT_TRUE(QString::fromUtf8(r.err).contains("--dose-time must be a time HH:MM")) << r.err.toStdString();
    }
    r = tavctl({"session", "edit", "--patient", "1", "--day", today, "--session", "77", "--drug", "x"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(QString::fromUtf8(r.err).contains("has no FVC session 77"));
    EXPECT_EQ(rows("SELECT * FROM SessionDetail WHERE Drug = 'Salbutamol' AND Referrer = 'Dr. Lee' AND "
                   "Dose IS NULL"),
              1);
}

} // namespace
