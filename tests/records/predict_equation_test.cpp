// The coefficient texts, BSA, the terms of an equation and a set without one.
#include "records_fixture.h"

#include "core/records/leading_number.h"
#include "core/records/predict_equation.h"

// Each row of coefficient_texts.csv read as one number and as a coefficient list.
TEST(CoefficientText, LeadingNumberAndListOfEachRow)
{
    EXPECT_DOUBLE_EQ(LeadingNumber("1,5"), 1.0); // a comma never is a decimal point
    for (const DataRow& row : DataRows("coefficient_texts.csv")) {
        SCOPED_TRACE(row.line());
        EXPECT_DOUBLE_EQ(LeadingNumber(row["text"]), row.number("number"));
        auto expected = DefaultCoefficients();
        const QStringList given = row["slots"].split(' ', Qt::SkipEmptyParts);
        for (int i = 0; i < int(given.size()); ++i)
            expected[i] = given[i].toFloat();
        auto values = DefaultCoefficients();
        ParseCoefficientList(row["text"], values);
        for (int i = 0; i < 10; ++i)
            EXPECT_FLOAT_EQ(values[i], expected[i]) << "slot " << i;
    }
}

TEST(BodySurfaceArea, FollowsDuBois)
{
    // DuBois & DuBois 1916: 70 kg, 175 cm is about 1.85 m2; 50 kg, 160 cm about 1.50 m2.
    EXPECT_NEAR(BodySurfaceArea(70, 175), 1.848, 0.002);
    EXPECT_NEAR(BodySurfaceArea(50, 160), 1.50, 0.005);
    EXPECT_EQ(BodySurfaceArea(0, 175), 0.0f);
    EXPECT_EQ(BodySurfaceArea(-70, 175), 0.0f);
    EXPECT_EQ(BodySurfaceArea(70, -175), 0.0f);
}

// Every term takes its own variable; the ratio slot adds F times FEV1/FVC,
// and an FVC of zero gives no infinite ratio.
TEST(PredictEquationEval, TermsAndTheRatioSlot)
{
    PredictEquation eq;
    eq.C[0] = 1;
    eq.Hc[0] = 0.01f;
    eq.Ac[0] = 0.1f;
    eq.AAc[0] = 0.001f;
    eq.HHc[0] = 0.0001f;
    eq.Sc[0] = 2;
    // 1 + 0.01*150 + 0.1*30 + 0.001*900 + 0.0001*22500 + 2*1.5
    EXPECT_NEAR(EvaluatePredictEquation(eq, 150, 30, 1.5f).P[0], 11.65, 1e-4);

    eq = PredictEquation();
    eq.F = 100;
    eq.C = {4, 3, 0, 0, 0, 0, 0, 0, 0, 0};
    PredictedSlots s = EvaluatePredictEquation(eq, 170, 40, 1.8f);
    EXPECT_FLOAT_EQ(s.P[1], 3);
    EXPECT_FLOAT_EQ(s.R, 0.75f);
    EXPECT_FLOAT_EQ(s.P[2], 75);
    eq.F = 0;
    eq.C[2] = 80;
    eq.Ac[2] = -0.2f;
    EXPECT_FLOAT_EQ(EvaluatePredictEquation(eq, 170, 40, 1.8f).P[2], 72);
    eq.C[0] = 0;
    s = EvaluatePredictEquation(eq, 170, 40, 1.8f);
    EXPECT_EQ(s.R, 0.0f);
    EXPECT_TRUE(std::isfinite(s.P[2]));
}

using PredictTable = RecordsTest;

TEST_F(PredictTable, UnknownStandardFindsNoEquation)
{
    PredictEquation eq;
    eq.F = 42;
    EXPECT_FALSE(LoadPredictEquation(db, 7, 0, 40, eq));
    EXPECT_EQ(eq.F, 42);
    EXPECT_FALSE(LoadPredictEquation(db, 0, 0, 100, eq)); // 100 is past the last band
}
