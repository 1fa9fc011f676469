#include "gui/records/nation_groups_dialog.h"

#include "core/app/lang_text.h"
#include "core/records/database.h"
#include "core/records/nation_groups.h"
#include "core/records/patient_record.h"
#include "gui/app/workbench.h"
#include "gui/app/show_message.h"
#include "gui/app/ui_text.h"
#include "gui/records/correction_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
QString predictText(int id)
{
    return GetLangText("PredictDlg", id);
}

QPushButton* button(const QString& text, const char* name, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}
} // namespace

NationGroupsDialog::NationGroupsDialog(Workbench& bench, QWidget* parent)
    : QDialog(parent), m_bench(bench), m_db(bench.Db())
{
    setObjectName("NationGroupsDialog");
    setWindowTitle(predictText(1228));
    resize(640, 520);

    m_grid = new QTableWidget(0, 5, this);
    m_grid->setObjectName("grid");
    m_grid->setHorizontalHeaderLabels({predictText(1234), predictText(1229), predictText(1230),
                                       predictText(1231), predictText(1232)});
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setStretchLastSection(true);
    auto* hint = new QLabel(predictText(1233), this);

    m_groups = new QComboBox(this);
    m_groups->setObjectName("groups");
    m_panelToggle = button(predictText(1238), "addPanelToggle", this);
    auto* modify = button(UiText("Modify", "修改"), "modify", this);
    auto* remove = button(UiText("Delete", "删除"), "deleteGroup", this);

    m_addPanel = new QWidget(this);
    m_addPanel->setObjectName("addPanel");
    m_newName = new QLineEdit(m_addPanel);
    m_newName->setObjectName("newName");
    m_newName->setPlaceholderText(predictText(1237));
    auto* add = button(UiText("Add", "添加"), "add", m_addPanel);
    auto* panelLayout = new QHBoxLayout(m_addPanel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(m_newName, 1);
    panelLayout->addWidget(add);
    m_addPanel->hide();

    auto* ok = button(GetLangText("OTHERDLG", 132), "ok", this);
    auto* cancel = button(GetLangText("OTHERDLG", 133), "cancel", this);

    auto* groupRow = new QHBoxLayout;
    groupRow->addWidget(m_groups, 1);
    groupRow->addWidget(modify);
    groupRow->addWidget(remove);
    groupRow->addWidget(m_panelToggle);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_grid, 1);
    layout->addWidget(hint);
    layout->addLayout(groupRow);
    layout->addWidget(m_addPanel);
    layout->addLayout(buttons);

    connect(m_grid, &QTableWidget::cellDoubleClicked, this,
            [this](int row) { EditCorrectionRow(row); });
    connect(m_grid, &QTableWidget::cellClicked, this, [this](int row) {
        const int at = m_groups->findData(GroupOfRow(row));
        if (at >= 0) {
            QSignalBlocker block(m_groups);
            m_groups->setCurrentIndex(at);
        }
    });
    connect(m_groups, &QComboBox::currentIndexChanged, this,
            [this] { selectGroup(m_groups->currentData().toInt()); });
    connect(modify, &QPushButton::clicked, this, [this] {
        const QList<QTableWidgetItem*> selected = m_grid->selectedItems();
        EditCorrectionRow(selected.isEmpty() ? 0 : selected.first()->row());
    });
    connect(m_panelToggle, &QPushButton::clicked, this, &NationGroupsDialog::onAddPanel);
    connect(add, &QPushButton::clicked, this, &NationGroupsDialog::onAdd);
    connect(remove, &QPushButton::clicked, this, &NationGroupsDialog::onDelete);
    connect(ok, &QPushButton::clicked, this, &NationGroupsDialog::onOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    refreshGrid();
}

int NationGroupsDialog::GroupOfRow(int row) const
{
    return row >= 0 && row < m_rowGroups.size() ? m_rowGroups[row] : 0;
}

int NationGroupsDialog::FirstRowOfGroup(int group) const
{
    return int(m_rowGroups.indexOf(group));
}

void NationGroupsDialog::refreshGrid()
{
    Database& db = m_db;
    const CorrectionGrid grid = RefreshGrid(db);
    m_groupList = grid.Groups;
    {
        QSignalBlocker block(m_groups);
        m_groups->clear();
        for (const NationGroup& group : grid.Groups) {
            m_groups->addItem(group.Name, group.ID);
        }
    }
    m_parameterNames = grid.Parameters;
    m_rowGroups.clear();
    m_rowParameters.clear();
    m_grid->setRowCount(int(grid.Rows.size()));
    for (int row = 0; row < grid.Rows.size(); ++row) {
        const CorrectionRow& r = grid.Rows[row];
        m_grid->setItem(row, 0, new QTableWidgetItem(QString::number(row + 1)));
        m_grid->setItem(row, 1, new QTableWidgetItem(r.GroupName));
        m_grid->setItem(row, 2, new QTableWidgetItem(r.ParameterName));
        m_grid->setItem(row, 3, new QTableWidgetItem(r.MultiplyText));
        m_grid->setItem(row, 4, new QTableWidgetItem(r.AdditiveText));
        m_rowGroups << r.Group;
        m_rowParameters << r.Parameter;
    }

    // The current patient's group, or group 10 when it has gone.
    int group = kUndefinedGroup;
    PatientRecord& patient = m_bench.Patient();
    if (patient.ID > 0) {
        if (EnsurePatientGroup(db, patient))
            m_bench.RecordsChanged(patient.ID);
        group = patient.Nation;
    }
    const int at = m_groups->findData(group);
    if (at >= 0) {
        QSignalBlocker block(m_groups);
        m_groups->setCurrentIndex(at);
    }
    selectGroup(group);
}

void NationGroupsDialog::selectGroup(int group)
{
    const int row = FirstRowOfGroup(group);
    if (row < 0)
        return;
    m_grid->setCurrentCell(row, 0);
    m_grid->scrollToItem(m_grid->item(row, 0), QAbstractItemView::PositionAtTop);
}

void NationGroupsDialog::EditCorrectionRow(int row)
{
    if (row < 0 || row >= m_grid->rowCount())
        return;
    CorrectionDialog editor(m_groupList, m_parameterNames, this);
    // The row's own keys preselect the small dialog: two groups may look alike by name.
    editor.SetValues(m_rowGroups.value(row), m_rowParameters.value(row),
                     m_grid->item(row, 3)->text(), m_grid->item(row, 4)->text());
    if (editor.exec() != QDialog::Accepted)
        return;
    const int group = editor.Group();
    const int parameter = editor.Parameter();
    if (group < 1 || parameter < 1)
        return;
    // Another group or parameter chosen: the values go to that pair's row.
    int target = row;
    for (int r = 0; r < m_rowGroups.size(); ++r) {
        if (m_rowGroups[r] == group && m_rowParameters[r] == parameter) {
            target = r;
            break;
        }
    }
    if (m_rowGroups.value(target) != group || m_rowParameters.value(target) != parameter)
        return; // the pair has no correction row
    m_grid->setCurrentCell(target, 0);
    m_grid->item(target, 3)->setText(editor.Factor());
    m_grid->item(target, 4)->setText(editor.Offset());
    EditCorrection(m_db, group, parameter, editor.Factor(), editor.Offset());
}

void NationGroupsDialog::onAddPanel()
{
    const bool show = m_addPanel->isHidden();
    m_addPanel->setVisible(show);
    m_panelToggle->setText(predictText(show ? 1248 : 1238));
}

void NationGroupsDialog::onAdd()
{
    switch (AddGroup(m_db, m_newName->text())) {
    case AddGroupResult::EmptyName:
        ShowMessage(predictText(1237), PromptCaption(), 0, this);
        break;
    case AddGroupResult::NameTaken:
        ShowMessage(predictText(2204), PromptCaption(), 0, this);
        break;
    case AddGroupResult::Added:
        refreshGrid();
        ShowMessage(predictText(1236), PromptCaption(), 0, this);
        m_newName->clear();
        break;
    case AddGroupResult::Failed:
        ShowMessage(predictText(1258), PromptCaption(), 0, this);
        break;
    case AddGroupResult::NoGroups:
    case AddGroupResult::InsertFailed:
        break;
    }
}

void NationGroupsDialog::onDelete()
{
    const int group = m_groups->currentData().toInt();
    if (group <= kBuiltinGroupCount) {
        ShowMessage(GetLangText("MESSAGE", 1249), ErrorCaption(), 0, this);
        return;
    }
    if (ShowMessage(GetLangText("MESSAGE", 1261), PromptCaption(), 4, this) != 6)
        return;
    PatientRecord* patient = m_bench.Patient().ID > 0 ? &m_bench.Patient() : nullptr;
    const int before = patient ? patient->Nation : 0;
    if (DeleteGroup(m_db, group, patient) != DeleteGroupResult::Deleted)
        return;
    if (patient && patient->Nation != before)
        m_bench.RecordsChanged(patient->ID);
    refreshGrid();
    ShowMessage(predictText(1259), PromptCaption(), 0, this);
}

void NationGroupsDialog::onOk()
{
    if (m_bench.Patient().ID > 0)
        m_bench.RecomputePredicted();
    accept();
}
