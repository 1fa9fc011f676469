// Accounts, the audit chain and the sign-off, through tavctl as a user runs
// it, on a data.mdb file and on the PostgreSQL server of the test suite.
#include "support/pg_server.h"
#include "support/run_tool.h"
#include "support/temp_home.h"

#include "core/accounts/audit_log.h"
#include "core/records/database.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>

#include <gtest/gtest.h>

namespace {

const QString kAdminPass = "admin-secret-1";
const QString kDocPass = "doctor-secret-2";
const QString kTechPass = "tech-secret-3";

class AccountsCli : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override
    {
        if (GetParam()) {
            target = PgTestServer::Shared().NewDatabase();
            ASSERT_FALSE(target.isEmpty()) << PgTestServer::Shared().Error().toStdString();
        } else {
            target = home.path("data.mdb");
        }
    }

    // tavctl as `user` with `password` (none: no --user, no password).
    ToolResult as(const QString& user, const QString& password, const QStringList& args)
    {
        qputenv("TAV_PASSWORD", password.toUtf8());
        if (password.isNull())
            qunsetenv("TAV_PASSWORD");
        QStringList all{"--home", home.path(), "--database", target};
        if (!user.isEmpty())
            all << "--user" << user;
        ToolResult r = RunTool(TAVCTL_PATH, all + args);
        qunsetenv("TAV_PASSWORD");
        seen += r.out + r.err;
        return r;
    }

    ToolResult addUser(const QString& by, const QString& byPass, const QString& name,
                       const QString& role, const QString& password)
    {
        qputenv("TAV_NEW_PASSWORD", password.toUtf8());
        ToolResult r = as(by, byPass, {"user", "add", "--name", name, "--role", role});
        qunsetenv("TAV_NEW_PASSWORD");
        return r;
    }

    // Admin, physician "doc" and technician "tech", and one patient registered by tech.
    void staff()
    {
        ASSERT_EQ(addUser("", QString(), "admin", "admin", kAdminPass).exitCode, 0);
        ASSERT_EQ(addUser("admin", kAdminPass, "doc", "physician", kDocPass).exitCode, 0);
        ASSERT_EQ(addUser("admin", kAdminPass, "tech", "technician", kTechPass).exitCode, 0);
        const ToolResult r = as("tech", kTechPass,
                                {"patient", "add", "--name", "Ann", "--gender", "1", "--birth",
                                 "1970-05-06", "--height", "165", "--weight", "60"});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        patient = r.out.trimmed();
    }

    QJsonArray audit(const QStringList& filter = {})
    {
        const ToolResult r =
            as("admin", kAdminPass, QStringList{"audit", "list"} + filter + QStringList{"--json"});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out).object()["entries"].toArray();
    }

    static bool has(const QJsonArray& rows, const QString& user, const QString& action)
    {
        for (const QJsonValue& row : rows)
            if (row["user"].toString() == user && row["action"].toString() == action)
                return true;
        return false;
    }

    QByteArray report(const QStringList& extra = {})
    {
        const QString out = home.path("report.pdf");
        QFile::remove(out);
        const ToolResult r =
            as("", QString(),
               QStringList{"report", "--patient", patient, "--day", today, "--out", out} + extra);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        QFile file(out);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Runs one statement on the records directly, as a tamperer would.
    bool sql(const QString& statement)
    {
        Database db;
        return db.Open(target) && db.Execute(statement);
    }

    int rows(const QString& table)
    {
        Database db;
        if (!db.Open(target))
            return -1;
        QSqlQuery q(db.Connection());
        return q.exec("SELECT count(*) FROM " + table) && q.next() ? q.value(0).toInt() : -1;
    }

    // A live FVC session run by the technician; its session number.
    QString runTest()
    {
        const ToolResult run =
            as("tech", kTechPass, {"test", "--patient", patient, "--type", "fvc", "--profile", "2"});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return QString::number(QJsonDocument::fromJson(run.out).object()["session"].toInt());
    }

    QJsonObject day()
    {
        const ToolResult r =
            as("", QString(), {"session", "--patient", patient, "--day", today, "--json"});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out).object();
    }

    TempHome home;
    QString target;
    QString patient;
    QByteArray seen; // everything tavctl printed
    const QString today = QDate::currentDate().toString("yyyy-MM-dd");
};

TEST_P(AccountsCli, RolesAreEnforcedAndEveryStepIsAuditedWithoutAPasswordInSight)
{
    // Accounts start with an administrator, and only then are checked.
    const ToolResult first = addUser("", QString(), "tech", "technician", kTechPass);
    EXPECT_NE(first.exitCode, 0);
    EXPECT_TRUE(first.err.contains("administrator"));
    staff();

    Database db;
    ASSERT_TRUE(db.Open(target));
    QSqlQuery hashes(db.Connection());
    ASSERT_TRUE(hashes.exec("SELECT PassHash FROM Account"));
    int accounts = 0;
    while (hashes.next()) {
        EXPECT_TRUE(hashes.value(0).toString().startsWith("$argon2id$"));
        seen += hashes.value(0).toString().toUtf8(); // checked below against what tavctl printed
        ++accounts;
    }
    EXPECT_EQ(accounts, 3);
    db.Close();

    const ToolResult nobody = as("", QString(),
                                 {"patient", "add", "--name", "Bo", "--gender", "0", "--birth",
                                  "1980-01-01", "--height", "180", "--weight", "80"});
    EXPECT_EQ(nobody.exitCode, 2);
    EXPECT_TRUE(nobody.err.contains("--user"));
    const ToolResult sign = as("tech", kTechPass, {"sign", "--patient", patient, "--day", today});
    EXPECT_NE(sign.exitCode, 0);
    EXPECT_TRUE(sign.err.contains("needs the role physician")) << sign.err.toStdString();
    const ToolResult wrong =
        as("doc", "not-the-password", {"sign", "--patient", patient, "--day", today});
    EXPECT_NE(wrong.exitCode, 0);
    EXPECT_TRUE(wrong.err.contains("wrong user name or password"));
    const ToolResult techAddsUser = addUser("tech", kTechPass, "eve", "admin", "eve-secret-4");
    EXPECT_NE(techAddsUser.exitCode, 0);
    EXPECT_TRUE(techAddsUser.err.contains("admin"));

    const QJsonArray rows = audit();
    EXPECT_TRUE(has(rows, "admin", "account-add"));
    EXPECT_TRUE(has(rows, "tech", "patient-create"));
    EXPECT_TRUE(has(rows, "doc", "login-failed"));
    EXPECT_TRUE(has(rows, "tech", "refused"));
    const QJsonArray techRows = audit({"--user", "tech"});
    EXPECT_FALSE(techRows.isEmpty());
    EXPECT_FALSE(has(techRows, "admin", "account-add"));
    EXPECT_TRUE(
        audit({"--since", QDate::currentDate().addDays(1).toString("yyyy-MM-dd")}).isEmpty());
    EXPECT_EQ(as("admin", kAdminPass, {"audit", "verify"}).exitCode, 0);

    for (const QString& secret : {kAdminPass, kDocPass, kTechPass, QString("$argon2id$")})
        EXPECT_EQ(seen.count(secret.toUtf8()), secret.startsWith('$') ? 3 : 0)
            << secret.toStdString();
}

TEST_P(AccountsCli, FiveFailuresLockUntilAnAdministratorResets)
{
    staff();
    for (int i = 0; i < 5; ++i)
        as("tech", "guess-" + QString::number(i), {"user", "list"});
    const ToolResult refused = as("tech", kTechPass, {"calibrate", "--volume", "3"});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_TRUE(refused.err.contains("locked")) << refused.err.toStdString();
    qputenv("TAV_NEW_PASSWORD", "tech-secret-new");
    EXPECT_EQ(as("admin", kAdminPass, {"user", "reset", "--name", "tech"}).exitCode, 0);
    qunsetenv("TAV_NEW_PASSWORD");
    const ToolResult again =
        as("tech", "tech-secret-new", {"export", "csv", "--out", home.path("all.csv")});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
}

TEST_P(AccountsCli, AChangedOrRemovedAuditRowIsNamed)
{
    staff();
    // The program's own connection cannot change the trail.
    EXPECT_FALSE(sql("UPDATE AuditLog SET UserName = 'mallory' WHERE Seq = 2"));
    EXPECT_FALSE(sql("DELETE FROM AuditLog WHERE Seq = 3"));
    const QString unguard = GetParam() ? "ALTER TABLE AuditLog DISABLE TRIGGER USER"
                                       : "DROP TRIGGER AuditLog_no_update";
    ASSERT_TRUE(sql(unguard));
    if (!GetParam()) {
        ASSERT_TRUE(sql("DROP TRIGGER AuditLog_no_delete"));
    }

    // The newest row removed leaves a whole chain, but not the workstation's anchor.
    ASSERT_TRUE(sql("DELETE FROM AuditLog WHERE Seq = (SELECT max(Seq) FROM AuditLog)"));
    ToolResult verify = as("admin", kAdminPass, {"audit", "verify"});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_TRUE(verify.err.contains("rows after") && verify.err.contains("are missing"))
        << verify.err.toStdString();

    ASSERT_TRUE(sql("DELETE FROM AuditLog WHERE Seq = 4"));
    verify = as("admin", kAdminPass, {"audit", "verify"});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_TRUE(verify.err.contains("row 5")) << verify.err.toStdString();

    ASSERT_TRUE(sql("UPDATE AuditLog SET NewValue = 'role admin' WHERE Seq = 2"));
    verify = as("admin", kAdminPass, {"audit", "verify"});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_TRUE(verify.err.contains("row 2")) << verify.err.toStdString();

    // A tamperer who also rewrites the row's own hash breaks the link to the next row.
    QString rehashed;
    {
        Database db;
        ASSERT_TRUE(db.Open(target));
        rehashed = AuditLog::RowHash(AuditLog(db).List({}).at(1));
    }
    ASSERT_TRUE(sql("UPDATE AuditLog SET RowHash = '" + rehashed + "' WHERE Seq = 2"));
    verify = as("admin", kAdminPass, {"audit", "verify"});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_TRUE(verify.err.contains("row 3")) << verify.err.toStdString();
}

TEST_P(AccountsCli, ASignedDayIsFrozenUntilAnAmendmentAndKeepsEveryVersion)
{
    staff();
    const QStringList test{"test", "--patient", patient, "--type", "fvc", "--profile", "2"};
    ToolResult run = as("tech", kTechPass, test);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString session =
        QString::number(QJsonDocument::fromJson(run.out).object()["session"].toInt());
    const ToolResult signing = as("doc", kDocPass, {"sign", "--patient", patient, "--day", today});
    ASSERT_EQ(signing.exitCode, 0) << signing.err.toStdString();

    const QByteArray signedPdf = report();
    const QString text = PdfText(home.path("report.pdf"));
    EXPECT_TRUE(text.contains("Signed by doc")) << text.toStdString();
    EXPECT_TRUE(text.contains("tech (")); // the operator and workstation

    EXPECT_EQ(as("tech", kTechPass, test).exitCode, 1);
    EXPECT_EQ(as("tech", kTechPass,
                 {"session", "relabel", "--patient", patient, "--day", today, "--session", session,
                  "--phase", "post"})
                  .exitCode,
              1);
    EXPECT_EQ(as("doc", kDocPass, {"sign", "--patient", patient, "--day", today}).exitCode, 1);
    EXPECT_EQ(report(), signedPdf);
    // What the hospital receives is the signed report too.
    const QString message = home.path("day.hl7");
    ASSERT_EQ(as("doc", kDocPass,
                 {"hl7", "export", "--patient", patient, "--day", today, "--out", message})
                  .exitCode,
              0);
    QFile hl7(message);
    ASSERT_TRUE(hl7.open(QIODevice::ReadOnly));
    const QByteArray body = hl7.readAll();
    const int start = body.indexOf("^Base64^") + 8;
    ASSERT_GT(start, 8);
    const int end = body.indexOf('|', start);
    EXPECT_EQ(QByteArray::fromBase64(body.mid(start, end - start)), signedPdf);

    EXPECT_NE(as("doc", kDocPass, {"amend", "--patient", patient, "--day", today, "--reason", " "})
                  .exitCode,
              0);
    EXPECT_NE(
        as("tech", kTechPass, {"amend", "--patient", patient, "--day", today, "--reason", "x"})
            .exitCode,
        0);
    ASSERT_EQ(as("doc", kDocPass,
                 {"amend", "--patient", patient, "--day", today, "--reason", "late blow"})
                  .exitCode,
              0);
    ASSERT_EQ(as("tech", kTechPass, test).exitCode, 0);
    ASSERT_EQ(as("doc", kDocPass, {"sign", "--patient", patient, "--day", today}).exitCode, 0);

    EXPECT_EQ(report({"--version", "1"}), signedPdf);
    report();
    const QString amended = PdfText(home.path("report.pdf"));
    EXPECT_TRUE(amended.contains("late blow")) << amended.toStdString();
    EXPECT_TRUE(amended.contains("version 2"));
    const QJsonArray rows = audit({"--patient", patient});
    for (const QString action : {"session-stored", "sign", "amend"})
        EXPECT_TRUE(has(rows, action == "session-stored" ? "tech" : "doc", action))
            << action.toStdString();

    // A stored version whose bytes were altered is refused, not printed.
    ASSERT_TRUE(sql("UPDATE DaySignOff SET SnapshotHash = 'x' WHERE SignVersion = 1"));
    const QString out = home.path("v1.pdf");
    EXPECT_EQ(as("", QString(),
                 {"report", "--patient", patient, "--day", today, "--version", "1", "--out", out})
                  .exitCode,
              1);
}

TEST_P(AccountsCli, APhysiciansReviewAndDiagnosisCountInTheDayAndFreezeWithIt)
{
    staff();
    const QStringList blow{"--patient", patient, "--day",      today,
                           "--session", runTest(), "--maneuver", "1"};
    const bool automatic = day()["sessions"][0]["maneuvers"][0]["acceptable"]["FVC"].toBool();
    const QString verdict = automatic ? "no" : "yes";
    const QStringList grade = QStringList{"grade"} + blow +
                              QStringList{"--acceptable", verdict, "--grade", "D", "--phase",
                                          "fvc", "--reason", "checked the curve", "--json"};
    const ToolResult tech = as("tech", kTechPass, grade);
    EXPECT_NE(tech.exitCode, 0);
    EXPECT_TRUE(tech.err.contains("needs the role physician")) << tech.err.toStdString();
    EXPECT_NE(as("doc", kDocPass, QStringList{"grade"} + blow + QStringList{"--acceptable", "yes"})
                  .exitCode,
              0);
    EXPECT_NE(as("doc", kDocPass,
                 {"grade", "--patient", patient, "--day", today, "--session", "999", "--maneuver",
                  "1", "--acceptable", "yes", "--reason", "x"})
                  .exitCode,
              0);
    const ToolResult doc = as("doc", kDocPass, grade);
    ASSERT_EQ(doc.exitCode, 0) << doc.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(doc.out).object()["acceptable"].toBool(), !automatic);

    // The day counts the blow as the physician said and keeps the program's verdict beside it.
    const QJsonObject reviewed = day();
    EXPECT_EQ(reviewed["sessions"][0]["maneuvers"][0]["acceptable"]["FVC"].toBool(), !automatic);
    EXPECT_EQ(reviewed["phases"][0]["grade"]["FVC"].toString(), "D");
    EXPECT_EQ(reviewed["reviews"][0]["automatic"].toBool(), automatic);
    report();
    const QString printed = PdfText(home.path("report.pdf")).simplified();
    EXPECT_TRUE(printed.contains("reviewer: " + QString(automatic ? "not acceptable" : "acceptable")))
        << printed.toStdString();

    const QStringList diagnosis{"diagnosis", "set", "--patient", patient, "--day", today, "--text"};
    EXPECT_NE(as("tech", kTechPass, diagnosis + QStringList{"normal"}).exitCode, 0);
    EXPECT_EQ(as("doc", kDocPass, diagnosis + QStringList{QString(201, 'x')}).exitCode, 1);
    ASSERT_EQ(as("doc", kDocPass, diagnosis + QStringList{"Normal spirometry\nNo obstruction"})
                  .exitCode,
              0);
    const QJsonObject shown = QJsonDocument::fromJson(
                                  as("", QString(),
                                     {"diagnosis", "show", "--patient", patient, "--day", today})
                                      .out)
                                  .object();
    EXPECT_EQ(shown["text"].toString(), "Normal spirometry\nNo obstruction");
    EXPECT_EQ(shown["physician"].toString(), "doc");

    ASSERT_EQ(as("doc", kDocPass, {"sign", "--patient", patient, "--day", today}).exitCode, 0);
    for (const QStringList& change : {grade, diagnosis + QStringList{"changed"}}) {
        const ToolResult frozen = as("doc", kDocPass, change);
        EXPECT_EQ(frozen.exitCode, 1);
        EXPECT_TRUE(frozen.err.contains("is signed")) << frozen.err.toStdString();
    }
    const QJsonArray trail = audit({"--patient", patient});
    EXPECT_TRUE(has(trail, "doc", "grade-override"));
    for (const QJsonValue& row : trail) {
        if (row["action"].toString() == "diagnosis-change") {
            EXPECT_TRUE(row["before"].toString().isEmpty());
            EXPECT_TRUE(row["after"].toString().startsWith("Normal spirometry"));
        }
    }
}

// The operator and audit rows go in the session's own transaction.
TEST_P(AccountsCli, ASessionIsStoredWithItsOperatorAndAuditRowOrNotAtAll)
{
    staff();
    const bool server = GetParam();
    ASSERT_TRUE(server ? sql("CREATE FUNCTION refuse_session() RETURNS trigger LANGUAGE plpgsql "
                             "AS $$ BEGIN IF NEW.AuditAction = 'session-stored' THEN RAISE "
                             "EXCEPTION 'refused'; END IF; RETURN NEW; END $$") &&
                             sql("CREATE TRIGGER refuse_session BEFORE INSERT ON AuditLog FOR "
                                 "EACH ROW EXECUTE FUNCTION refuse_session()")
                       : sql("CREATE TRIGGER refuse_session BEFORE INSERT ON AuditLog WHEN "
                             "NEW.AuditAction = 'session-stored' BEGIN SELECT RAISE(ABORT, "
                             "'refused'); END"));
    const QStringList test{"test", "--patient", patient, "--type", "fvc", "--profile", "2"};
    EXPECT_EQ(as("tech", kTechPass, test).exitCode, 1);
    EXPECT_EQ(rows("CaseInfo"), 0);
    EXPECT_EQ(rows("TestOperator"), 0);
    EXPECT_EQ(rows("CaseData"), server ? 0 : -1); // a folder keeps no CaseData table
    EXPECT_TRUE(QDir(home.path("Case/" + patient)).entryList({"*.dt"}, QDir::Files).isEmpty());

    ASSERT_TRUE(sql(server ? "DROP TRIGGER refuse_session ON AuditLog"
                           : "DROP TRIGGER refuse_session"));
    runTest();
    EXPECT_GT(rows("CaseInfo"), 0);
    EXPECT_EQ(rows("TestOperator"), rows("CaseInfo"));
}

// A workstation moved to the server keeps its accounts, signatures and a whole trail.
TEST_P(AccountsCli, AMigratedDatabaseKeepsAccountsSignaturesAndTheTrail)
{
    if (!GetParam())
        GTEST_SKIP() << "the move's target is a server";
    const QString server = target;
    target = home.path("data.mdb");
    staff();
    runTest();
    ASSERT_EQ(as("doc", kDocPass, {"sign", "--patient", patient, "--day", today}).exitCode, 0);
    const QByteArray signedPdf = report();
    target = server;
    const ToolResult moved = as("", QString(), {"db", "migrate", "--to", server});
    ASSERT_EQ(moved.exitCode, 0) << moved.out.toStdString() << moved.err.toStdString();

    EXPECT_EQ(as("admin", kAdminPass, {"audit", "verify"}).exitCode, 0);
    EXPECT_EQ(report({"--version", "1"}), signedPdf);
    EXPECT_TRUE(has(audit({"--patient", patient}), "doc", "sign"));
    EXPECT_EQ(rows("TestOperator"), rows("CaseInfo"));
    EXPECT_FALSE(sql("DELETE FROM AuditLog WHERE Seq = 1")); // still insert-only
}

INSTANTIATE_TEST_SUITE_P(Databases, AccountsCli, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PostgreSql" : "Sqlite"; });

} // namespace
