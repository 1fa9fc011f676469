// tavctl predicted --patient ID: the patient's predicted values under the record's field names.
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "core/measure/maneuver_fields.h"
#include "core/measure/test_record.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/predict_equation.h"
#include "core/records/predicted_values.h"

#include <QJsonObject>

int CmdPredicted(CliContext& context, QStringList& args)
{
    bool found = false;
    const QString text = CliContext::TakeOption(args, "--patient", &found);
    if (!found || !args.isEmpty())
        return CliContext::Fail("usage: tavctl predicted --patient ID");
    bool ok = false;
    const int id = text.toInt(&ok);
    if (!ok || id < 1)
        return CliContext::Fail("the patient ID must be a positive number, not \"" + text + "\"");
    if (!context.OpenDatabase())
        return 2;
    Database& db = context.Db();
    PatientRecord patient;
    if (!LoadPatient(db, id, patient))
        return CliContext::Fail(QString("there is no patient %1").arg(id));
    PredictEquation equation;
    if (!LoadPredictEquation(db, patient.Standard, patient.Gender, PredictionAge(patient.Age),
                             equation))
        return CliContext::Fail(QString("no reference equation for standard %1, gender %2, age %3")
                                    .arg(patient.Standard)
                                    .arg(patient.Gender)
                                    .arg(patient.Age),
                                1);
    ManeuverResult predicted;
    ComputePredictedValues(db, predicted, patient);
    QJsonObject json;
    const auto& fields = ManeuverFields();
    for (int i = 0; i < int(fields.size()); ++i)
        json[fields[i].name] = ManeuverFieldValue(predicted, i);
    PrintJson(json);
    return 0;
}
