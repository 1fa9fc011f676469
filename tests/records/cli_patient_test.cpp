// tavctl patient and predicted, run as a process the way a script would.
#include "support/run_tool.h"
#include "support/temp_home.h"

#include "core/records/database.h"
#include "core/records/recordset.h"

#include <QDate>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

ToolResult tavctl(const TempHome& home, QStringList args)
{
    args.prepend(home.path());
    args.prepend("--home");
    return RunTool(TAVCTL_PATH, args);
}

QStringList addArgs(const QString& name, const QString& birth)
{
    return {"patient", "add", "--name",   name,  "--gender", "0",
            "--birth", birth, "--height", "176", "--weight", "75"};
}

QString yearsAgo(int years)
{
    return QDate::currentDate().addYears(-years).toString("yyyy-MM-dd");
}

} // namespace

TEST(TavctlPatient, AddListShowRoundTrip)
{
    TempHome home;
    ToolResult r = tavctl(home, addArgs("O'Brien", yearsAgo(40)));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "1\n");
    EXPECT_TRUE(QDir(home.path("Case/1")).exists());
    r = tavctl(home,
               {"patient", "add", "--name", "Mei Li", "--gender", "1", "--birth", yearsAgo(30),
                "--height", "160", "--weight", "50", "--nation", "3", "--standard", "2"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "2\n");

    r = tavctl(home, {"patient", "list", "--json"});
    ASSERT_EQ(r.exitCode, 0);
    const QJsonArray list = QJsonDocument::fromJson(r.out).array();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].toObject()["Name"].toString(), "O'Brien");
    EXPECT_EQ(list[0].toObject()["ptID"].toString(), "00000001");
    EXPECT_EQ(list[0].toObject()["Age"].toInt(), 40);
    EXPECT_EQ(list[1].toObject()["Nation"].toInt(), 3);

    r = tavctl(home, {"patient", "show", "2", "--json"});
    ASSERT_EQ(r.exitCode, 0);
    const QJsonObject shown = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(shown["Name"].toString(), "Mei Li");
    EXPECT_EQ(shown["Gender"].toInt(), 1);
    EXPECT_EQ(shown["Height"].toInt(), 160);
    EXPECT_EQ(shown["Standard"].toInt(), 2);
    EXPECT_EQ(shown["Birthdate"].toString(), yearsAgo(30));

    r = tavctl(home, {"patient", "list"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.count('\n'), 2);
    EXPECT_TRUE(r.out.contains("O'Brien"));
}

TEST(TavctlPatient, ListSearchesSortsAndPagesLikeThePage)
{
    TempHome home;
    for (const auto& [name, age] : {std::pair{"Zoe Meyer", 70}, std::pair{"adam Smith", 30},
                                    std::pair{"Bea Adams", 50}, std::pair{"Chen Wei", 20}})
        ASSERT_EQ(tavctl(home, addArgs(name, yearsAgo(age))).exitCode, 0);
    auto names = [&](const QStringList& options) {
        ToolResult r = tavctl(home, QStringList{"patient", "list", "--json"} + options);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        QStringList out;
        for (const QJsonValue& row : QJsonDocument::fromJson(r.out).array())
            out << row.toObject()["Name"].toString();
        return out;
    };
    EXPECT_EQ(names({"--search", "ADA"}), (QStringList{"adam Smith", "Bea Adams"}));
    EXPECT_EQ(names({"--sort", "age"}),
              (QStringList{"Chen Wei", "adam Smith", "Bea Adams", "Zoe Meyer"}));
    EXPECT_EQ(names({"--sort", "name", "--desc"}),
              (QStringList{"adam Smith", "Zoe Meyer", "Chen Wei", "Bea Adams"}));
    EXPECT_EQ(names({"--sort", "name", "--first", "1", "--limit", "2"}),
              (QStringList{"Chen Wei", "Zoe Meyer"}));
    EXPECT_EQ(names({"--search", "0000000", "--first", "3"}), QStringList{"Chen Wei"});
    EXPECT_TRUE(names({"--search", "%"}).isEmpty());
    EXPECT_NE(tavctl(home, {"patient", "list", "--sort", "shoe size"}).exitCode, 0);
    EXPECT_NE(tavctl(home, {"patient", "list", "--limit", "-1"}).exitCode, 0);
    EXPECT_NE(tavctl(home, {"patient", "list", "--search"}).exitCode, 0);
}

TEST(TavctlPatient, SharedNumbersOfAnOlderFileAreNamedOnEveryOpen)
{
    TempHome home;
    ASSERT_EQ(tavctl(home, addArgs("Ann", yearsAgo(40))).exitCode, 0);
    ASSERT_EQ(tavctl(home, addArgs("Bob", yearsAgo(41))).exitCode, 0);
    {
        Database db;
        ASSERT_TRUE(db.Open(home.path("data.mdb")));
        ASSERT_TRUE(db.Execute("DROP INDEX UserInfo_ptID_unique"));
        ASSERT_TRUE(db.Execute("update UserInfo set ptID = '00000001'"));
    }
    ToolResult r = tavctl(home, {"patient", "list"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.count('\n'), 2); // both rows kept
    EXPECT_TRUE(r.err.contains("00000001: 1, 2")) << r.err.toStdString();
}

TEST(TavctlPatient, BadArgumentsWriteNothingAndAMissingPatientIsAnError)
{
    TempHome home;
    const QList<QStringList> bad = {
        {"patient", "add"},
        addArgs("", yearsAgo(40)),
        addArgs("X", "1986-13-40"),
        addArgs("X", yearsAgo(3)),   // younger than 6
        addArgs("X", yearsAgo(101)), // older than 100
        addArgs("X", yearsAgo(40)) << "--height"
                                   << "79",
        addArgs("X", yearsAgo(40)) << "--standard"
                                   << "5",
        addArgs("X", yearsAgo(40)) << "stray",
        addArgs(QString(41, 'n'), yearsAgo(40)),
        {"patient", "add", "--name", "X", "--gender", "m", "--birth", yearsAgo(40), "--height",
         "176", "--weight", "75"},
        {"patient", "show", "abc"},
        {"patient", "frobnicate"},
        {"predicted"},
        {"predicted", "--patient", "-1"},
    };
    for (const QStringList& args : bad) {
        const ToolResult r = tavctl(home, args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty()) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << args.join(' ').toStdString();
    }
    EXPECT_FALSE(QFile::exists(home.path("data.mdb")));

    // A group that does not exist is refused after looking it up: no patient is stored.
    const ToolResult r = tavctl(home, addArgs("X", yearsAgo(40)) << "--nation"
                                                                 << "55");
    EXPECT_EQ(r.exitCode, 2);
    Database db;
    ASSERT_TRUE(db.Open(home.path("data.mdb")));
    Recordset rs(db);
    rs.Open("SELECT * FROM UserInfo");
    EXPECT_EQ(rs.GetRecordCount(), 0);
    // A patient that is not there.
    EXPECT_EQ(tavctl(home, {"patient", "show", "7"}).exitCode, 2);
    EXPECT_EQ(tavctl(home, {"predicted", "--patient", "7"}).exitCode, 2);
}

TEST(TavctlPredicted, UsesTheRecordsFieldNames)
{
    TempHome home;
    ASSERT_EQ(tavctl(home, addArgs("A", yearsAgo(40))).exitCode, 0);
    const ToolResult r = tavctl(home, {"predicted", "--patient", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(json.size(), 38);
    for (const char* key : {"IC", "TV/tI", "tI/ttot", "FEV1/FVC", "FEF2575", "ELA", "EVOL", "MVV",
                            "ExpCount", "Duration", "InspCount"})
        EXPECT_TRUE(json.contains(key)) << key;
    // ECCS, man, 40 years, 1.76 m: FVC = 5.76H - 0.026A - 4.34.
    EXPECT_NEAR(json["FVC"].toDouble(), 5.76 * 1.76 - 0.026 * 40 - 4.34, 5e-3);
    EXPECT_EQ(json["ELA"].toInt(), 40);
    EXPECT_DOUBLE_EQ(json["RR"].toDouble(), 15);
}
