// The interpretation at each of its boundaries, on both sides, with values
// placed at chosen z-scores through the LMS model itself.
#include "core/clinical/interpretation.h"

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

TEST_F(InterpretationTest, ObstructionAtTheRatiosLln)
{
    Interpretation r = interpret(values(0, -1.645));
    ASSERT_TRUE(r.available);
    EXPECT_NEAR(r.ratio.z, -1.645, 1e-9);
    EXPECT_FALSE(r.obstruction);
    EXPECT_EQ(r.ratio.severity, Severity::Normal);

    r = interpret(values(0, -1.646));
    EXPECT_TRUE(r.obstruction);
    EXPECT_EQ(r.pattern, SpirometryPattern::Obstruction);
    EXPECT_FALSE(r.prism);
    EXPECT_EQ(r.severity, r.fev1.severity); // the impairment takes FEV1's severity

    // With a low FVC beside it: air trapping or added restriction.
    r = interpret(values(-1.7, -2.0));
    EXPECT_EQ(r.pattern, SpirometryPattern::ObstructionLowFvc);
    EXPECT_EQ(PatternName(r.pattern), "obstruction-low-fvc");
    EXPECT_TRUE(r.rules.join(' ').contains("air trapping"));
}

TEST_F(InterpretationTest, PreservedRatioPatternAtEachOfItsThreeLimits)
{
    // FVC and FEV1 below LLN, ratio exactly at its LLN: preserved.
    Interpretation r = interpret(values(-2.2, -1.645));
    ASSERT_EQ(r.fvc.severity, Severity::Mild);
    ASSERT_NE(r.fev1.severity, Severity::Normal);
    EXPECT_TRUE(r.prism);
    EXPECT_EQ(r.pattern, SpirometryPattern::PreservedRatio);
    EXPECT_FALSE(r.obstruction);
    EXPECT_TRUE(r.rules.join(' ').contains("lung volumes"));

    // The ratio just below: obstruction with a low FVC instead.
    r = interpret(values(-2.2, -1.646));
    EXPECT_FALSE(r.prism);
    EXPECT_EQ(r.pattern, SpirometryPattern::ObstructionLowFvc);

    // FVC exactly at its LLN: no longer both low.
    const double fvc = at(GliParameter::FVC, -1.645);
    r = interpret({at(GliParameter::FEV1, -2.0), fvc});
    ASSERT_EQ(r.fvc.severity, Severity::Normal);
    ASSERT_EQ(r.ratio.severity, Severity::Normal);
    EXPECT_FALSE(r.prism);
    EXPECT_EQ(r.pattern, SpirometryPattern::NonSpecific);
    r = interpret({at(GliParameter::FEV1, -2.0), at(GliParameter::FVC, -1.646)});
    ASSERT_EQ(r.ratio.severity, Severity::Normal);
    EXPECT_TRUE(r.prism);

    // FEV1 exactly at its LLN beside a low FVC: not the pattern either.
    r = interpret({at(GliParameter::FEV1, -1.645), at(GliParameter::FVC, -1.9)});
    ASSERT_EQ(r.fev1.severity, Severity::Normal);
    EXPECT_FALSE(r.prism);
}

TEST_F(InterpretationTest, WithinNormalLimitsAndSeverityFromFev1)
{
    Interpretation r = interpret({at(GliParameter::FEV1, -1.645), at(GliParameter::FVC, -1.645)});
    EXPECT_EQ(r.pattern, SpirometryPattern::Normal);
    EXPECT_EQ(PatternName(r.pattern), "normal");
    EXPECT_EQ(r.severity, Severity::Normal);

    // Severe obstruction: FEV1 far down with a low ratio.
    const double fvc = at(GliParameter::FVC, -0.5);
    const double fev1 = at(GliParameter::FEV1, -4.2);
    r = interpret({fev1, fvc});
    EXPECT_TRUE(r.obstruction);
    EXPECT_EQ(r.severity, Severity::Severe);
    EXPECT_EQ(SeverityName(r.severity), "severe");
    EXPECT_NEAR(r.fev1.z, -4.2, 1e-9);
    EXPECT_NEAR(r.fev1.percentPredicted, 100 * fev1 / r.fev1.pred, 1e-9);
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
