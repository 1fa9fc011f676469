#include "gui/records/patient_list_page.h"

#include "core/accounts/audit_log.h"
#include "core/accounts/day_signoff.h"
#include "core/app/app_paths.h"
#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/patient_list.h"
#include "core/records/patient_record.h"
#include "core/report/day_result.h"
#include "core/report/day_test_rows.h"
#include "gui/app/dialog_hooks.h"
#include "gui/app/workbench.h"
#include "gui/app/settings_dialog.h"
#include "gui/app/show_message.h"
#include "gui/measure/curve_pane.h"
#include "gui/records/audit_trail_dialog.h"
#include "gui/records/nation_groups_dialog.h"
#include "gui/records/patient_editor.h"
#include "gui/records/worklist_dialog.h"
#include "gui/records/patient_list_model.h"

#include <QDate>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
const char* const kTestNames[] = {"FVC ", "VC ", "MVV "};

QPushButton* button(QWidget* parent, const char* name)
{
    auto* b = new QPushButton(parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    b->setMinimumHeight(34);
    return b;
}

void message(QWidget* parent, int id)
{
    ShowMessage(GetLangText("MESSAGE", id), PromptCaption(), 0, parent);
}
} // namespace

PatientListPage::PatientListPage(Workbench* shell) : Page(shell, Workbench::kMainPage)
{
    setWindowTitle(GetLangText("CASE", 1193));
    buildControls();
    ApplyTexts();
    FillPatients();
}

void PatientListPage::buildControls()
{
    m_model = new PatientListModel(Shell()->Db(), this);
    m_search = new QLineEdit(this);
    m_search->setObjectName("patientSearch");
    m_search->setClearButtonEnabled(true);
    m_predictedNote = new QLabel(this);
    m_predictedNote->setObjectName("predictedNote");
    m_predictedNote->setWordWrap(true);
    m_predictedNote->hide();
    m_patients = new QTableView(this);
    m_patients->setObjectName("patientList");
    m_patients->setModel(m_model);
    m_patients->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_patients->setSelectionMode(QAbstractItemView::SingleSelection);
    m_patients->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_patients->setTabKeyNavigation(false);
    m_patients->setAlternatingRowColors(true);
    m_patients->setContextMenuPolicy(Qt::CustomContextMenu);
    m_patients->verticalHeader()->hide();
    // Fixed row heights: the view never measures 100,000 rows.
    m_patients->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_patients->verticalHeader()->setDefaultSectionSize(m_patients->fontMetrics().height() + 8);
    m_patients->horizontalHeader()->setStretchLastSection(true);
    m_patients->setColumnWidth(PatientListModel::kIdColumn, 60);
    // Sorting runs in the model's SQL; the table order (by key) comes first.
    m_patients->horizontalHeader()->setSortIndicator(PatientListModel::kIdColumn,
                                                     Qt::AscendingOrder);
    m_patients->setSortingEnabled(true);
    m_patients->setColumnWidth(PatientListModel::kNameColumn, 180);

    m_days = new QTableWidget(0, 3, this);
    m_days->setObjectName("dayList");
    m_days->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_days->setSelectionMode(QAbstractItemView::SingleSelection);
    m_days->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_days->setTabKeyNavigation(false);
    m_days->setContextMenuPolicy(Qt::CustomContextMenu);
    m_days->verticalHeader()->hide();
    m_days->horizontalHeader()->setStretchLastSection(true);
    m_days->setColumnWidth(0, 20);
    m_days->setColumnWidth(1, 50);
    m_days->setMaximumWidth(280);

    for (int type = 0; type < 3; ++type) {
        m_panes[type] = new CurvePane(type, this);
        connect(m_panes[type], &CurvePane::detailsClicked, this, &PatientListPage::onPaneClicked);
    }

    m_user = button(this, "user");
    m_deleteDay = button(this, "deleteDay");
    m_trend = button(this, "trend");
    m_settings = button(this, "settings");
    m_scale = button(this, "scale");
    m_tests[0] = button(this, "fvcTest");
    m_tests[1] = button(this, "vcTest");
    m_tests[2] = button(this, "mvvTest");
    m_print = button(this, "print");
    m_quit = button(this, "quit");
    m_predicted = button(this, "predicted");
    m_audit = button(this, "audit");
    m_audit->setText(tr("Audit trail"));
    m_audit->setVisible(Shell()->User().accountsOn &&
                        RoleMay(Shell()->User().role, Action::ReadAudit));
    m_predicted->hide();
    // The way to the results page of the selected day: button, double-click
    // or Enter-free shortcut (Enter moves the focus on this window).
    m_results = button(this, "results");
    auto* resultsKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this);
    connect(resultsKey, &QShortcut::activated, this, &PatientListPage::onResults);

    auto* patientColumn = new QVBoxLayout;
    patientColumn->addWidget(m_search);
    patientColumn->addWidget(m_patients, 1);
    patientColumn->addWidget(m_predictedNote);
    auto* lists = new QHBoxLayout;
    lists->addLayout(patientColumn, 3);
    lists->addWidget(m_days, 1);
    auto* panes = new QHBoxLayout;
    for (CurvePane* pane : m_panes)
        panes->addWidget(pane, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_results, m_user, m_deleteDay, m_trend, m_settings, m_scale, m_tests[0],
                           m_tests[1], m_tests[2], m_print, m_predicted, m_audit})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(m_quit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 3);
    layout->addLayout(panes, 2);
    layout->addLayout(buttons);

    connect(m_patients->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { selectPatient(); });
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_model->SetFilter(text);
        reselectCurrent();
    });
    // A new order (a click on a column header) keeps the current patient selected and in
    // sight; the view has taken the reset by the time this runs.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { reselectCurrent(); });
    // A click on the row that is already highlighted shows it again as well.
    connect(m_patients, &QTableView::clicked, this, [this] {
        if (SelectedPatientId() != Shell()->CurrentPatientId() || m_days->rowCount() == 0)
            selectPatient();
    });
    connect(m_patients, &QTableView::doubleClicked, this, &PatientListPage::onPatientEditor);
    connect(m_patients, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        showContextMenu(kPatientList, m_patients->viewport()->mapToGlobal(pos));
    });
    connect(m_days, &QTableWidget::itemSelectionChanged, this, [this] { selectDay(); });
    connect(m_days, &QTableWidget::cellDoubleClicked, this, &PatientListPage::onResults);
    connect(m_days, &QTableWidget::cellClicked, this, [this] {
        // A click also brings the day's rows in line with its files.
        ReconcileDay(Shell()->Db(), Shell()->CurrentPatientId(), SelectedDay());
    });
    connect(m_days, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        showContextMenu(kDayList, m_days->viewport()->mapToGlobal(pos));
    });

    connect(m_user, &QPushButton::clicked, this, &PatientListPage::onPatientEditor);
    connect(m_deleteDay, &QPushButton::clicked, this, &PatientListPage::onDeleteDay);
    for (int type = 0; type < 3; ++type)
        connect(m_tests[type], &QPushButton::clicked, this, [this, type] { onTest(type); });
    connect(m_print, &QPushButton::clicked, this, &PatientListPage::onPrint);
    connect(m_settings, &QPushButton::clicked, this, &PatientListPage::onSettings);
    connect(m_scale, &QPushButton::clicked, this, &PatientListPage::onScale);
    connect(m_trend, &QPushButton::clicked, this, &PatientListPage::onTrend);
    connect(m_quit, &QPushButton::clicked, this, &PatientListPage::onQuit);
    connect(m_predicted, &QPushButton::clicked, this, &PatientListPage::onPredicted);
    connect(m_results, &QPushButton::clicked, this, &PatientListPage::onResults);
    connect(m_audit, &QPushButton::clicked, this, &PatientListPage::OnAudit);
}

void PatientListPage::ApplyTexts()
{
    setWindowTitle(GetLangText("CASE", 1193));
    m_model->SetHeaders(PatientListHeaders());
    m_search->setPlaceholderText(GetLangText("USER MANAGE", 2208));
    showPredictedNote();
    m_days->setHorizontalHeaderLabels(
        {QString(), GetLangText("CASE", 112), GetLangText("CASE", 1213)});
    m_user->setText(GetLangText("CASE", 194));
    m_deleteDay->setText(GetLangText("CASE", 1256));
    m_trend->setText(GetLangText("CASE", 195));
    m_settings->setText(GetLangText("CASE", 121));
    m_scale->setText(GetLangText("CASE", 1159));
    for (int type = 0; type < 3; ++type)
        m_tests[type]->setText(kTestNames[type] + GetLangText("CASE", 1221));
    m_print->setText(GetLangText("CASE", 117));
    m_quit->setText(GetLangText("CASE", 116));
    m_predicted->setText(GetLangText("PredictDlg", 1228));
    m_results->setText(GetLangText("CASE", 2300));
    m_results->setToolTip(GetLangText("Tooltip", 2301) + " (Ctrl+R)");
}

void PatientListPage::FillPatients()
{
    m_model->Reload();
    reselectCurrent();
    // The selection was made with signals blocked: show the patient's days and the
    // current day's curves, as a user's selection does.
    selectPatient();
}

void PatientListPage::reselectCurrent()
{
    QSignalBlocker block(m_patients->selectionModel());
    m_patients->clearSelection();
    const int row = m_model->RowOfId(Shell()->CurrentPatientId());
    if (row >= 0) {
        m_patients->selectRow(row);
        m_patients->scrollTo(m_model->index(row, 0));
    }
}

void PatientListPage::RefreshFromDatabase()
{
    // Another workstation changed patients or tests: the rows on screen, the
    // selection and the selected patient's days are read again.
    FillPatients();
}

void PatientListPage::RefreshPatientRow(int /*id*/)
{
    // The model reads only the rows on screen again; the patient may also have moved in
    // the order or left the search.
    FillPatients();
}

void PatientListPage::showPredictedNote()
{
    const bool missing = Shell()->CurrentPatientId() > 0 && !Shell()->PredictedFound();
    m_predictedNote->setText(missing ? GetLangText("MESSAGE", 2209) : QString());
    m_predictedNote->setVisible(missing);
}

int PatientListPage::SelectedPatientId() const
{
    const QModelIndexList rows = m_patients->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : m_model->IdAt(rows.first().row());
}

QString PatientListPage::SelectedDay() const
{
    const QList<QTableWidgetItem*> items = m_days->selectedItems();
    if (items.isEmpty())
        return QString();
    const QTableWidgetItem* day = m_days->item(items.first()->row(), 2);
    return day ? day->text() : QString();
}

QStringList PatientListPage::Days() const
{
    QStringList days;
    for (int row = 0; row < m_days->rowCount(); ++row)
        days << m_days->item(row, 2)->text();
    return days;
}

void PatientListPage::selectPatient()
{
    const int id = SelectedPatientId();
    if (id <= 0)
        return;
    // Another patient starts at its newest day; the same one keeps its day.
    if (id != Shell()->CurrentPatientId())
        Shell()->SetCurrentTestDate(QString());
    Shell()->SetCurrentPatientId(id);
    AppPaths::SetCaseFolder(AppPaths::PatientCaseFolder(id));
    PatientRecord& patient = Shell()->Patient();
    patient.Clear();
    LoadPatient(Shell()->Db(), id, patient);
    Shell()->RecomputePredicted();
    fillDays(id);
    const PatientListRow* row = m_model->RowAt(m_model->RowOfId(id));
    Shell()->SetSelectedPatientTag(row ? row->Name : QString());
    selectDay();
}

void PatientListPage::fillDays(int id)
{
    if (id <= 0)
        return;
    QSignalBlocker block(m_days);
    m_days->setRowCount(0);
    const QStringList days = TestDays(Shell()->Db(), id);
    m_days->setRowCount(int(days.size()));
    int selectRow = -1;
    for (int row = 0; row < days.size(); ++row) {
        m_days->setItem(row, 0, new QTableWidgetItem);
        m_days->setItem(row, 1, new QTableWidgetItem(QString::number(row + 1)));
        m_days->setItem(row, 2, new QTableWidgetItem(days[row]));
        if (days[row] == Shell()->CurrentTestDate())
            selectRow = row;
    }
    // Without a current day the newest one is shown, so the panes are never blank.
    if (selectRow < 0 && !days.isEmpty())
        selectRow = 0;
    if (selectRow >= 0)
        m_days->selectRow(selectRow);
}

void PatientListPage::selectDay()
{
    Shell()->SetCurrentTestDate(SelectedDay());
    showPredictedNote();
    loadDayTests();
}

void PatientListPage::loadDayTests()
{
    const DayTestCounts counts = CountDayTests(Shell()->Db(), Shell()->CurrentPatientId(),
                                               Shell()->CurrentTestDate());
    // One load of the day for the three panes.
    DayResult day;
    if (Shell()->CurrentPatientId() > 0 && !Shell()->CurrentTestDate().isEmpty())
        LoadDayResult(Shell()->Db(), Shell()->CurrentPatientId(),
                      QDate::fromString(Shell()->CurrentTestDate(), "yyyy-MM-dd"), day);
    for (int type = 0; type < 3; ++type) {
        m_panes[type]->SetTestCount(counts.byType[type]);
        m_panes[type]->ShowDay(day, &Shell()->Predicted(), Shell()->SingleLoopDisplay() != 0);
    }
}

void PatientListPage::clearPatient()
{
    Shell()->SetCurrentPatientId(0);
    Shell()->SetCurrentTestDate(QString());
    Shell()->SetSelectedPatientTag(QString());
    Shell()->Patient().Clear();
    AppPaths::SetCaseFolder(AppPaths::CaseRoot());
    m_days->setRowCount(0);
    showPredictedNote();
    loadDayTests();
}

void PatientListPage::showContextMenu(DeleteSource source, const QPoint& globalPos)
{
    // The one item reads "删除" only for the Chinese language file itself.
    QMenu menu(this);
    menu.setObjectName("deleteMenu");
    QAction* remove =
        menu.addAction(Settings().language == QLatin1String("Chinese") ? QString::fromUtf8("删除")
                                                                       : QStringLiteral("Delete"));
    connect(remove, &QAction::triggered, this, [this, source] { RequestDelete(source); });
    if (source == kPatientList) {
        QAction* worklist = menu.addAction(GetLangText("EXCHANGE", 2740));
        worklist->setObjectName("worklist");
        connect(worklist, &QAction::triggered, this, &PatientListPage::onWorklist);
    }
    menu.exec(globalPos);
}

void PatientListPage::RequestDelete(DeleteSource source)
{
    if (source == kDayList) {
        onDeleteDay();
        return;
    }
    const int id = SelectedPatientId();
    if (id <= 0)
        return;
    const QString refusal = Shell()->User().Refusal(Action::Delete);
    if (!refusal.isEmpty()) {
        ShowMessage(refusal, ErrorCaption(), 0, this);
        return;
    }
    if (ShowMessage(GetLangText("MESSAGE", 168), PromptCaption(), 1, this) != 1)
        return;
    if (DeletePatient(Shell()->Db(), id))
        AuditLog(Shell()->Db()).Append(Shell()->User(), "patient-delete", id, "patient");
    clearPatient();
    FillPatients();
}

void PatientListPage::onPatientEditor()
{
    const int selected = SelectedPatientId();
    const PatientListRow* row = m_model->RowAt(m_model->RowOfId(selected));
    Shell()->SetSelectedPatientTag(row ? row->Name : QString());
    PatientEditor editor(Shell(), this);
    editor.exec();
    switch (editor.Outcome()) {
    case PatientEditor::kCreated:
        showNewPatient(editor.PatientId());
        break;
    case PatientEditor::kSaved:
        RefreshPatientRow(editor.PatientId());
        showPredictedNote();
        break;
    case PatientEditor::kDeleted:
        clearPatient();
        FillPatients();
        break;
    default:
        break;
    }
    // Creates the case folder of a new patient.
    ReconcileDay(Shell()->Db(), SelectedPatientId(), QString());
    loadDayTests();
}

void PatientListPage::showNewPatient(int id)
{
    // The new patient is shown even when the search would hide it.
    m_model->Reload();
    if (m_model->RowOfId(id) < 0) {
        QSignalBlocker block(m_search);
        m_search->clear();
        m_model->SetFilter(QString());
    }
    const int at = m_model->RowOfId(id);
    if (at >= 0) {
        m_patients->selectRow(at);
        m_patients->scrollTo(m_model->index(at, 0));
    }
}

void PatientListPage::onWorklist()
{
    WorklistDialog dialog(Shell()->Db(), this);
    dialog.Refresh();
    if (dialog.exec() != QDialog::Accepted || dialog.TakenPatient() < 1)
        return;
    showNewPatient(dialog.TakenPatient());
    ReconcileDay(Shell()->Db(), SelectedPatientId(), QString());
    loadDayTests();
}

void PatientListPage::onDeleteDay()
{
    const QString day = SelectedDay();
    const int id = Shell()->CurrentPatientId();
    if (day.isEmpty() || id <= 0) {
        message(this, 1257);
        return;
    }
    const QString refusal =
        DaySignOff(Shell()->Db()).Refusal(Shell()->User(), Action::Delete, id, day);
    if (!refusal.isEmpty()) {
        ShowMessage(refusal, ErrorCaption(), 0, this);
        return;
    }
    if (ShowMessage(GetLangText("MESSAGE", 1251), PromptCaption(), 1, this) != 1)
        return;
    if (DeleteDay(Shell()->Db(), id, day))
        AuditLog(Shell()->Db()).Append(Shell()->User(), "day-deleted", id, "day " + day);
    Shell()->SetCurrentTestDate(QString());
    fillDays(id);
    selectDay();
}

void PatientListPage::onTest(int testType)
{
    if (SelectedPatientId() <= 0) {
        message(this, testType == 0 ? 1146 : 1147);
        return;
    }
    Shell()->SetCurrentTestType(testType);
    Shell()->ShowPage(Workbench::kLiveTestPage);
}

void PatientListPage::onPrint()
{
    if (SelectedPatientId() <= 0) {
        message(this, 1146);
        return;
    }
    if (Shell()->CurrentTestDate().isEmpty()) {
        message(this, 143);
        return;
    }
    if (Hooks().printReport)
        Hooks().printReport(Shell(), this, Shell()->CurrentPatientId(), Shell()->CurrentTestDate());
    else
        ShowNotAvailable(this);
}

// Shows why the user may not do `action`; true when they may.
bool PatientListPage::allowed(Action action)
{
    const QString refusal = Shell()->User().Refusal(action);
    if (refusal.isEmpty())
        return true;
    ShowMessage(refusal, ErrorCaption(), 0, this);
    return false;
}

void PatientListPage::onSettings()
{
    if (!allowed(Action::ChangeSettings))
        return;
    const QString before = Settings().language;
    SettingsDialog dialog(*Shell(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    AuditLog(Shell()->Db()).Append(Shell()->User(), "settings-change", 0, "System.ini");
    if (Settings().language == before)
        return;
    // A new language: every text of the page and the window at once.
    Shell()->ApplyTexts();
    FillPatients();
    loadDayTests();
}

void PatientListPage::onScale()
{
    if (!allowed(Action::Calibrate))
        return;
    AuditLog(Shell()->Db()).Append(Shell()->User(), "calibrate", 0, "calibration dialog");
    if (Hooks().calibration)
        Hooks().calibration(Shell(), this);
    else
        ShowNotAvailable(this);
}

void PatientListPage::onTrend()
{
    const int id = SelectedPatientId();
    if (id <= 0 || Days().isEmpty()) {
        message(this, 1147);
        return;
    }
    if (Hooks().trend)
        Hooks().trend(this, id);
    else
        ShowNotAvailable(this);
}

void PatientListPage::onQuit()
{
    OnCancel();
}

void PatientListPage::OnCancel()
{
    Shell()->EndShell();
}

void PatientListPage::onPredicted()
{
    if (!allowed(Action::EditNationGroups))
        return;
    NationGroupsDialog dialog(*Shell(), this);
    if (dialog.exec() == QDialog::Accepted)
        AuditLog(Shell()->Db()).Append(Shell()->User(), "settings-change", 0, "nation groups");
}

void PatientListPage::OnAudit()
{
    if (!allowed(Action::ReadAudit))
        return;
    AuditTrailDialog dialog(Shell()->Db(), this);
    dialog.exec();
}

void PatientListPage::onResults()
{
    if (SelectedPatientId() <= 0) {
        message(this, 1146);
        return;
    }
    if (Shell()->CurrentTestDate().isEmpty()) {
        message(this, 1147);
        return;
    }
    Shell()->ShowPage(Workbench::kResultsPage);
}

void PatientListPage::onPaneClicked(int testType)
{
    Shell()->SetCurrentTestType(testType);
    onResults();
}
