// Predicted values against the published reference equations, and the
// nation-group correction applied field by field.
#include "records_fixture.h"

#include "core/measure/maneuver_fields.h"
#include "core/measure/test_record.h"
#include "core/records/nation_groups.h"
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
void expectNear(double actual, double expected, const char* what)
{
    EXPECT_NEAR(actual, expected, std::abs(expected) * 1e-3 + 1e-4) << what;
}

// Index of the record's field `name` in ManeuverFields(), -1 when there is none.
int fieldIndex(const QString& name)
{
    const auto& fields = ManeuverFields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (name == fields[i].name)
            return int(i);
    return -1;
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

// Each row of predicted_values.csv: one field of one person's predicted values.
TEST_F(Predicted, OlderSetsFollowTheirPublishedEquations)
{
    for (const DataRow& row : DataRows("predicted_values.csv")) {
        SCOPED_TRACE(row.line());
        const PatientRecord p = person(int(row.number("set")), int(row.number("sex")),
                                       int(row.number("age")), int(row.number("height")));
        ManeuverResult r;
        ASSERT_TRUE(ComputePredictedValues(db, r, p));
        const int field = fieldIndex(row["field"]);
        ASSERT_GE(field, 0);
        expectNear(ManeuverFieldValue(r, field), row.number("value"), "");
    }
}

TEST_F(Predicted, FieldsNoEquationGivesKeepTheirValuesAndAgeZeroIsOne)
{
    // The counts and the breathing pattern are the test's own; FEV3 and EVOL are predicted as 0.
    ManeuverResult r;
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
    r.FEV3_FVC = 3;
    r.EVOL = 4;
    const ManeuverResult before = r;
    ComputePredictedValues(db, r, person(0, 0, 40, 176));
    for (float ManeuverResult::*field : untouched)
        EXPECT_EQ(r.*field, before.*field);
    EXPECT_EQ(r.ExpCount, 11);
    EXPECT_EQ(r.InspCount, 12);
    EXPECT_EQ(r.FEV3, 0);
    EXPECT_EQ(r.FEV3_FVC, 0);
    EXPECT_EQ(r.EVOL, 0);

    ManeuverResult zero, negative;
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
    EXPECT_FALSE(ComputePredictedValues(db, r, person(0, 0, 40, 79)));
    EXPECT_FALSE(ComputePredictedValues(db, r, person(0, 0, 40, 176, 14)));
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

// On a GLI set the age is the decimal age of the test's day, as PatientOnDay gives it.
TEST_F(Predicted, AGliTestDayTakesTheAgeOfThatDay)
{
    PatientRecord p = person(4, 0, 0, 176);
    p.Birthdate = QDate(1950, 8, 1);
    ManeuverResult then, now;
    ASSERT_TRUE(ComputePredictedValues(db, then, PatientOnDay(p, QDate(2016, 4, 20))));
    ASSERT_TRUE(ComputePredictedValues(db, now, p));
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
    // Row k gets factor 1 + k/100 and offset k/1000, so every field shows which row it took;
    // the grid names the field of each row.
    for (int k = 1; k <= 23; ++k)
        ASSERT_TRUE(db.Execute("update Nation set Multiply = ?, Additive = ? where nNation = 4 "
                               "and ParamName = ?",
                               {1 + k / 100.0, k / 1000.0, k}));
    computeForNation(4);
    int checked = 0;
    for (const CorrectionRow& row : RefreshGrid(db).Rows) {
        if (row.Group != 4 || row.ParameterName.startsWith("FEV3"))
            continue;
        const int i = fieldIndex(row.ParameterName);
        ASSERT_GE(i, 0) << row.ParameterName.toStdString();
        const float before = float(ManeuverFieldValue(base, i));
        EXPECT_FLOAT_EQ(float(ManeuverFieldValue(corrected, i)),
                        before * static_cast<float>(1 + row.Parameter / 100.0) +
                            static_cast<float>(row.Parameter / 1000.0))
            << row.ParameterName.toStdString();
        ++checked;
    }
    EXPECT_EQ(checked, 21);
    EXPECT_FLOAT_EQ(corrected.IRV, corrected.ERV);
    EXPECT_FLOAT_EQ(corrected.FET, 6.0f * 1.02f);
    EXPECT_EQ(corrected.FEV3, 0);
    EXPECT_EQ(corrected.FEV3_FVC, 0);
    EXPECT_EQ(corrected.EVOL, 0);
    EXPECT_EQ(corrected.ELA, 40);
}
