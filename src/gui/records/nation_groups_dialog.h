#pragma once
#include "core/records/nation_groups.h"

#include <QDialog>
#include <QVector>

class Database;
class Workbench;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QWidget;

// The nation-group correction editor: the grid of every group's factor and
// offset per parameter, adding and deleting user groups. OK recomputes the
// current patient's predicted values.
class NationGroupsDialog : public QDialog {
    Q_OBJECT
  public:
    // OK recomputes the predicted values of `bench`'s current patient.
    explicit NationGroupsDialog(Workbench& bench, QWidget* parent = nullptr);

    // The group of grid row `row` and its first row (tests and the combo use them).
    int GroupOfRow(int row) const;
    int FirstRowOfGroup(int group) const;
    // Opens the one-correction editor for `row` (double click, "修改").
    void EditCorrectionRow(int row);

  private:
    Workbench& m_bench;
    Database& m_db;
    void refreshGrid();
    void selectGroup(int group);
    void onAddPanel();
    void onAdd();
    void onDelete();
    void onOk();

    QVector<int> m_rowGroups;     // Race.ID of each grid row
    QVector<int> m_rowParameters; // parameter number of each grid row
    QVector<NationGroup> m_groupList; // as the group combo shows them
    QStringList m_parameterNames;

    QTableWidget* m_grid = nullptr;
    QComboBox* m_groups = nullptr;
    QPushButton* m_panelToggle = nullptr;
    QWidget* m_addPanel = nullptr;
    QLineEdit* m_newName = nullptr;
};
