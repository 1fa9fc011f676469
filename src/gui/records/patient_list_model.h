#pragma once
#include "core/app/patient_list.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

// The patient list as a table model: one row per patient, no widget per row,
// so 100,000 patients scroll as lightly as ten.
class PatientListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        kIdColumn,
        kNumberColumn,
        kNameColumn,
        kGenderColumn,
        kAgeColumn,
        kHeightColumn,
        kWeightColumn,
        kNationColumn,
        kColumnCount
    };

    explicit PatientListModel(QObject* parent = nullptr);

    void SetRows(std::vector<PatientListRow> rows);
    void SetHeaders(const QStringList& headers);
    // Adds one row at the end, or replaces the row of the same ID.
    void UpsertRow(const PatientListRow& row);

    int RowOfId(int id) const; // -1 when absent
    int IdAt(int row) const;   // 0 outside the list
    const PatientListRow* RowAt(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    std::vector<PatientListRow> m_rows;
    QStringList m_headers;
};
