// tavctl reference and interpret, run as processes the way other checks use them.
#include "support/run_tool.h"

#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

QJsonObject json(const QStringList& args, int expectedExit = 0)
{
    const ToolResult r = RunTool(TAVCTL_PATH, args);
    EXPECT_EQ(r.exitCode, expectedExit) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out).object();
}

QStringList person(const QString& set, const QString& sex, const QString& age, const QString& height)
{
    return {"--set", set, "--sex", sex, "--age", age, "--height", height, "--json"};
}

TEST(TavctlReference, HandCaseWithZScoreAndEveryMember)
{
    const QJsonObject r = json(QStringList{"reference"} + person("gli2012", "M", "25", "175") +
                               QStringList{"--ethnic", "1", "--measured", "FEV1=3.50"});
    const QJsonObject fev1 = r["FEV1"].toObject();
    EXPECT_NEAR(fev1["pred"].toDouble(), 4.466, 0.0006);
    EXPECT_NEAR(fev1["lln"].toDouble(), 3.600, 0.0006);
    EXPECT_NEAR(fev1["z"].toDouble(), -1.830, 0.0006);
    EXPECT_NEAR(fev1["pct"].toDouble(), 100 * 3.50 / fev1["M"].toDouble(), 1e-9);
    for (const char* member : {"pred", "lln", "uln", "L", "M", "S"})
        EXPECT_TRUE(fev1[member].isDouble()) << member;
    EXPECT_FALSE(r["FVC"].toObject().contains("z")); // only what was measured
    EXPECT_NEAR(r["FEV1/FVC"].toObject()["pred"].toDouble(), 0.844, 0.0006); // a fraction
    EXPECT_NEAR(r["FEF75"].toObject()["lln"].toDouble(), 1.143, 0.0006);
    EXPECT_FALSE(fev1["outOfRange"].toBool());
}

TEST(TavctlReference, GlobalSetOutOfRangeAndMissingEquations)
{
    QJsonObject r = json(QStringList{"reference"} + person("gli-global-2022", "F", "70", "160"));
    EXPECT_NEAR(r["FVC"].toObject()["pred"].toDouble(), 2.640, 0.0006);
    EXPECT_FALSE(r.contains("FEF2575")); // never borrowed from another set
    r = json(QStringList{"reference"} + person("gli-global-2022", "F", "2.5", "90"));
    EXPECT_TRUE(r["FEV1"].toObject()["outOfRange"].toBool());
    EXPECT_TRUE(r["FEV1"].toObject()["pred"].isNull());
}

TEST(TavctlReference, RefusesWhatItCannotAnswer)
{
    const QStringList bad[] = {
        QStringList{"reference"} + person("gli2022", "M", "25", "175"),
        QStringList{"reference"} + person("gli2012", "X", "25", "175"),
        QStringList{"reference"} + person("gli2012", "M", "old", "175"),
        QStringList{"reference"} + person("gli2012", "M", "25", "175") + QStringList{"--ethnic", "6"},
        QStringList{"reference"} + person("gli2012", "M", "25", "175") + QStringList{"--measured", "FEV1/FVC=80"},
        QStringList{"reference"} + person("gli2012", "M", "25", "175") + QStringList{"--measured", "FEV6=3"},
        QStringList{"reference"} + person("gli-global-2022", "M", "25", "175") + QStringList{"--measured", "FEF75=2"},
        QStringList{"interpret"} + person("gli2012", "M", "25", "175") + QStringList{"--measured", "FEV1=3"},
        QStringList{"interpret"} + person("gli2012", "M", "25", "175") +
            QStringList{"--measured", "FEV1=3", "--measured", "FVC=4", "--post", "FEV1=3.4"},
    };
    for (const QStringList& args : bad) {
        const ToolResult r = RunTool(TAVCTL_PATH, args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_FALSE(r.err.isEmpty());
    }
}

TEST(TavctlInterpret, ObstructionEitherSideOfTheRatiosLlnAndTheResponse)
{
    const QStringList who = person("gli-global-2022", "M", "45", "178");
    const QJsonObject reference = json(QStringList{"reference"} + who);
    const double fvc = reference["FVC"].toObject()["pred"].toDouble();
    const double ratioLln = reference["FEV1/FVC"].toObject()["lln"].toDouble();
    const auto interpret = [&](double fev1, QStringList more = {}) {
        return json(QStringList{"interpret"} + who +
                    QStringList{"--measured", QString("FEV1=%1").arg(fev1, 0, 'g', 17), "--measured",
                                QString("FVC=%1").arg(fvc, 0, 'g', 17)} +
                    more);
    };
    QJsonObject r = interpret(fvc * ratioLln);
    EXPECT_FALSE(r["obstruction"].toBool());
    EXPECT_EQ(r["FEV1/FVC"].toObject()["severity"].toString(), "normal");
    EXPECT_TRUE(r["bdr"].isNull());
    r = interpret(fvc * (ratioLln - 0.001), {"--post", "FEV1=4.0", "--post", "FVC=" + QString::number(fvc, 'g', 17)});
    EXPECT_TRUE(r["obstruction"].toBool());
    EXPECT_EQ(r["pattern"].toString(), "obstruction");
    EXPECT_FALSE(r["rules"].toArray().isEmpty());
    const QJsonObject bdr = r["bdr"].toObject();
    EXPECT_TRUE(bdr["FEV1"].toObject()["significant"].toBool());
    EXPECT_FALSE(bdr["FVC"].toObject()["significant"].toBool());
    EXPECT_NEAR(bdr["FVC"].toObject()["percentPredicted"].toDouble(), 0, 1e-9);
}

} // namespace
