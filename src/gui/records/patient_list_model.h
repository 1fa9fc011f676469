#pragma once
#include "core/records/patient_list.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>

#include <vector>

class Database;

// The patient list as a table model over the database: it counts the patients the
// search lets through and reads only the pages of rows the view asks for, so the
// first screen of 100,000 patients costs what a screen of ten does. Sorting and
// searching run in SQL.
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
    static constexpr int kPageSize = 128;

    explicit PatientListModel(Database& db, QObject* parent = nullptr);

    // Counts again and forgets every row read (after patients or groups changed).
    void Reload();
    // Patients whose number or name holds `text`; all when it is empty.
    void SetFilter(const QString& text);
    QString Filter() const { return m_query.Filter(); }
    void SetHeaders(const QStringList& headers);

    int RowOfId(int id);     // -1 when the patient is not in the list
    int IdAt(int row) const; // 0 outside the list
    const PatientListRow* RowAt(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  private:
    void reset();

    mutable PatientListQuery m_query;
    mutable QHash<int, std::vector<PatientListRow>> m_pages; // page number -> its rows
    int m_count = 0;
    QStringList m_headers;
    QString m_male;
    QString m_female;
};
