#include "core/records/predicted_values.h"

#include "core/clinical/gli_patient.h"
#include "core/records/nation_groups.h"
#include "core/records/patient_editor_rules.h"
#include "core/records/patient_record.h"

#include <QDate>

#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/predict_equation.h"
#include "core/records/recordset.h"

#include "core/measure/test_record.h"

#include <array>

namespace {

void fillFromSlots(ManeuverResult& out, const PredictedSlots& s, int age)
{
    const auto& P = s.P;
    out.FVC = out.FEV6 = out.FIVC = out.VC = out.EVC = out.IVC = P[0];
    out.FEV1 = out.FIV1 = P[1];
    out.FEV1_FVC = out.FEV1_VC = out.FIV1_FIVC = P[2];
    out.FEF2575 = P[3];
    out.PEF = out.PIF = P[4];
    out.FEF50 = P[5];
    out.FEF75 = P[6];
    out.FEF25 = P[7];
    out.MVV = P[8];
    out.ERV = P[9];
    out.IC = P[0] - P[9];
    out.FEV1_FEV6 = s.R * 100.0f;
    out.RR = 15.0f;
    out.FET = 6.0f;
    out.FEV3 = 0;
    out.FEV3_FVC = 0;
    out.EVOL = 0;
    out.ELA = age == 0 ? 1 : age;
}

// The fields the 23 correction rows apply to, in row order; null for the FEV3
// rows, which are read and ignored.
std::array<float ManeuverResult::*, 23> correctedFields()
{
    using M = ManeuverResult;
    return {&M::ERV,  &M::EVC,       &M::FEF25,     &M::FEF2575, &M::FEF50, &M::FEF75,
            &M::FEV1, &M::FEV1_FEV6, &M::FEV1_FVC,  &M::FEV1_VC, nullptr,   nullptr,
            &M::FEV6, &M::FIV1,      &M::FIV1_FIVC, &M::FIVC,    &M::FVC,   &M::IC,
            &M::IVC,  &M::MVV,       &M::PEF,       &M::PIF,     &M::VC};
}

void applyNationCorrection(Database& db, ManeuverResult& out, int nation)
{
    // Ordered by parameter number so that row k is parameter k whatever order the rows were
    // written in.
    Recordset rs(db);
    rs.Open("SELECT * FROM Nation WHERE nNation = ? ORDER BY ParamName", {nation});
    // The correction is all or nothing: a group without exactly one row per parameter
    // (a damaged or deleted group) leaves the predicted values uncorrected.
    if (rs.GetRecordCount() != 23)
        return;
    rs.MoveFirst();
    std::array<float, 23> multiply{}, additive{};
    for (int k = 0; k < 23; ++k) {
        int parameter = 0;
        rs.GetFieldValue("ParamName", parameter);
        rs.GetFieldValue("Multiply", multiply[k]);
        rs.GetFieldValue("Additive", additive[k]);
        rs.MoveNext();
    }
    const auto fields = correctedFields();
    for (int k = 0; k < 23; ++k) {
        if (!fields[k])
            continue;
        float& field = out.*fields[k];
        field = field * multiply[k] + additive[k];
    }
    out.IRV = out.ERV;
    out.FET = 6.0f * multiply[1];
    out.EVOL = 0;
    out.FEV3 = 0;
    out.FEV3_FVC = 0;
}

} // namespace

void ClearPredictedValues(ManeuverResult& out)
{
    fillFromSlots(out, PredictedSlots{}, 0);
    out.ELA = 0;
    out.IRV = 0;
    out.RR = 0;
    out.FET = 0;
}

double GliAgeOn(const PatientRecord& patient, const QDate& testDay)
{
    return patient.Birthdate.isValid() ? GliDecimalAge(patient.Birthdate, testDay) : patient.Age;
}

GliSubject GliSubjectOf(Database& db, const PatientRecord& patient, const QDate& testDay)
{
    GliSubject subject;
    subject.male = patient.Gender == 0;
    subject.ageYears = GliAgeOn(patient, testDay);
    subject.heightCm = patient.Height;
    subject.ethnic = patient.Ethnic;
    if (subject.ethnic < 1 || subject.ethnic > 5)
        subject.ethnic = EthnicGroupOfNation(NationGroupName(db, patient.Nation));
    if (subject.ethnic == 0)
        subject.ethnic = kEthnicOther; // GLI's choice for a person of no single group
    return subject;
}

bool ComputePredictedValues(Database& db, ManeuverResult& out, const PatientRecord& patient)
{
    // A damaged row (height 0, a wrapped 10^10) would give a negative or absurd
    // prediction: a body the editor would refuse predicts nothing. The age has
    // its own clamp in PredictionAge.
    if (patient.Height < kMinHeight || patient.Height > kMaxHeight ||
        patient.Weight < kMinWeight || patient.Weight > kMaxWeight) {
        ClearPredictedValues(out);
        return false;
    }
    // GLI sets come from their own tables, with their own ethnic terms instead of the correction.
    if (const auto set = GliSetOfStandard(patient.Standard)) {
        const QDate day = patient.AgeDay.isValid() ? patient.AgeDay : QDate::currentDate();
        return FillGliPredicted(GliEquations::BuiltIn(), *set, GliSubjectOf(db, patient, day), out);
    }
    const int age = PredictionAge(patient.Age);
    PredictEquation equation;
    if (!LoadPredictEquation(db, patient.Standard, patient.Gender, age, equation)) {
        ClearPredictedValues(out);
        return false;
    }
    const float bsa = BodySurfaceArea(patient.Weight, patient.Height);
    const PredictedSlots predicted = EvaluatePredictEquation(equation, patient.Height, age, bsa);
    fillFromSlots(out, predicted, age);
    applyNationCorrection(db, out, patient.Nation);
    return true;
}
