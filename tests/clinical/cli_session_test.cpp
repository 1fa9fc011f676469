// tavctl session over a real program folder: sessions of a day with their
// grades, the bronchodilator response and the interpretation; patients on
// GLI sets and on the older ones.
#include "session_files.h"
#include "support/run_tool.h"
#include "support/temp_home.h"

#include "core/clinical/gli_equations.h"
#include "core/records/database.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

class TavctlSessionTest : public ::testing::Test {
protected:
    ToolResult tavctl(QStringList args)
    {
        args.prepend(home.path());
        args.prepend("--home");
        return RunTool(TAVCTL_PATH, args);
    }
    QJsonObject json(const QStringList& args)
    {
        const ToolResult r = tavctl(args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out).object();
    }
    int addPatient(const QString& standard)
    {
        const ToolResult r = tavctl({"patient", "add", "--name", "Ann", "--gender", "1", "--birth", "1975-06-15",
                                     "--height", "165", "--weight", "60", "--standard", standard});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return r.out.trimmed().toInt();
    }
    // Three good blows before and three after the bronchodilator; FEV1 gains `gain` L.
    void storeDay(int patient, double gain)
    {
        Database db;
        ASSERT_TRUE(db.Open(home.path("data.mdb")));
        const PulseStream good = blowPulses(true);
        const float fev1[] = {2.20f, 2.25f, 2.18f};
        for (int i = 0; i < 3; ++i) {
            StoreSessionBlow(db, patient, 1 + i, blowRecord(3.30f - 0.02f * i, fev1[i], good), good,
                             QString("2026-03-10 09:0%1:00").arg(i), {1, i + 1, 0});
            StoreSessionBlow(db, patient, 4 + i, blowRecord(3.30f - 0.02f * i, fev1[i] + float(gain), good), good,
                             QString("2026-03-10 09:3%1:00").arg(i), {4, i + 1, 1});
        }
    }
    TempHome home;
};

TEST_F(TavctlSessionTest, PreAndPostOnOneDayGiveTheResponseAndTheInterpretation)
{
    const int patient = addPatient("4");
    storeDay(patient, 0.40);
    const QJsonObject r = json({"session", "--patient", QString::number(patient), "--day", "2026-03-10", "--json"});
    const QJsonArray sessions = r["sessions"].toArray();
    ASSERT_EQ(sessions.size(), 2);
    const QJsonObject pre = sessions[0].toObject();
    EXPECT_EQ(pre["phase"].toString(), "pre");
    EXPECT_EQ(sessions[1].toObject()["phase"].toString(), "post");
    EXPECT_EQ(pre["maneuvers"].toArray().size(), 3);
    EXPECT_EQ(pre["grade"].toObject()["FEV1"].toString(), "A");
    EXPECT_EQ(pre["grade"].toObject()["FVC"].toString(), "A");
    const QJsonObject fev1 = pre["reported"].toObject()["FEV1"].toObject();
    EXPECT_NEAR(fev1["value"].toDouble(), 2.25, 1e-6);

    // The predicted value at the decimal age on the test day, from the reference command.
    const double age = GliDecimalAge(QDate(1975, 6, 15), QDate(2026, 3, 10));
    const ToolResult ref = RunTool(TAVCTL_PATH, {"reference", "--set", "gli-global-2022", "--sex", "F", "--age",
                                                 QString::number(age, 'g', 17), "--height", "165", "--json"});
    const double predicted = QJsonDocument::fromJson(ref.out).object()["FEV1"].toObject()["pred"].toDouble();
    EXPECT_NEAR(fev1["pred"].toDouble(), predicted, 1e-9);

    const QJsonObject bdr = r["bdr"].toObject()["FEV1"].toObject();
    EXPECT_NEAR(bdr["litres"].toDouble(), 0.40, 1e-5);
    EXPECT_NEAR(bdr["percent"].toDouble(), 100 * 0.40 / 2.25, 1e-3);
    EXPECT_NEAR(bdr["percentPredicted"].toDouble(), 100 * 0.40 / predicted, 1e-3);
    EXPECT_EQ(bdr["significant"].toBool(), 0.40 / predicted > 0.10);
    EXPECT_FALSE(r["bdr"].toObject()["FVC"].toObject()["significant"].toBool());

    const QJsonObject interpretation = r["interpretation"].toObject();
    EXPECT_TRUE(interpretation["available"].toBool());
    EXPECT_NEAR(interpretation["FEV1"].toObject()["value"].toDouble(), 2.25, 1e-6); // the pre values
    EXPECT_FALSE(interpretation["bdr"].isNull());
}

// The printed report carries both phases, the change and the response flag.
TEST_F(TavctlSessionTest, TheReportShowsPreAndPostWithTheResponse)
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    const int patient = addPatient("4");
    storeDay(patient, 0.40);
    const QString out = home.path("report.pdf");
    const QJsonObject r =
        json({"report", "--patient", QString::number(patient), "--day", "2026-03-10", "--out", out});
    const auto pageText = [&](int number) {
        const ToolResult text =
            RunTool("pdftotext", {"-f", QString::number(number), "-l", QString::number(number), out, "-"});
        EXPECT_EQ(text.exitCode, 0);
        return QString::fromUtf8(text.out);
    };
    // Page 1 leads with both phases against the set and the change in mL.
    const QString first = pageText(1);
    for (const char* expected : {"GLI Global 2022", "Pre", "Post", "Change mL", "2.25", "2.65", "400",
                                 "Significant bronchodilator response"})
        EXPECT_TRUE(first.contains(expected)) << expected << "\n" << first.toStdString();
    const QString page = pageText(r["pages"].toInt());
    // Each blow with its verdict, three before and three after.
    EXPECT_EQ(page.count("acceptable"), 12) << page.toStdString();
}

TEST_F(TavctlSessionTest, OlderStandardsHaveNoInterpretationAndBadInputIsRefused)
{
    const int patient = addPatient("0");
    storeDay(patient, 0.05);
    const QJsonObject r = json({"session", "--patient", QString::number(patient), "--day", "2026-03-10", "--json"});
    EXPECT_EQ(r["sessions"].toArray().size(), 2);
    EXPECT_TRUE(r["interpretation"].isNull());
    EXPECT_TRUE(r["interpretationNote"].toString().contains("GLI"));
    EXPECT_TRUE(r["sessions"][0]["reported"]["FEV1"]["pred"].isNull());

    const QJsonObject empty = json({"session", "--patient", QString::number(patient), "--day", "2026-03-11"});
    EXPECT_TRUE(empty["sessions"].toArray().isEmpty());
    EXPECT_TRUE(empty["bdr"].isNull());

    for (const QStringList& args : {QStringList{"session", "--patient", "99", "--day", "2026-03-10"},
                                    QStringList{"session", "--patient", "1", "--day", "10.03.2026"},
                                    QStringList{"session", "--day", "2026-03-10"}}) {
        const ToolResult bad = tavctl(args);
        EXPECT_EQ(bad.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(bad.err.isEmpty());
    }
}

// Live sessions blown on the virtual device, each manoeuvre kept and graded.
TEST_F(TavctlSessionTest, LiveSessionsOnTheVirtualDeviceAreKeptAndGraded)
{
    const QString patient = QString::number(addPatient("4"));
    QString day;
    for (const char* profile : {"1", "4", "5"}) {
        const QJsonObject test = json({"test", "--patient", patient, "--type", "fvc", "--profile", profile,
                                       "--maneuvers", "3"});
        if (day.isEmpty())
            day = test["testTime"].toString().left(10);
        EXPECT_EQ(test["outcome"].toString(), "saved") << profile;
        EXPECT_EQ(test["stored"].toArray().size(), 3) << profile;
    }
    // A post session of ten blows: the session ends at eight, and all eight are kept.
    const QJsonObject post = json({"test", "--patient", patient, "--type", "fvc", "--profile", "1",
                                   "--phase", "post", "--maneuvers", "10"});
    EXPECT_EQ(post["outcome"].toString(), "saved");
    EXPECT_EQ(post["phase"].toString(), "post");
    EXPECT_EQ(post["stored"].toArray().size(), 8);

    // A midnight between the tests would split them over two days.
    if (post["testTime"].toString().left(10) != day)
        GTEST_SKIP() << "the day changed during the test";
    const QJsonObject r = json({"session", "--patient", patient, "--day", day, "--json"});
    const QJsonArray sessions = r["sessions"].toArray();
    ASSERT_EQ(sessions.size(), 4);
    const auto grade = [&](int s, const char* name) {
        return sessions[s].toObject()["grade"].toObject()[name].toString();
    };
    const auto acceptable = [&](int s, int m, const char* name) {
        return sessions[s].toObject()["maneuvers"].toArray()[m].toObject()["acceptable"].toObject()[name].toBool();
    };
    // Three good blows: grade A for both.
    EXPECT_EQ(grade(0, "FEV1"), "A");
    EXPECT_EQ(grade(0, "FVC"), "A");
    // The poor start is acceptable for FEV1 in no blow, and says why.
    const QString slowStart = tavctl({"text", "CLINICAL", "2530"}).out.trimmed();
    for (int m = 0; m < 3; ++m) {
        EXPECT_FALSE(acceptable(1, m, "FEV1")) << m;
        EXPECT_TRUE(sessions[1].toObject()["maneuvers"].toArray()[m].toObject()["reasons"].toArray().contains(slowStart))
            << m;
        EXPECT_FALSE(acceptable(2, m, "FVC")) << m; // the early stop
        EXPECT_TRUE(acceptable(2, m, "FEV1")) << m;
    }
    EXPECT_EQ(sessions[3].toObject()["phase"].toString(), "post");
    EXPECT_EQ(sessions[3].toObject()["maneuvers"].toArray().size(), 8);
    EXPECT_FALSE(r["bdr"].isNull());
}

} // namespace

TEST_F(TavctlSessionTest, ADayRecomputedAgainstAnotherSetIsShownBesideWhatItReportedAndNothingIsStored)
{
    const int patient = addPatient("4");
    storeDay(patient, 0.40);
    const QStringList day = {"session", "--patient", QString::number(patient), "--day", "2026-03-10"};
    const QJsonObject reported = json(day);
    const QJsonObject both = json(day + QStringList{"--against", "gli2012"});
    // What the day reported stays as it was; the recomputed view has the other set's limits.
    EXPECT_EQ(both["setName"], reported["setName"]);
    EXPECT_EQ(both["phases"], reported["phases"]);
    const QJsonObject recomputed = both["recomputed"].toObject();
    EXPECT_EQ(recomputed["setName"].toString(), "GLI-2012");
    const auto lln = [](const QJsonObject& day) {
        return day["phases"].toArray()[0].toObject()["reported"].toObject()["FEV1"].toObject()["lln"].toDouble();
    };
    EXPECT_GT(lln(reported), 0);
    EXPECT_GT(lln(recomputed), 0);
    EXPECT_NE(lln(recomputed), lln(reported));
    EXPECT_EQ(json(day), reported) << "recomputing stored nothing";
    EXPECT_NE(tavctl(day + QStringList{"--against", "nhanes"}).exitCode, 0);
}
