#include "gui/records/patient_list_model.h"

PatientListModel::PatientListModel(QObject* parent) : QAbstractTableModel(parent) {}

void PatientListModel::SetRows(std::vector<PatientListRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void PatientListModel::SetHeaders(const QStringList& headers)
{
    m_headers = headers;
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

void PatientListModel::UpsertRow(const PatientListRow& row)
{
    const int at = RowOfId(row.id);
    if (at >= 0) {
        m_rows[size_t(at)] = row;
        emit dataChanged(index(at, 0), index(at, kColumnCount - 1));
        return;
    }
    const int end = int(m_rows.size());
    beginInsertRows(QModelIndex(), end, end);
    m_rows.push_back(row);
    endInsertRows();
}

int PatientListModel::RowOfId(int id) const
{
    if (id <= 0)
        return -1;
    // Rows come in table order, which is key order for patients the program created.
    const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), id,
                                     [](const PatientListRow& r, int key) { return r.id < key; });
    if (it != m_rows.end() && it->id == id)
        return int(it - m_rows.begin());
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].id == id)
            return int(i);
    return -1;
}

int PatientListModel::IdAt(int row) const
{
    const PatientListRow* r = RowAt(row);
    return r ? r->id : 0;
}

const PatientListRow* PatientListModel::RowAt(int row) const
{
    if (row < 0 || row >= int(m_rows.size()))
        return nullptr;
    return &m_rows[size_t(row)];
}

int PatientListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PatientListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant PatientListModel::data(const QModelIndex& index, int role) const
{
    const PatientListRow* row = RowAt(index.row());
    if (!row || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QVariant();
    switch (index.column()) {
    case kIdColumn:
        return QString::number(row->id);
    case kNumberColumn:
        return row->number;
    case kNameColumn:
        return row->name;
    case kGenderColumn:
        return row->gender;
    case kAgeColumn:
        return row->age;
    case kHeightColumn:
        return row->height;
    case kWeightColumn:
        return row->weight;
    case kNationColumn:
        return row->nation;
    default:
        return QVariant();
    }
}

QVariant PatientListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return section < m_headers.size() ? m_headers[section] : QString();
}
