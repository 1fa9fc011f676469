// The interpretation at each of its boundaries, on both sides
// (data/interpretation.csv), with values placed at chosen z-scores through the
// LMS model itself.
#include "core/clinical/interpretation.h"
#include "support/data_table.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class InterpretationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gli.LoadBuiltIn()); }

    // The measured value that has z-score `z`.
    double at(GliParameter parameter, double z) const
    {
        const GliPrediction p = gli.Predict(set, parameter, person);
        return p.M * std::pow(1.0 + p.L * p.S * z, 1.0 / p.L);
    }
    // FEV1 and FVC whose FVC has z `fvcZ` and whose ratio has z `ratioZ`.
    SpirometryValues values(double fvcZ, double ratioZ) const
    {
        const double fvc = at(GliParameter::FVC, fvcZ);
        return {fvc * at(GliParameter::FEV1FVC, ratioZ), fvc};
    }
    Interpretation interpret(const SpirometryValues& v) const { return Interpret(gli, set, person, v); }

    GliEquations gli;
    GliSet set = GliSet::GliGlobal2022;
    GliSubject person{true, 45, 178, 1};
};

TEST(SeverityTest, BandsOnBothSidesOfEachLimit)
{
    EXPECT_EQ(SeverityOfZ(0.5), Severity::Normal);
    EXPECT_EQ(SeverityOfZ(-1.645), Severity::Normal);
    EXPECT_EQ(SeverityOfZ(-1.6450001), Severity::Normal); // rounding noise at the LLN itself
    EXPECT_EQ(SeverityOfZ(-1.646), Severity::Mild);
    EXPECT_EQ(SeverityOfZ(-2.5), Severity::Mild);
    EXPECT_EQ(SeverityOfZ(-2.501), Severity::Moderate);
    EXPECT_EQ(SeverityOfZ(-4.0), Severity::Moderate);
    EXPECT_EQ(SeverityOfZ(-4.001), Severity::Severe);
}

// Each row of interpretation.csv.
TEST_F(InterpretationTest, PatternsAndSeveritiesAtEachLimit)
{
    for (const DataRow& row : ReadDataTable(CLINICAL_TEST_DATA "/interpretation.csv")) {
        SCOPED_TRACE(row.line());
        const bool byRatio = !row["ratio_z"].isEmpty();
        const Interpretation r = interpret(byRatio ? values(row.number("fvc_z"), row.number("ratio_z"))
                                                   : SpirometryValues{at(GliParameter::FEV1, row.number("fev1_z")),
                                                                      at(GliParameter::FVC, row.number("fvc_z"))});
        ASSERT_TRUE(r.available);
        // The values sit where the row put them, and the impairment takes FEV1's severity.
        EXPECT_NEAR(byRatio ? r.ratio.z : r.fev1.z, row.number(byRatio ? "ratio_z" : "fev1_z"), 1e-9);
        EXPECT_NEAR(r.fev1.percentPredicted, 100 * r.fev1.value / r.fev1.pred, 1e-9);
        EXPECT_EQ(r.severity, r.fev1.severity);
        const auto expect = [&](const char* column, const QString& actual) {
            const QString wanted = row[column];
            if (wanted.startsWith('!')) {
                EXPECT_NE(actual, wanted.mid(1)) << column;
            } else if (!wanted.isEmpty()) {
                EXPECT_EQ(actual, wanted) << column;
            }
        };
        expect("pattern", PatternName(r.pattern));
        expect("severity", SeverityName(r.severity));
        expect("prism", r.prism ? "1" : "0");
        expect("obstruction", r.obstruction ? "1" : "0");
        expect("fvc_severity", SeverityName(r.fvc.severity));
        expect("fev1_severity", SeverityName(r.fev1.severity));
        expect("ratio_severity", SeverityName(r.ratio.severity));
        EXPECT_TRUE(r.rules.join(' ').contains(row["rule"])) << r.rules.join(' ').toStdString();
    }
}

TEST_F(InterpretationTest, BronchodilatorResponseOverTenPercentOfPredicted)
{
    const double predicted = gli.Predict(set, GliParameter::FEV1, person).M;
    const SpirometryValues pre{2.0, 3.5};
    // Exactly 10 % of predicted: not over it.
    Interpretation r = Interpret(gli, set, person, pre, SpirometryValues{2.0 + 0.1 * predicted, 3.5});
    ASSERT_TRUE(r.bdr.has_value());
    EXPECT_NEAR(r.bdr->fev1.percentPredicted, 10.0, 1e-9);
    EXPECT_FALSE(r.bdr->fev1.significant);
    EXPECT_FALSE(r.bdr->significant());
    EXPECT_NEAR(r.bdr->fev1.percent, 100 * 0.1 * predicted / 2.0, 1e-9);

    r = Interpret(gli, set, person, pre, SpirometryValues{2.0 + 0.1 * predicted + 0.001, 3.5});
    EXPECT_TRUE(r.bdr->fev1.significant);
    EXPECT_TRUE(r.bdr->significant());

    // FVC alone can make the response; a fall is never one.
    const double fvcPredicted = gli.Predict(set, GliParameter::FVC, person).M;
    r = Interpret(gli, set, person, pre, SpirometryValues{1.8, 3.5 + 0.11 * fvcPredicted});
    EXPECT_FALSE(r.bdr->fev1.significant);
    EXPECT_TRUE(r.bdr->fvc.significant);
    EXPECT_LT(r.bdr->fev1.litres, 0);

    EXPECT_FALSE(interpret(pre).bdr.has_value());
    EXPECT_FALSE(ChangeAfterBronchodilator(0, 2.0, 3.0).available);
}

TEST_F(InterpretationTest, NothingWithoutAReferenceOrAMeasurement)
{
    person.ageYears = 96; // past the equations
    Interpretation r = interpret({2.0, 3.0});
    EXPECT_FALSE(r.available);
    EXPECT_FALSE(r.unavailableReason.isEmpty());
    person.ageYears = 45;
    EXPECT_FALSE(interpret({2.0, 0}).available);
}

} // namespace
