#include "gui/report/results_page.h"

#include "gui/report/clinical_summary_view.h"
#include "gui/report/export_menu.h"

#include "core/accounts/audit_log.h"
#include "core/accounts/day_signoff.h"
#include "core/app/app_paths.h"
#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/day_signatures.h"
#include "core/records/diagnosis.h"
#include "core/records/patient_record.h"
#include "core/report/clinical_summary.h"
#include "core/report/quality_statement.h"
#include "core/report/result_tables.h"
#include "gui/app/dialog_hooks.h"
#include "gui/app/workbench.h"
#include "gui/app/show_message.h"
#include "gui/measure/curve_plot_widget.h"
#include "gui/records/diagnosis_dialog.h"
#include "gui/report/grade_override_dialog.h"
#include "gui/report/session_dialog.h"

#include <QComboBox>
#include <QDate>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
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
QLabel* label(const char* name, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    return l;
}
int storedKind(int testType)
{
    return testType == kTestVc ? kCurveVcResult : testType == kTestMvv ? kCurveMvvResult
                                                                        : kCurveFvcResult;
}
constexpr int kSlideMs = 400;
} // namespace

ResultsPage::ResultsPage(Workbench* shell) : Page(shell, Workbench::kResultsPage)
{
    m_name = label("patientName", this);
    m_signature = label("signature", this);
    QFont bold = m_name->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    m_name->setFont(bold);
    m_dates = new QComboBox(this);
    m_dates->setObjectName("dates");

    m_bestBox = new QGroupBox(this);
    m_bestBox->setObjectName("bestValue");
    auto* grid = new QGridLayout(m_bestBox);
    const char* names[4] = {"FVC", "FEV1", "PEF", "FEV1/FVC"};
    m_phaseTitles[0] = label("bestPhase0", m_bestBox);
    m_phaseTitles[1] = label("bestPhase1", m_bestBox);
    grid->addWidget(m_phaseTitles[0], 0, 1, 1, 2, Qt::AlignCenter);
    grid->addWidget(m_phaseTitles[1], 0, 3, 1, 2, Qt::AlignCenter);
    for (int i = 0; i < 4; ++i) {
        m_bestNames[i] = new QLabel(names[i], m_bestBox);
        m_bestValues[i] = label(QString("best%1").arg(1173 + i).toLatin1().constData(), m_bestBox);
        m_bestPercents[i] =
            label(QString("best%1").arg(1177 + i).toLatin1().constData(), m_bestBox);
        m_postValues[i] = label(QString("post%1").arg(1173 + i).toLatin1().constData(), m_bestBox);
        m_postPercents[i] = label(QString("post%1").arg(1177 + i).toLatin1().constData(), m_bestBox);
        grid->addWidget(m_bestNames[i], i + 1, 0);
        grid->addWidget(m_bestValues[i], i + 1, 1, Qt::AlignRight);
        grid->addWidget(m_bestPercents[i], i + 1, 2, Qt::AlignRight);
        grid->addWidget(m_postValues[i], i + 1, 3, Qt::AlignRight);
        grid->addWidget(m_postPercents[i], i + 1, 4, Qt::AlignRight);
    }
    m_phaseNotes = label("bestNotes", m_bestBox);
    m_phaseNotes->setWordWrap(true);
    m_phaseNotes->setMaximumWidth(260);
    grid->addWidget(m_phaseNotes, 5, 0, 1, 5);

    m_list = new QTableWidget(0, 0, this);
    m_list->setObjectName("results");
    m_list->setShowGrid(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setTabKeyNavigation(false);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 6);
    m_list->setColumnHidden(0, true);

    m_slide = new QPropertyAnimation(this);
    m_slide->setPropertyName("maximumWidth");
    m_slide->setDuration(kSlideMs);

    m_quality = new QWidget(this);
    m_quality->setObjectName("quality");
    m_repeatabilityTitle = label("repeatabilityTitle", m_quality);
    m_repeatability = label("repeatability", m_quality);
    m_acceptabilityTitle = label("acceptabilityTitle", m_quality);
    m_acceptability = label("acceptability", m_quality);
    m_diagnosis = label("diagnosis", m_quality);
    for (QLabel* l : {m_repeatability, m_acceptability, m_diagnosis})
        l->setWordWrap(true);
    for (QLabel* l : {m_repeatabilityTitle, m_acceptabilityTitle})
        l->setFont(bold);
    m_summary = new ClinicalSummaryView(m_quality);
    m_summary->setObjectName("clinicalSummary");
    m_suggestion = label("suggestion", m_quality);
    m_suggestion->setWordWrap(true);
    m_takeOver = button(QString(), "takeIntoDiagnosis", m_quality);
    auto* quality = new QVBoxLayout(m_quality);
    for (QLabel* l : {m_repeatabilityTitle, m_repeatability, m_acceptabilityTitle,
                      m_acceptability})
        quality->addWidget(l);
    quality->addWidget(m_summary);
    quality->addWidget(m_suggestion);
    quality->addWidget(m_takeOver, 0, Qt::AlignLeft);
    quality->addWidget(m_diagnosis);
    quality->addStretch();

    m_exit = button(QString(), "exit", this);
    m_print = button(QString(), "print", this);
    m_delete = button(QString(), "delete", this);
    m_testButtons[0] = button(QString(), "fvcTest", this);
    m_testButtons[1] = button(QString(), "vcTest", this);
    m_testButtons[2] = button(QString(), "mvvTest", this);
    m_singleLoop = button(QString(), "singleLoop", this);
    m_singleLoop->setCheckable(true);
    m_singleLoop->setChecked(Shell()->SingleLoopDisplay() != 0);
    m_diagnose = button(QString(), "diagnose", this);
    m_session = button(QString(), "session", this);
    m_sign = button(QString(), "sign", this);
    m_sign->setVisible(Shell()->User().accountsOn);
    m_volumeTimeToggle = button("V-T", "volumeTimeToggle", this);
    m_export = button(QString(), "export", this);
    m_exportMenu = new ExportMenu(
        Shell()->Db(), this, [this] { return Shell()->CurrentPatientId(); }, [this] { return Shell()->CurrentTestDate(); });
    m_export->setMenu(m_exportMenu);

    auto* top = new QHBoxLayout;
    top->addWidget(m_name, 1);
    top->addWidget(m_signature);
    top->addWidget(m_dates);
    auto* tables = new QHBoxLayout;
    tables->addWidget(m_bestBox);
    tables->addWidget(m_list, 1);
    m_panes = new QHBoxLayout;
    makePanes(storedKind(Shell()->CurrentTestType()));
    // The quality texts and the summary scroll rather than push the page past the screen.
    m_qualityArea = new QScrollArea(this);
    m_qualityArea->setObjectName("qualityArea");
    m_qualityArea->setWidgetResizable(true);
    m_qualityArea->setFrameShape(QFrame::NoFrame);
    m_qualityArea->setWidget(m_quality);
    m_panes->addWidget(m_qualityArea, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b :
         {m_testButtons[0], m_testButtons[1], m_testButtons[2], m_singleLoop, m_volumeTimeToggle,
          m_session, m_diagnose, m_sign, m_delete, m_print, m_export})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(m_exit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(tables, 2);
    layout->addLayout(m_panes, 3);
    layout->addLayout(buttons);

    connect(m_exit, &QPushButton::clicked, this, &ResultsPage::OnCancel);
    connect(m_print, &QPushButton::clicked, this, &ResultsPage::onPrint);
    connect(m_delete, &QPushButton::clicked, this, &ResultsPage::onDelete);
    for (int type = 0; type < 3; ++type)
        connect(m_testButtons[type], &QPushButton::clicked, this, [this, type] { onTest(type); });
    connect(m_singleLoop, &QPushButton::clicked, this, &ResultsPage::onSingleLoop);
    connect(m_diagnose, &QPushButton::clicked, this, &ResultsPage::onDiagnose);
    connect(m_session, &QPushButton::clicked, this, &ResultsPage::OnSession);
    connect(m_sign, &QPushButton::clicked, this, &ResultsPage::OnSign);
    connect(m_takeOver, &QPushButton::clicked, this, &ResultsPage::OnTakeIntoDiagnosis);
    connect(m_volumeTimeToggle, &QPushButton::clicked, this, &ResultsPage::onToggleVolumeTime);
    connect(m_list, &QTableWidget::cellClicked, this, &ResultsPage::onCellClicked);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, &ResultsPage::onListMenu);
    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { onCellClicked(-1, column); });
    connect(m_slide, &QPropertyAnimation::finished, this, [this] {
        if (!m_volumeTimeShown)
            m_volumeTime->hide();
    });

    const QStringList days = TestDays(Shell()->Db(), Shell()->CurrentPatientId());
    m_dates->addItems(days);
    m_dates->setCurrentIndex(qMax(0, int(days.indexOf(Shell()->CurrentTestDate()))));
    connect(m_dates, &QComboBox::currentTextChanged, this, &ResultsPage::onDateChosen);
    ApplyTexts();
    Reload();
}

void ResultsPage::ApplyTexts()
{
    m_name->setText(Shell()->Patient().Name);
    m_bestBox->setTitle(GetLangText("CASE", 2302));
    m_exit->setText(GetLangText("CASE", 2303));
    m_print->setText(GetLangText("CASE", 117));
    m_delete->setText(GetLangText("CASE", 2304));
    const char* const testNames[] = {"FVC ", "VC ", "MVV "};
    for (int type = 0; type < 3; ++type)
        m_testButtons[type]->setText(testNames[type] + GetLangText("CASE", 1221));
    m_singleLoop->setText(GetLangText("CASE", 2305));
    m_diagnose->setText(GetLangText("CASE", 1268));
    m_session->setText(GetLangText("CLINICAL", 2604));
    m_sign->setText(GetLangText("CLINICAL", 3108));
    m_exportMenu->ApplyTexts();
    m_export->setText(m_exportMenu->title());
    m_repeatabilityTitle->setText(GetLangText("CASE", 1332));
    m_acceptabilityTitle->setText(GetLangText("CASE", 1267));
    m_takeOver->setText(GetLangText("CLINICAL", 2584));
    m_delete->setToolTip(GetLangText("Tooltip", 119));
    m_singleLoop->setToolTip(GetLangText("Tooltip", 1227));
    if (m_dayTests)
        fillList();
}

int ResultsPage::TestCount() const
{
    return m_dayTests ? int(m_dayTests->size()) : 0;
}

void ResultsPage::Reload()
{
    const int type = Shell()->CurrentTestType();
    auto day = std::make_shared<DayResult>();
    LoadDayResult(Shell()->Db(), Shell()->CurrentPatientId(),
                  QDate::fromString(Shell()->CurrentTestDate(), "yyyy-MM-dd"), *day);
    m_day = day;
    m_dayTests = type == kTestVc ? &m_day->vc : type == kTestMvv ? &m_day->mvv : &m_day->fvc;
    // The test shown first: the blow the first phase's values come from, or the best VC/MVV test.
    if (type == kTestFvc)
        m_shown = m_day->phases.empty() ? -1 : m_day->phases.front().flowsTest;
    else
        m_shown = (type == kTestVc ? m_day->vcResult : m_day->mvvResult).bestTest;
    if (m_shown < 0 && !m_dayTests->empty())
        m_shown = 0;
    fillList();
    fillBestBox();
    fillQuality();
    fillClinical();
    makePanes(storedKind(type));
    m_flowVolume->SetTests(*m_dayTests);
    m_volumeTime->SetTests(*m_dayTests);
    updatePanes();

    // The day's sign-off as the report prints it.
    const std::vector<DaySignature> versions =
        LoadDaySignatures(Shell()->Db(), Shell()->CurrentPatientId(), Shell()->CurrentTestDate());
    QString signature;
    if (!versions.empty() && versions.back().Signed())
        signature = GetLangText("CLINICAL", 3106)
                        .arg(versions.back().signer, versions.back().signedAt)
                        .arg(versions.back().version);
    else if (!versions.empty())
        signature =
            GetLangText("CLINICAL", 3107)
                .arg(versions.back().amendedAt, versions.back().amendedBy, versions.back().reason);
    m_signature->setText(signature);

    DiagnosisRecord& diagnosis = Shell()->Diagnosis();
    LoadDiagnosis(Shell()->Db(), Shell()->CurrentPatientId(), Shell()->CurrentTestDate(),
                  diagnosis);
    m_diagnosis->setText(diagnosis.Result.isEmpty()
                             ? QString()
                             : GetLangText("REPORT", 184) + ": " +
                                   QString(diagnosis.Result).replace("\r\n", "; "));
}

void ResultsPage::fillList()
{
    const int type = Shell()->CurrentTestType();
    const ResultsList list = MakeResultsList(type, *m_day);
    m_firstTestColumn = list.firstTestColumn;
    m_list->clear();
    m_list->setColumnCount(int(list.headers.size()));
    m_list->setHorizontalHeaderLabels(list.headers);
    m_list->setRowCount(int(list.rows.size()));
    m_list->setSelectionBehavior(type == kTestMvv ? QAbstractItemView::SelectItems
                                                  : QAbstractItemView::SelectRows);
    for (int r = 0; r < int(list.rows.size()); ++r) {
        const ResultRow& row = list.rows[size_t(r)];
        QStringList cells = {row.name, row.name, row.unit, row.predicted};
        cells << row.reported << row.tests;
        for (int c = 0; c < cells.size(); ++c)
            m_list->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    m_list->setColumnHidden(0, true);
    sizeTestColumns();
    // Up to eight rows in sight at the least, the rest a scroll away: a 768-line screen holds the page.
    const int rowsHeight = qMin(m_list->rowCount(), 8) * m_list->verticalHeader()->defaultSectionSize();
    m_list->setMinimumHeight(m_list->horizontalHeader()->sizeHint().height() + rowsHeight +
                             m_list->horizontalScrollBar()->sizeHint().height() +
                             2 * m_list->frameWidth());
}

// Each test column is one sixth of the list's width.
void ResultsPage::sizeTestColumns()
{
    const int testWidth = qMax(60, m_list->viewport()->width() / 6);
    for (int c = m_firstTestColumn; c < m_list->columnCount(); ++c)
        m_list->setColumnWidth(c, testWidth);
}

void ResultsPage::resizeEvent(QResizeEvent* event)
{
    Page::resizeEvent(event);
    sizeTestColumns();
}

void ResultsPage::fillBestBox()
{
    // The box always shows the day's FVC results, whichever type the list shows.
    const BestValueBox box = MakeBestValueBox(*m_day);
    QStringList notes;
    for (int phase = 0; phase < 2; ++phase) {
        const BestValueColumn* column = phase < int(box.columns.size()) ? &box.columns[size_t(phase)] : nullptr;
        m_phaseTitles[phase]->setText(column ? column->title : QString());
        for (int i = 0; i < 4; ++i) {
            (phase == 0 ? m_bestValues : m_postValues)[i]->setText(column ? column->values[size_t(i)] : QString());
            (phase == 0 ? m_bestPercents : m_postPercents)[i]->setText(column ? column->percents[size_t(i)] : QString());
        }
        if (column)
            notes << column->title + ": " + column->note;
    }
    if (m_day->postWithoutPre)
        notes << GetLangText("CLINICAL", 2598);
    if (!box.footnote.isEmpty())
        notes << box.footnote;
    m_phaseNotes->setText(notes.join('\n'));
}

void ResultsPage::fillQuality()
{
    const QualityStatement statement = DayQualityStatement(Shell()->CurrentTestType(), *m_day, m_shown);
    m_repeatability->setText(statement.day);
    m_acceptability->setText(statement.test);
}

void ResultsPage::fillClinical()
{
    // The day's FVC sessions as `tavctl session` and the exchange files report them.
    const bool fvc = Shell()->CurrentTestType() == kTestFvc && TestCount() > 0;
    for (QWidget* w : {static_cast<QWidget*>(m_summary), static_cast<QWidget*>(m_suggestion),
                       static_cast<QWidget*>(m_takeOver)})
        w->setVisible(fvc);
    m_suggestionText.clear();
    m_takeOver->setEnabled(false);
    if (!fvc)
        return;
    const ClinicalSummary summary = BuildClinicalSummary(*m_day);
    m_summary->SetSummary(summary);
    if (!summary.interpretation) {
        m_suggestion->setText(summary.note);
        return;
    }
    m_suggestionText = SuggestionText(*summary.interpretation);
    m_suggestion->setText("<b>" + GetLangText("CLINICAL", 2585).toHtmlEscaped() + ":</b> " +
                          m_suggestionText.toHtmlEscaped() + "<br><small>" +
                          summary.interpretation->rules.join("; ").toHtmlEscaped() + "</small>");
    m_takeOver->setEnabled(true);
}

QString ResultsPage::SuggestionShown() const
{
    return m_suggestion->isHidden() ? QString() : m_suggestion->text();
}

void ResultsPage::OnTakeIntoDiagnosis()
{
    if (m_suggestionText.isEmpty())
        return;
    DiagnosisDialog dialog(Shell()->Db(), Shell()->CurrentPatientId(), Shell()->CurrentTestDate(),
                        Shell()->Diagnosis(), this);
    dialog.AppendLine(m_suggestionText);
    if (dialog.exec() == QDialog::Accepted)
        Reload();
}

void ResultsPage::updatePanes()
{
    StoredPlotOptions options;
    options.singleLoop = Shell()->SingleLoopDisplay() != 0;
    options.shownIndex = m_shown;
    options.predicted = &m_day->predicted;
    options.predictedStyle = Settings().predicted;
    m_flowVolume->SetOptions(options);
    m_volumeTime->SetOptions(options);
    // The shown test's column is the current one of the list.
    if (m_shown >= 0 && m_list->rowCount() > 0)
        m_list->setCurrentCell(m_list->currentRow() < 0 ? 0 : m_list->currentRow(),
                               m_firstTestColumn + m_shown);
}

// The panes are plots of the day's test type: made again when the type changes.
void ResultsPage::makePanes(int kind)
{
    if (m_flowVolume && m_flowVolume->Kind() == kind)
        return;
    const bool volumeTimeShown = m_volumeTimeShown;
    delete m_flowVolume;
    delete m_volumeTime;
    m_flowVolume = new CurvePlotWidget(kind, this);
    m_flowVolume->setObjectName("flowVolume");
    m_flowVolume->setToolTip("V-L");
    m_flowVolume->SetView(DefaultView(kind));
    m_volumeTime = new CurvePlotWidget(kind, this);
    m_volumeTime->setObjectName("volumeTime");
    m_volumeTime->setToolTip("V-T");
    m_volumeTime->SetView(CurveView::VolumeTime);
    m_volumeTime->setMaximumWidth(volumeTimeShown ? QWIDGETSIZE_MAX : 0);
    m_volumeTime->setVisible(volumeTimeShown);
    m_panes->insertWidget(0, m_flowVolume, 1);
    m_panes->insertWidget(1, m_volumeTime, 1);
    m_slide->stop();
    m_slide->setTargetObject(m_volumeTime);
}

void ResultsPage::ShowTest(int index)
{
    if (index < 0 || index >= TestCount() || index == m_shown)
        return;
    m_shown = index;
    fillQuality();
    updatePanes();
}

void ResultsPage::onCellClicked(int, int column)
{
    if (column >= m_firstTestColumn)
        ShowTest(column - m_firstTestColumn);
}

void ResultsPage::onListMenu(const QPoint& at)
{
    const int column = m_list->columnAt(at.x());
    if (column < m_firstTestColumn || Shell()->CurrentTestType() != kTestFvc)
        return;
    QMenu menu(this);
    QAction* override = menu.addAction(GetLangText("CLINICAL", 2913));
    // Greyed for roles that may not; the core refuses them anyway.
    override->setEnabled(Shell()->User().Refusal(Action::OverrideGrade).isEmpty());
    if (menu.exec(m_list->viewport()->mapToGlobal(at)) == override)
        OnOverrideGrade(column - m_firstTestColumn);
}

void ResultsPage::OnOverrideGrade(int index)
{
    if (index < 0 || index >= TestCount() || Shell()->CurrentTestType() != kTestFvc)
        return;
    const QString dataName = (*m_dayTests)[size_t(index)].dataName;
    for (const StoredSession& s : m_day->sessions)
        for (const StoredManeuver& m : s.maneuvers) {
            if (m.dataName != dataName)
                continue;
            if (!allowed(Action::OverrideGrade))
                return;
            const ManeuverAcceptability* verdict = m_day->Verdict(dataName);
            GradeOverrideDialog dialog(Shell()->Db(), Shell()->User(), Shell()->CurrentPatientId(),
                                     Shell()->CurrentTestDate(), s.session, m.maneuver,
                                     verdict && verdict->acceptableFev1 && verdict->acceptableFvc,
                                     this);
            if (dialog.exec() == QDialog::Accepted)
                Reload();
            return;
        }
}

void ResultsPage::OnCancel()
{
    Shell()->ShowPage(Workbench::kMainPage);
}

void ResultsPage::onDateChosen()
{
    const QString day = m_dates->currentText();
    if (day == Shell()->CurrentTestDate())
        return;
    Shell()->SetCurrentTestDate(day);
    Reload();
}

void ResultsPage::onTest(int testType)
{
    if (Shell()->CurrentPatientId() <= 0) {
        ShowMessage(GetLangText("MESSAGE", 1146), PromptCaption(), 0, this);
        return;
    }
    if (!allowed(Action::RunTest))
        return;
    Shell()->SetCurrentTestType(testType);
    Shell()->ShowPage(Workbench::kLiveTestPage);
}

void ResultsPage::onDelete()
{
    if (m_shown < 0) {
        ShowMessage(GetLangText("MESSAGE", 1178), PromptCaption(), 0, this);
        return;
    }
    if (!allowed(Action::Delete))
        return;
    // The question names the test, not the patient: only this test goes.
    if (ShowMessage(GetLangText("MESSAGE", 2306).arg(m_shown + 1), PromptCaption(), 1, this) != 1)
        return;
    const QString dataName = (*m_dayTests)[size_t(m_shown)].dataName;
    if (DeleteTest(Shell()->Db(), Shell()->CurrentPatientId(), dataName))
        AuditLog(Shell()->Db())
            .Append(Shell()->User(), "session-deleted", Shell()->CurrentPatientId(), dataName);
    Reload();
}

void ResultsPage::onSingleLoop()
{
    Shell()->SetSingleLoopDisplay(Shell()->SingleLoopDisplay() ? 0 : 1);
    m_singleLoop->setChecked(Shell()->SingleLoopDisplay() != 0);
    updatePanes();
}

bool ResultsPage::allowed(Action action)
{
    // A new test goes to today, whatever day is shown.
    const QString day = action == Action::RunTest ? QDate::currentDate().toString("yyyy-MM-dd")
                                                  : Shell()->CurrentTestDate();
    const QString refusal = DaySignOff(Shell()->Db())
                                .Refusal(Shell()->User(), action, Shell()->CurrentPatientId(), day);
    if (refusal.isEmpty())
        return true;
    ShowMessage(refusal, ErrorCaption(), 0, this);
    return false;
}

void ResultsPage::OnSign()
{
    int version = 0;
    QString error;
    if (!DaySignOff(Shell()->Db())
             .Sign(Shell()->User(), Shell()->CurrentPatientId(), Shell()->CurrentTestDate(),
                   version, &error)) {
        ShowMessage(error, ErrorCaption(), 0, this);
        return;
    }
    ShowMessage(GetLangText("CLINICAL", 3109).arg(version), PromptCaption(), 0, this);
    Reload();
}

void ResultsPage::onDiagnose()
{
    if (!allowed(Action::EditDiagnosis))
        return;
    const QString before = Shell()->Diagnosis().Result;
    DiagnosisDialog dialog(Shell()->Db(), Shell()->CurrentPatientId(), Shell()->CurrentTestDate(),
                        Shell()->Diagnosis(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    AuditLog(Shell()->Db())
        .Append(Shell()->User(), "diagnosis-change", Shell()->CurrentPatientId(),
                "day " + Shell()->CurrentTestDate(), before, Shell()->Diagnosis().Result);
    Reload();
}

void ResultsPage::OnSession()
{
    // The session of the shown blow: its phase and its bronchodilator details.
    const StoredSession* session = nullptr;
    if (Shell()->CurrentTestType() == kTestFvc && m_shown >= 0 && m_shown < TestCount())
        for (const StoredSession& s : m_day->sessions)
            for (const StoredManeuver& m : s.maneuvers)
                if (m.dataName == (*m_dayTests)[size_t(m_shown)].dataName)
                    session = &s;
    if (!session) {
        ShowMessage(GetLangText("MESSAGE", 1178), PromptCaption(), 0, this);
        return;
    }
    if (!allowed(Action::EditSession))
        return;
    SessionDialog dialog(Shell()->Db(), Shell()->CurrentPatientId(), Shell()->CurrentTestDate(), session->session,
                       session->phase, this);
    if (dialog.exec() == QDialog::Accepted)
        Reload();
}

void ResultsPage::onPrint()
{
    if (Hooks().printReport)
        Hooks().printReport(Shell(), this, Shell()->CurrentPatientId(), Shell()->CurrentTestDate());
    else
        ShowNotAvailable(this);
}

void ResultsPage::onToggleVolumeTime()
{
    // The volume-time pane slides in over the quality texts and out again.
    m_volumeTimeShown = !m_volumeTimeShown;
    const int target = m_flowVolume->width();
    m_slide->stop();
    m_slide->setStartValue(m_volumeTimeShown ? 0 : m_volumeTime->width());
    m_slide->setEndValue(m_volumeTimeShown ? target : 0);
    // The Diagnose button stays: the physician may diagnose while looking at either curve.
    m_qualityArea->setVisible(!m_volumeTimeShown);
    if (m_volumeTimeShown)
        m_volumeTime->show();
    m_slide->start();
}
