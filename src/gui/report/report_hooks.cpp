#include "report_hooks.h"

#include "app/app_paths.h"
#include "app/dialog_hooks.h"
#include "app/lang_text.h"
#include "app/main_shell_dlg.h"
#include "app/show_message.h"
#include "main_frame.h"
#include "records/database.h"
#include "records/diagnose_dlg.h"
#include "report/report_data.h"
#include "report/report_page.h"
#include "trend_dlg.h"

#include <memory>

CMainFrame* OpenResultsReport(QWidget* parent, int patientId, const QString& day)
{
    auto data = std::make_shared<ReportData>();
    if (patientId <= 0 || !LoadReportData(Database::Instance(), patientId, day, *data)) {
        ShowMessage(GetLangText("MESSAGE", 1146), ErrorCaption(), 0, parent);
        return nullptr;
    }
    CMainShellDlg* shell = CMainShellDlg::Instance();
    if (shell)
        data->singleLoop = shell->SingleLoopDisplay() != 0;
    auto* frame = new CMainFrame(
        [data](QPainter& painter, const QRectF& rect, int page) {
            PaintReportPage(painter, rect, *data, page);
        },
        shell, parent, false, ReportPageCount(*data));
    frame->SetDiagnose([data, patientId](QWidget* owner) {
        const QString folder = AppPaths::PatientCaseFolder(patientId);
        CDiagnoseDlg dialog(folder, data->day, data->diagnosis, owner);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        LoadDiagnosis(DiagnosisFile(folder, data->day), data->diagnosis);
        if (CMainShellDlg* main = CMainShellDlg::Instance())
            main->Diagnosis() = data->diagnosis;
        return true;
    });
    return frame;
}

void InstallReportHooks()
{
    Hooks().printReport = [](QWidget* parent, int patientId, const QString& day) {
        OpenResultsReport(parent, patientId, day);
    };
    Hooks().trend = [](QWidget* parent, int patientId) {
        CTrendDlg dialog(patientId, parent);
        dialog.exec();
    };
}
