#pragma once
#include <QString>

class PrintPreview;
class Database;
class QWidget;
class Workbench;

// Fills the dialog hooks of the reporting windows: the report preview of a
// patient's day and the trend dialog. Called once at start-up.
// `db` is the open database start-up built; it outlives the hooks.
void InstallReportHooks(Database& db);

// The Print command of the main and results pages: the preview of the day's
// report with 1, 2 or 3 pages. Null (after a message) without a patient.
// The preview hides `bench`'s window while it is open and gives its diagnosis
// edits back to it; `bench` may be null.
PrintPreview* OpenResultsReport(Database& db, Workbench* bench, QWidget* parent, int patientId,
                              const QString& day);
