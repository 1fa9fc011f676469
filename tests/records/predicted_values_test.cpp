// Predicted values against the published reference equations, and the
// nation-group correction applied field by field.
#include "records_fixture.h"

#include "core/measure/test_record.h"
#include "core/records/patient_record.h"
#include "core/records/predicted_values.h"

namespace {

PatientRecord person(int standard, int gender, int age, int height, int weight = 70)
{
    PatientRecord p;
    p.ID = 1;
    p.Standard = standard;
    p.Gender = gender;
    p.Age = age;
    p.Height = height;
    p.Weight = weight;
    p.Nation = 1;
    return p;
}

// 1e-3 relative, as single-precision evaluation of the shipped coefficients allows.
void expectNear(float actual, double expected, const char* what)
{
    EXPECT_NEAR(actual, expected, std::abs(expected) * 1e-3 + 1e-4) << what;
}

} // namespace

class Predicted : public RecordsTest {
  protected:
    // The values of a 40-year-old man of 176 cm without and with the group `nation`.
    void computeForNation(int nation)
    {
        PatientRecord p = person(0, 0, 40, 176);
        ComputePredictedValues(db, base, p);
        p.Nation = nation;
        ComputePredictedValues(db, corrected, p);
    }
    ManeuverResult base, corrected;
};

TEST_F(Predicted, EccsAdultManMatchesThePublishedEquations)
{
    // Quanjer et al. 1993, men, H in m: FVC 5.76H-0.026A-4.34, FEV1 4.30H-0.029A-2.49,
    // FEV1%VC -0.18A+87.21, FEF25-75 1.94H-0.043A+2.70, PEF 6.14H-0.043A+0.15,
    // MEF75 5.46H-0.029A-0.47, MEF50 3.79H-0.031A-0.35, MEF25 2.61H-0.026A-1.34,
    // ERV = FRC-RV = (2.34H+0.009A-1.09)-(1.31H+0.022A-1.23).
    const double H = 1.76, A = 40;
    ManeuverResult r;
    // Fields no equation gives keep their values.
    float ManeuverResult::*const untouched[] = {&ManeuverResult::TV, &ManeuverResult::MV,
                                                &ManeuverResult::tI, &ManeuverResult::tE,
                                                &ManeuverResult::TV_tI, &ManeuverResult::ttot,
                                                &ManeuverResult::tI_ttot};
    float marker = 0.25f;
    for (float ManeuverResult::*field : untouched)
        r.*field = marker += 1;
    r.ExpCount = 11;
    r.InspCount = 12;
    r.FEV3 = 2;
    const ManeuverResult before = r;
    ComputePredictedValues(db, r, person(0, 0, 40, 176));
    for (float ManeuverResult::*field : untouched)
        EXPECT_EQ(r.*field, before.*field);
    EXPECT_EQ(r.ExpCount, 11);
    EXPECT_EQ(r.InspCount, 12);
    EXPECT_EQ(r.FEV3, 0);
    EXPECT_EQ(r.FEV3_FVC, 0);
    EXPECT_EQ(r.IRV, r.ERV); // the neutral correction of the shipped groups copies ERV into IRV
    const double fvc = 5.76 * H - 0.026 * A - 4.34;
    const double fev1 = 4.30 * H - 0.029 * A - 2.49;
    const double erv = (2.34 * H + 0.009 * A - 1.09) - (1.31 * H + 0.022 * A - 1.23);
    expectNear(r.FVC, fvc, "FVC");
    expectNear(r.FEV1, fev1, "FEV1");
    expectNear(r.FEV1_FVC, -0.18 * A + 87.21, "FEV1/FVC");
    expectNear(r.FEF2575, 1.94 * H - 0.043 * A + 2.70, "FEF2575");
    expectNear(r.PEF, 6.14 * H - 0.043 * A + 0.15, "PEF");
    expectNear(r.FEF25, 5.46 * H - 0.029 * A - 0.47, "FEF25 (MEF75)");
    expectNear(r.FEF50, 3.79 * H - 0.031 * A - 0.35, "FEF50");
    expectNear(r.FEF75, 2.61 * H - 0.026 * A - 1.34, "FEF75 (MEF25)");
    expectNear(r.ERV, erv, "ERV");
    expectNear(r.MVV, 35 * fev1, "MVV");
    // Derived fields of the same call.
    expectNear(r.IC, fvc - erv, "IC");
    expectNear(r.FEV1_FEV6, 100 * fev1 / fvc, "FEV1/FEV6");
    for (float f : {r.FEV6, r.FIVC, r.VC, r.EVC, r.IVC})
        EXPECT_EQ(f, r.FVC);
    EXPECT_EQ(r.FIV1, r.FEV1);
    EXPECT_EQ(r.PIF, r.PEF);
    EXPECT_EQ(r.FEV1_VC, r.FEV1_FVC);
    EXPECT_EQ(r.FIV1_FIVC, r.FEV1_FVC);
    EXPECT_FLOAT_EQ(r.RR, 15);
    EXPECT_FLOAT_EQ(r.FET, 6);
    EXPECT_EQ(r.ELA, 40);
    EXPECT_EQ(r.EVOL, 0);
}

TEST_F(Predicted, UsaSetFollowsNhanesThree)
{
    // Hankinson 1999, Caucasian men >= 20 y, H in cm:
    // FVC -0.1933+0.00064A-0.000269A^2+0.00018642H^2, FEV1
    // 0.5536-0.01303A-0.000172A^2+0.00014098H^2.
    const double A = 60, H = 175;
    ManeuverResult r;
    ComputePredictedValues(db, r, person(2, 0, 60, 175));
    expectNear(r.FVC, -0.1933 + 0.00064 * A - 0.000269 * A * A + 0.00018642 * H * H, "FVC");
    expectNear(r.FEV1, 0.5536 - 0.01303 * A - 0.000172 * A * A + 0.00014098 * H * H, "FEV1");
}

TEST_F(Predicted, EccsAgeBandsSubstitutionAndClamps)
{
    // Women: FVC 4.43H-0.026A-2.89, FEV1 3.95H-0.025A-2.60. Between 18 and 25 years the
    // statement substitutes age 25; the query tables end at 99 years.
    auto fvc = [](int gender, double h, double a) {
        return gender == 0 ? 5.76 * h - 0.026 * a - 4.34 : 4.43 * h - 0.026 * a - 2.89;
    };
    const struct {
        int gender, age, height, equationAge, lungAge;
    } cases[] = {{1, 40, 165, 40, 40}, {0, 22, 180, 25, 22}, {0, 25, 180, 25, 25},
                 {0, 26, 180, 26, 26}, {0, 100, 170, 99, 99}, {0, 130, 170, 99, -1}};
    for (const auto& c : cases) {
        ManeuverResult r;
        ComputePredictedValues(db, r, person(0, c.gender, c.age, c.height));
        const std::string what = "age " + std::to_string(c.age);
        expectNear(r.FVC, fvc(c.gender, c.height / 100.0, c.equationAge), what.c_str());
        if (c.lungAge >= 0) {
            EXPECT_EQ(r.ELA, c.lungAge) << what;
        }
    }
    ManeuverResult woman, zero, negative;
    ComputePredictedValues(db, woman, person(0, 1, 40, 165));
    expectNear(woman.FEV1, 3.95 * 1.65 - 0.025 * 40 - 2.60, "FEV1");
    ComputePredictedValues(db, zero, person(0, 0, 0, 100, 15));
    ComputePredictedValues(db, negative, person(0, 0, -4, 100, 15));
    EXPECT_EQ(zero.ELA, 1);
    EXPECT_EQ(negative.ELA, 1);
    EXPECT_GT(zero.FVC, 0);
    EXPECT_EQ(negative.FVC, zero.FVC);
}

TEST_F(Predicted, WithoutEquationThePreviousPatientsValuesAreCleared)
{
    // The values of the patient selected before stay in the record the page shows.
    ManeuverResult r;
    ASSERT_TRUE(ComputePredictedValues(db, r, person(0, 0, 40, 176)));
    ASSERT_GT(r.FVC, 0);
    r.TV = 0.5f; // no equation gives TV: it is not the equations' to clear
    EXPECT_FALSE(ComputePredictedValues(db, r, person(5, 0, 40, 170)));
    for (float value : {r.FVC, r.FEV1, r.FEV1_FVC, r.FEV6, r.FIVC, r.VC, r.EVC, r.IVC,
                        r.FEV1_VC, r.FIV1, r.FIV1_FIVC, r.FEF2575, r.PEF, r.PIF, r.FEF25,
                        r.FEF50, r.FEF75, r.MVV, r.ERV, r.IRV, r.IC, r.FEV1_FEV6, r.RR, r.FET})
        EXPECT_EQ(value, 0.0f);
    EXPECT_EQ(r.ELA, 0);
    EXPECT_FLOAT_EQ(r.TV, 0.5f);
    // An equation set whose table has no row for a newborn behaves the same way, and so
    // does a body the editor would refuse.
    EXPECT_FALSE(ComputePredictedValues(db, r, person(9, 1, 0, 50)));
    EXPECT_FALSE(ComputePredictedValues(db, r, person(0, 0, 40, 176, 251)));
    EXPECT_FALSE(ComputePredictedValues(db, r, person(0, 0, 40, 241)));
    EXPECT_TRUE(ComputePredictedValues(db, r, person(0, 0, 40, 240, 250)));
}

// A GLI 2012 patient whose stored group is outside 1 to 5 (a damaged row)
// is predicted as one with no group stored: by the nation group's.
TEST_F(Predicted, AnEthnicGroupOutsideTheSetIsTakenFromTheNationGroup)
{
    PatientRecord p = person(3, 0, 40, 176);
    p.Nation = 3;
    ManeuverResult none, damaged, stored;
    ASSERT_TRUE(ComputePredictedValues(db, none, p));
    p.Ethnic = 6;
    ASSERT_TRUE(ComputePredictedValues(db, damaged, p));
    EXPECT_EQ(damaged.FVC, none.FVC);
    p.Ethnic = 5;
    ASSERT_TRUE(ComputePredictedValues(db, stored, p));
    EXPECT_NE(stored.FVC, none.FVC);
}

TEST_F(Predicted, ATestDayTakesTheAgeOfThatDay)
{
    PatientRecord p = person(0, 0, 0, 176);
    p.Birthdate = QDate(1950, 8, 1);
    p.Age = AgeFromBirthdate(p.Birthdate, QDate(2026, 3, 1));
    const PatientRecord in2016 = PatientOnDay(p, QDate(2016, 4, 20));
    EXPECT_EQ(in2016.Age, 66);
    EXPECT_EQ(PatientOnDay(p, QDate()).Age, p.Age); // no day: as the record has it
    ManeuverResult then, sixtySix, now;
    ASSERT_TRUE(ComputePredictedValues(db, then, in2016));
    ASSERT_TRUE(ComputePredictedValues(db, sixtySix, person(0, 0, 66, 176)));
    ASSERT_TRUE(ComputePredictedValues(db, now, p));
    EXPECT_EQ(then.FVC, sixtySix.FVC);
    EXPECT_EQ(then.ELA, 66);
    EXPECT_GT(then.FVC, now.FVC); // ten years younger, a larger lung
}

TEST_F(Predicted, RatioFactorOfZeroAndOfAHundred)
{
    // A private equation set 9 (3 and 4 are the GLI sets): FVC 4, FEV1 3 (constants only), slot 2 all zero.
    auto add = [&](int f) {
        db.Execute("delete from Predict where Type = 9");
        ASSERT_TRUE(db.Execute(
            "insert into Predict(Type, Gender, Age_lower_limit, Age_upper_limit, \"FEV1/FVC\", "
            "Param_Constant, Param_Hight, Param_Age, Param_Age_Age, Param_Height_Height, "
            "Param_Surface) values(9, 0, 0, 100, ?, ?, ?, ?, ?, ?, ?)",
            {f, "4/3/0/1/1/1/1/1/1/1", "0/0/0/0/0/0/0/0/0/0", "0/0/0/0/0/0/0/0/0/0",
             "0/0/0/0/0/0/0/0/0/0", "0/0/0/0/0/0/0/0/0/0", "0/0/0/0/0/0/0/0/0/0"}));
    };
    add(100);
    ManeuverResult r;
    ComputePredictedValues(db, r, person(9, 0, 40, 170));
    EXPECT_FLOAT_EQ(r.FEV1_FVC, 75);
    add(0);
    ComputePredictedValues(db, r, person(9, 0, 40, 170));
    EXPECT_FLOAT_EQ(r.FEV1_FVC, 0);
    EXPECT_FLOAT_EQ(r.FEV1_FEV6, 75);
}

// A neutral group changes nothing; a group without rows or with one row
// missing is not corrected (IRV untouched); rows in any order meet their parameter.
TEST_F(Predicted, OnlyACompleteGroupCorrectsInWhateverOrderItsRowsWereWritten)
{
    ManeuverResult neutral, plain;
    PatientRecord p = person(0, 1, 50, 160, 60);
    ComputePredictedValues(db, neutral, p);
    p.Nation = 99;
    plain.IRV = -5;
    ComputePredictedValues(db, plain, p);
    EXPECT_EQ(std::memcmp(&neutral.IC, &plain.IC, offsetof(ManeuverResult, IRV)), 0);
    EXPECT_EQ(neutral.MVV, plain.MVV);
    EXPECT_FLOAT_EQ(neutral.FET, 6);
    EXPECT_EQ(plain.IRV, -5);

    db.Execute("update Nation set Multiply = 2 where nNation = 5");
    db.Execute("delete from Nation where nNation = 5 and ParamName = 23");
    computeForNation(5);
    EXPECT_EQ(corrected.FVC, base.FVC);
    EXPECT_EQ(corrected.FET, 6.0f);

    ASSERT_TRUE(db.Execute("insert into Race(Nation) values('Late')"));
    for (int k = 23; k >= 1; --k)
        db.Execute("insert into Nation(nNation, ParamName, Multiply, Additive) values(11, ?, ?, 0)",
                   {k, k == 17 ? 2.0 : 1.0});
    computeForNation(11);
    EXPECT_FLOAT_EQ(corrected.FVC, 2 * base.FVC);
    EXPECT_FLOAT_EQ(corrected.ERV, base.ERV);
}

TEST_F(Predicted, EachCorrectionRowReachesItsOwnField)
{
    // Row k gets factor 1 + k/100 and offset k/1000, so every field shows which row it took.
    for (int k = 1; k <= 23; ++k)
        ASSERT_TRUE(db.Execute("update Nation set Multiply = ?, Additive = ? where nNation = 4 "
                               "and ParamName = ?",
                               {1 + k / 100.0, k / 1000.0, k}));
    computeForNation(4);
    auto row = [&](float before, int k) {
        return before * static_cast<float>(1 + k / 100.0) + static_cast<float>(k / 1000.0);
    };
    const struct {
        float ManeuverResult::*field;
        int k;
        const char* name;
    } table[] = {{&ManeuverResult::ERV, 1, "ERV"},
                 {&ManeuverResult::EVC, 2, "EVC"},
                 {&ManeuverResult::FEF25, 3, "FEF25"},
                 {&ManeuverResult::FEF2575, 4, "FEF2575"},
                 {&ManeuverResult::FEF50, 5, "FEF50"},
                 {&ManeuverResult::FEF75, 6, "FEF75"},
                 {&ManeuverResult::FEV1, 7, "FEV1"},
                 {&ManeuverResult::FEV1_FEV6, 8, "FEV1/FEV6"},
                 {&ManeuverResult::FEV1_FVC, 9, "FEV1/FVC"},
                 {&ManeuverResult::FEV1_VC, 10, "FEV1/VC"},
                 {&ManeuverResult::FEV6, 13, "FEV6"},
                 {&ManeuverResult::FIV1, 14, "FIV1"},
                 {&ManeuverResult::FIV1_FIVC, 15, "FIV1/FIVC"},
                 {&ManeuverResult::FIVC, 16, "FIVC"},
                 {&ManeuverResult::FVC, 17, "FVC"},
                 {&ManeuverResult::IC, 18, "IC"},
                 {&ManeuverResult::IVC, 19, "IVC"},
                 {&ManeuverResult::MVV, 20, "MVV"},
                 {&ManeuverResult::PEF, 21, "PEF"},
                 {&ManeuverResult::PIF, 22, "PIF"},
                 {&ManeuverResult::VC, 23, "VC"}};
    for (const auto& t : table)
        EXPECT_FLOAT_EQ(corrected.*t.field, row(base.*t.field, t.k)) << t.name;
    EXPECT_FLOAT_EQ(corrected.IRV, corrected.ERV);
    EXPECT_FLOAT_EQ(corrected.FET, 6.0f * 1.02f);
    EXPECT_EQ(corrected.FEV3, 0);
    EXPECT_EQ(corrected.FEV3_FVC, 0);
    EXPECT_EQ(corrected.EVOL, 0);
    EXPECT_EQ(corrected.ELA, 40);
}
