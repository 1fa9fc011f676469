#include "tava_dlg.h"

#include "app/app_paths.h"
#include "app/dialog_hooks.h"
#include "app/lang_text.h"
#include "app/main_shell_dlg.h"
#include "app/show_message.h"
#include "measure/curve_pane.h"
#include "records/case_store.h"
#include "records/database.h"
#include "records/diagnose_dlg.h"
#include "records/diagnosis.h"
#include "records/patient_record.h"
#include "report/day_test_rows.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
QPushButton* button(const QString& text, const char* name, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    b->setMinimumHeight(34);
    return b;
}
QString number(double value)
{
    return QString::asprintf("%.2f", value);
}
} // namespace

CTAVADlg::CTAVADlg(CMainShellDlg* shell) : CPage(shell, CMainShellDlg::kResultsPage)
{
    m_name = new QLabel(this);
    m_name->setObjectName("patientName");
    QFont bold = m_name->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    m_name->setFont(bold);
    m_dates = new QComboBox(this);
    m_dates->setObjectName("dates");
    m_tests = new QTableWidget(0, 7, this);
    m_tests->setObjectName("tests");
    m_tests->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tests->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tests->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tests->setTabKeyNavigation(false);
    m_tests->verticalHeader()->hide();
    m_tests->horizontalHeader()->setStretchLastSection(true);
    m_tests->setColumnWidth(1, 170);
    m_flowVolume = new CCurvePane(0, this);
    m_flowVolume->setObjectName("flowVolume");
    m_volumeTime = new CCurvePane(0, this);
    m_volumeTime->setObjectName("volumeTime");
    m_flowVolume->SetTitle("V-L");
    m_volumeTime->SetTitle("V-T");
    m_flowVolume->SetDetailsSpotEnabled(false);
    m_volumeTime->SetDetailsSpotEnabled(false);
    m_diagnosis = new QLabel(this);
    m_diagnosis->setObjectName("diagnosis");
    m_diagnosis->setWordWrap(true);

    m_exit = button("Exit", "exit", this);
    m_print = button("Print", "print", this);
    m_delete = button("Del", "delete", this);
    m_testButtons[0] = button(QString::fromUtf8("FVC测试"), "fvcTest", this);
    m_testButtons[1] = button(QString::fromUtf8("VC测试"), "vcTest", this);
    m_testButtons[2] = button(QString::fromUtf8("MVV测试"), "mvvTest", this);
    m_singleLoop = button(QString::fromUtf8("单条显示"), "singleLoop", this);
    m_singleLoop->setCheckable(true);
    m_singleLoop->setChecked(Shell()->SingleLoopDisplay() != 0);
    m_diagnose = button(QString(), "diagnose", this);
    m_volumeTimeToggle = button("V-T", "volumeTimeToggle", this);

    auto* top = new QHBoxLayout;
    top->addWidget(m_name, 1);
    top->addWidget(m_dates);
    auto* panes = new QHBoxLayout;
    panes->addWidget(m_flowVolume, 1);
    panes->addWidget(m_volumeTime, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_testButtons[0], m_testButtons[1], m_testButtons[2], m_singleLoop,
                           m_volumeTimeToggle, m_diagnose, m_delete, m_print})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(m_exit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_tests, 2);
    layout->addLayout(panes, 3);
    layout->addWidget(m_diagnosis);
    layout->addLayout(buttons);

    connect(m_exit, &QPushButton::clicked, this, &CTAVADlg::OnCancel);
    connect(m_print, &QPushButton::clicked, this, &CTAVADlg::onPrint);
    connect(m_delete, &QPushButton::clicked, this, &CTAVADlg::onDelete);
    for (int type = 0; type < 3; ++type)
        connect(m_testButtons[type], &QPushButton::clicked, this, [this, type] { onTest(type); });
    connect(m_singleLoop, &QPushButton::clicked, this, &CTAVADlg::onSingleLoop);
    connect(m_diagnose, &QPushButton::clicked, this, &CTAVADlg::onDiagnose);
    connect(m_volumeTimeToggle, &QPushButton::clicked, this, &CTAVADlg::onToggleVolumeTime);

    const QStringList days = TestDays(Database::Instance(), Shell()->CurrentPatientId());
    m_dates->addItems(days);
    m_dates->setCurrentIndex(qMax(0, int(days.indexOf(Shell()->CurrentTestDate()))));
    connect(m_dates, &QComboBox::currentTextChanged, this, &CTAVADlg::onDateChosen);
    ApplyTexts();
    Reload();
}

void CTAVADlg::ApplyTexts()
{
    m_name->setText(Shell()->Patient().Name);
    m_tests->setHorizontalHeaderLabels(
        {GetLangText("CASE", 112), GetLangText("CASE", 1213), "FVC", "FEV1", "PEF", "VC", "MVV"});
    m_diagnose->setText(GetLangText("CASE", 1268));
    m_delete->setToolTip(GetLangText("Tooltip", 119));
    m_singleLoop->setToolTip(GetLangText("Tooltip", 1227));
}

int CTAVADlg::TestCount() const
{
    return m_tests->rowCount();
}

void CTAVADlg::Reload()
{
    const std::vector<DayTestRow> rows =
        ReadDayTestRows(Database::Instance(), Shell()->CurrentPatientId(),
                        Shell()->CurrentTestType(), Shell()->CurrentTestDate());
    m_tests->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const DayTestRow& row = rows[size_t(r)];
        const QStringList cells = {row.dataName,     row.testTime,    number(row.fvc),
                                   number(row.fev1), number(row.pef), number(row.vc),
                                   number(row.mvv)};
        for (int c = 0; c < cells.size(); ++c)
            m_tests->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    if (!rows.empty())
        m_tests->selectRow(int(rows.size()) - 1);
    m_flowVolume->SetTestCount(int(rows.size()));
    m_volumeTime->SetTestCount(int(rows.size()));

    DiagnosisRecord& diagnosis = Shell()->Diagnosis();
    LoadDiagnosis(DiagnosisFile(AppPaths::CaseFolder(), Shell()->CurrentTestDate()), diagnosis);
    m_diagnosis->setText(diagnosis.Result.isEmpty()
                             ? QString()
                             : GetLangText("REPORT", 184) + ": " +
                                   QString(diagnosis.Result).replace("\r\n", "; "));
}

void CTAVADlg::OnCancel()
{
    Shell()->ShowPage(CMainShellDlg::kMainPage);
}

void CTAVADlg::onDateChosen()
{
    const QString day = m_dates->currentText();
    if (day == Shell()->CurrentTestDate())
        return;
    Shell()->SetCurrentTestDate(day);
    Reload();
}

void CTAVADlg::onTest(int testType)
{
    if (Shell()->CurrentPatientId() <= 0) {
        ShowMessage(GetLangText("MESSAGE", 1146), PromptCaption(), 0, this);
        return;
    }
    Shell()->SetCurrentTestType(testType);
    Shell()->ShowPage(CMainShellDlg::kLiveTestPage);
}

void CTAVADlg::onDelete()
{
    const QList<QTableWidgetItem*> selected = m_tests->selectedItems();
    if (selected.isEmpty()) {
        ShowMessage(GetLangText("MESSAGE", 1178), PromptCaption(), 0, this);
        return;
    }
    if (ShowMessage(GetLangText("MESSAGE", 140), PromptCaption(), 1, this) != 1)
        return;
    const QString dataName = m_tests->item(selected.first()->row(), 0)->text();
    DeleteTest(Database::Instance(), Shell()->CurrentPatientId(), dataName);
    Reload();
}

void CTAVADlg::onSingleLoop()
{
    Shell()->SetSingleLoopDisplay(Shell()->SingleLoopDisplay() ? 0 : 1);
    m_flowVolume->update();
    m_volumeTime->update();
}

void CTAVADlg::onDiagnose()
{
    CDiagnoseDlg dialog(AppPaths::CaseFolder(), Shell()->CurrentTestDate(), Shell()->Diagnosis(),
                        this);
    if (dialog.exec() == QDialog::Accepted)
        Reload();
}

void CTAVADlg::onPrint()
{
    if (Hooks().printReport)
        Hooks().printReport(this, Shell()->CurrentPatientId(), Shell()->CurrentTestDate());
    else
        ShowNotAvailable(this);
}

void CTAVADlg::onToggleVolumeTime()
{
    m_volumeTime->setVisible(!m_volumeTime->isVisible());
}
