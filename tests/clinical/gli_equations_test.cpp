// GLI equations against the official calculator's grid and the independent
// GLI Global 2022 oracle; broken tables refused.
#include "core/clinical/gli_equations.h"
#include "support/data_table.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>

namespace {

std::vector<DataRow> oracle(const QString& file)
{
    return ReadDataTable(QString(CLINICAL_TEST_DATA "/") + file);
}

class GliEquationsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(gli.LoadBuiltIn(&error)) << error.toStdString();
    }
    GliPrediction predict(GliSet set, GliParameter parameter, bool male, double age, double height,
                          int ethnic = 1) const
    {
        return gli.Predict(set, parameter, GliSubject{male, age, height, ethnic});
    }
    GliEquations gli;
};

TEST_F(GliEquationsTest, MatchesEveryRowOfTheGliCalculatorGrid)
{
    const std::vector<DataRow> rows = oracle("gli2012_calculator_oracle.csv");
    ASSERT_EQ(rows.size(), 1000u);
    const std::pair<const char*, GliParameter> columns[] = {
        {"fev1", GliParameter::FEV1},       {"fvc", GliParameter::FVC},
        {"fev1fvc", GliParameter::FEV1FVC}, {"fef2575", GliParameter::FEF2575},
        {"fef75", GliParameter::FEF75},     {"erv", GliParameter::ERV}};
    double worst = 0;
    int compared = 0, missing = 0;
    for (const DataRow& row : rows) {
        SCOPED_TRACE(row.line());
        const GliSubject subject{row["sex"] == "M", row.number("age"), row.number("height"),
                                 row["ethnic"].toInt()};
        for (const auto& [name, parameter] : columns) {
            const GliPrediction p = gli.Predict(GliSet::Gli2012, parameter, subject);
            const QString prefix = QString(name) + "_";
            if (row[prefix + "predicted"] == "NA") {
                // The calculator gives nothing outside the age range; neither do we.
                EXPECT_FALSE(p.available) << name;
                EXPECT_TRUE(p.outOfRange) << name;
                ++missing;
                continue;
            }
            ASSERT_TRUE(p.available) << name;
            const double expected[] = {row.number(prefix + "predicted"), row.number(prefix + "lln"),
                                       row.number(prefix + "uln")};
            const double actual[] = {p.M, p.lln, p.uln};
            for (int k = 0; k < 3; ++k) {
                const double diff = std::fabs(actual[k] - expected[k]);
                worst = std::max(worst, diff);
                EXPECT_LE(diff, 0.0015) << name << " value " << k;
                ++compared;
            }
        }
    }
    EXPECT_GT(missing, 0); // the grid holds ages past the FEF and ERV ranges
    EXPECT_EQ(compared + missing * 3, 1000 * 6 * 3);
    RecordProperty("worst_difference", std::to_string(worst));
}

TEST_F(GliEquationsTest, MatchesTheIndependentGliGlobalOracle)
{
    const std::vector<DataRow> rows = oracle("gli_global_2022_oracle.csv");
    ASSERT_EQ(rows.size(), 30u);
    const std::pair<const char*, GliParameter> columns[] = {
        {"fev1", GliParameter::FEV1}, {"fvc", GliParameter::FVC}, {"fev1fvc", GliParameter::FEV1FVC}};
    for (const DataRow& row : rows) {
        SCOPED_TRACE(row.line());
        const GliSubject subject{row["sex"] == "M", row.number("age"), row.number("height"), 1};
        for (const auto& [name, parameter] : columns) {
            const GliPrediction p = gli.Predict(GliSet::GliGlobal2022, parameter, subject);
            ASSERT_TRUE(p.available);
            const QString n(name);
            const double measured = row.number(n + "_measured");
            EXPECT_NEAR(p.M, row.number(n + "_pred_2022"), 1e-6) << name;
            EXPECT_NEAR(p.lln, row.number(n + "_lln_2022"), 1e-6) << name;
            EXPECT_NEAR(p.zScore(measured), row.number(n + "_zscore_2022"), 1e-6) << name;
            EXPECT_NEAR(p.percentPredicted(measured), row.number(n + "_pctpred_2022"), 1e-6) << name;
        }
    }
}

TEST_F(GliEquationsTest, CentilesAndZScoresAgree)
{
    // The LLN is the 5th centile: its z-score is -1.645, the ULN's +1.645.
    const GliPrediction p = predict(GliSet::Gli2012, GliParameter::ERV, false, 52.3, 158, 4);
    ASSERT_TRUE(p.available);
    EXPECT_NEAR(p.zScore(p.lln), -1.645, 1e-9);
    EXPECT_NEAR(p.zScore(p.uln), 1.645, 1e-9);
    EXPECT_TRUE(std::isnan(p.zScore(0))); // nothing measured has no z-score
}

// Each row of gli_ranges.csv; the sets other than GLI-2012 ignore the group.
TEST_F(GliEquationsTest, NoValueWhereTheSetHasNoEquationOrTheAgeIsOutside)
{
    for (const DataRow& row : oracle("gli_ranges.csv")) {
        SCOPED_TRACE(row.line());
        const GliPrediction p = predict(
            GliSetFromName(row["set"]).value(), GliParameterFromName(row["parameter"]).value(),
            row["sex"] == "M", row.number("age"), row.number("height"), row["ethnic"].toInt());
        EXPECT_EQ(p.available, row["available"] == "1");
        EXPECT_TRUE(row["out_of_range"].isEmpty() || p.outOfRange == (row["out_of_range"] == "1"));
    }
    EXPECT_FALSE(gli.Has(GliSet::GliGlobal2022, GliParameter::FEF2575));
    EXPECT_TRUE(gli.Has(GliSet::Gli2012, GliParameter::FEF75));
    EXPECT_DOUBLE_EQ(predict(GliSet::GliGlobal2022, GliParameter::FEV1, true, 40, 175, 3).M,
                     predict(GliSet::GliGlobal2022, GliParameter::FEV1, true, 40, 175, 1).M);
}

TEST(GliNames, SetsParametersAndAge)
{
    for (GliSet set : {GliSet::Gli2012, GliSet::GliGlobal2022})
        EXPECT_EQ(GliSetFromName(GliSetName(set)), set);
    EXPECT_FALSE(GliSetFromName("gli2022").has_value());
    for (GliParameter parameter : GliParameters())
        EXPECT_EQ(GliParameterFromName(GliParameterName(parameter)), parameter);
    EXPECT_FALSE(GliParameterFromName("FEV6").has_value());
    // 25 years and 2 days (six leap days in between): whole years would lose the fraction.
    EXPECT_NEAR(GliDecimalAge(QDate(2000, 1, 1), QDate(2025, 1, 3)), 9134 / 365.25, 1e-12);
    EXPECT_EQ(GliDecimalAge(QDate(), QDate(2025, 1, 3)), 0);
}

// Broken table files are refused with a message, never half loaded.
class GliBrokenTablesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        for (const QString& name : QDir(":/gli").entryList(QDir::Files)) {
            QFile::remove(dir.filePath(name));
            ASSERT_TRUE(QFile::copy(":/gli/" + name, dir.filePath(name)));
        }
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
            QFile(dir.filePath(name)).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    void replace(const QString& name, const QByteArray& from, const QByteArray& to)
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QByteArray text = file.readAll();
        file.close();
        const qsizetype at = text.indexOf(from);
        ASSERT_GE(at, 0) << from.toStdString();
        text.replace(at, from.size(), to);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    QString loadError()
    {
        QString error;
        GliEquations gli;
        if (gli.Load(dir.path(), &error))
            return QString();
        EXPECT_FALSE(gli.Has(GliSet::Gli2012, GliParameter::FEV1)); // nothing half loaded
        return error;
    }
    QTemporaryDir dir;
};

// The copy loads; each damage below is refused, naming what is wrong.
TEST_F(GliBrokenTablesTest, RefusesMissingFilesCellsNumbersAndAgeGaps)
{
    EXPECT_EQ(loadError(), QString());
    QFile::remove(dir.filePath("gli2021_erv_splines.csv"));
    EXPECT_TRUE(loadError().contains("gli2021_erv_splines.csv"));
    const struct {
        const char *file, *from, *to, *named;
    } damages[] = {
        {"gli2012_coefficients.csv", "-10.342,", "-10.342x,", "m_const"},
        {"gli2012_coefficients.csv", "-10.342,", "inf,", "m_const"}, // a number to the parser only
        {"gli_global_2022_coefficients.csv", "M,FVC,-12.629131,", "M,FVC,", "cells"},
        {"gli2012_coefficients.csv", "M,FVC,", "M,FEV6,", "FEV6"},
        // A dropped knot would shift every later age by a quarter year.
        {"gli2012_splines.csv", "M,FEV1,3.25,", "M,FEV1,3.5,", "3.5"}};
    for (const auto& damage : damages) {
        SetUp();
        replace(damage.file, damage.from, damage.to);
        EXPECT_TRUE(loadError().contains(damage.named)) << damage.to;
    }
}

} // namespace
