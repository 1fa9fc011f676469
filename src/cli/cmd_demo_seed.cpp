// tavctl demo-seed: a few demo patients for a fresh program folder, so the
// desktop program opens on a living patient list. Does nothing when patients exist.
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "records/case_store.h"
#include "records/database.h"
#include "records/patient_record.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>

namespace {

struct DemoPatient {
    const char* name;
    int gender;
    int birthYear, birthMonth, birthDay;
    int height, weight;
    int nation;   // Race.ID
    int standard; // 0 ERS, 1 Knudson, 2 USA
    bool smoker;
};

const DemoPatient kDemoPatients[] = {
    {"Li Wei", 0, 1975, 4, 12, 175, 72, 3, 0, false},
    {"Anna Schmidt", 1, 1988, 9, 3, 165, 58, 1, 0, false},
    {"Robert O'Brien", 0, 1952, 1, 28, 180, 86, 1, 1, true},
    {"Maria Santos", 1, 2010, 6, 17, 148, 41, 10, 2, false},
    {"王芳", 1, 1969, 11, 30, 158, 55, 3, 0, false},
};

} // namespace

int CmdDemoSeed(CliContext& context, QStringList& args)
{
    if (!args.isEmpty())
        return CliContext::Fail("demo-seed takes no arguments");
    // Qt's connection registry must be created before the shared Database, so
    // that it is destroyed after it at exit (the Database closes itself then).
    QSqlDatabase::contains(QString());
    if (!context.OpenDatabase())
        return 2;
    Database& db = Database::Instance();
    QJsonArray created;
    if (LastPatientId(db) == 0) {
        for (const DemoPatient& demo : kDemoPatients) {
            PatientRecord record;
            record.Name = QString::fromUtf8(demo.name);
            record.Gender = demo.gender;
            record.Birthdate = QDate(demo.birthYear, demo.birthMonth, demo.birthDay);
            record.Age = AgeFromBirthdate(record.Birthdate);
            record.Height = demo.height;
            record.Weight = demo.weight;
            record.Nation = demo.nation;
            record.Standard = demo.standard;
            record.Smoker = demo.smoker;
            const int id = CreatePatient(db, record);
            if (id <= 0) {
                const QString error = db.LastError();
                db.Close();
                return CliContext::Fail("cannot add a demo patient: " + error);
            }
            ReconcileDay(db, id, QString()); // makes the patient's case folder
            created.append(id);
        }
    }
    // Closed here: the shared connection must not outlive the Qt SQL plugins at exit.
    db.Close();
    PrintJson(QJsonObject{{"created", created}});
    return 0;
}
