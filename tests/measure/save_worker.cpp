// A second program saving tests: saves N FVC tests for one patient into a
// program folder, printing one outcome and file name per line. The exit code
// counts the tests that were not saved.
#include "store_session.h"

#include "core/app/app_paths.h"
#include "core/measure/test_file_writer.h"
#include "core/records/case_store.h"
#include "core/records/database.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: save_worker HOME PATIENT COUNT\n");
        return 255;
    }
    const QString home = QString::fromLocal8Bit(argv[1]);
    const int patient = std::atoi(argv[2]);
    const int count = std::atoi(argv[3]);
    AppPaths::Init(home, home);
    int failed = 0;
    {
        Database db;
        if (!db.Open(AppPaths::DatabaseFile())) {
            std::fprintf(stderr, "%s\n", qPrintable(db.LastError()));
            return 255;
        }
        SaveContext context;
        context.patientId = patient;
        context.caseFolder = AppPaths::PatientCaseFolder(patient);
        context.expCoefficient = 149;
        context.inspCoefficient = 149;
        context.heightCm = 175;
        for (int i = 0; i < count; ++i) {
            Session session;
            session.maneuver({4.0 + 0.01 * i, 8.0, 0.08, 1.0}, {3.4, 2.0});
            context.now = QDateTime(QDate(2026, 3, 4), QTime(10, 0).addSecs(i));
            const SaveResult result = SaveTest(1, session.store(), context, *PatientTestStore(db, patient, context.caseFolder));
            const bool saved = result.outcome == SaveOutcome::Saved;
            failed += saved ? 0 : 1;
            std::printf("%s %s %s\n", saved ? "saved" : "failed", qPrintable(result.dataName),
                        qPrintable(result.prompts.join(" | ")));
            std::fflush(stdout);
        }
    }
    return failed;
}
