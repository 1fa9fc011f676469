#include "gui/report/report_hooks.h"

#include "core/app/app_paths.h"
#include "core/app/lang_text.h"
#include "core/records/database.h"
#include "core/report/report_data.h"
#include "core/report/report_page.h"
#include "gui/app/dialog_hooks.h"
#include "gui/app/workbench.h"
#include "gui/app/show_message.h"
#include "gui/records/diagnosis_dialog.h"
#include "gui/report/print_preview.h"
#include "gui/report/trend_dialog.h"

#include <memory>

PrintPreview* OpenResultsReport(Database& db, Workbench* bench, QWidget* parent, int patientId,
                              const QString& day)
{
    auto data = std::make_shared<ReportData>();
    if (patientId <= 0 || !LoadReportData(db, patientId, day, *data)) {
        ShowMessage(GetLangText("MESSAGE", 1146), ErrorCaption(), 0, parent);
        return nullptr;
    }
    // The screen's single-loop toggle does not decide the paper: the report
    // shows every loop unless the print dialog asks otherwise.
    auto* frame = new PrintPreview(
        [data](QPainter& painter, const QRectF& rect, int page) {
            PaintReportPage(painter, rect, *data, page);
        },
        bench ? bench->Window() : nullptr, parent, false, ReportPageCount(*data));
    frame->SetPdfFileName(ReportPdfFileName(*data));
    frame->SetPrintChoicesHandler(
        [data](const PrintChoices& choices) { data->singleLoop = choices.bestLoopOnly; });
    frame->SetDiagnose([&db, bench, data, patientId](QWidget* owner) {
        DiagnosisDialog dialog(db, patientId, data->day, data->diagnosis, owner);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        LoadDiagnosis(db, patientId, data->day, data->diagnosis);
        if (bench)
            bench->Diagnosis() = data->diagnosis;
        return true;
    });
    return frame;
}

void InstallReportHooks(Database& db)
{
    Hooks().printReport = [&db](Workbench* bench, QWidget* parent, int patientId, const QString& day) {
        OpenResultsReport(db, bench, parent, patientId, day);
    };
    Hooks().trend = [&db](QWidget* parent, int patientId) {
        TrendDialog dialog(db, patientId, parent);
        dialog.exec();
    };
}
