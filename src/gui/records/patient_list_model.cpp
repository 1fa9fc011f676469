#include "gui/records/patient_list_model.h"

#include "core/app/lang_text.h"

namespace {
// Pages kept before the cache starts again: a few screens' worth around where the user is.
constexpr int kKeptPages = 64;
} // namespace

PatientListModel::PatientListModel(Database& db, QObject* parent)
    : QAbstractTableModel(parent), m_query(db)
{
    reset();
}

void PatientListModel::reset()
{
    beginResetModel();
    m_pages.clear();
    m_male = GetLangText("CASE", 122);
    m_female = GetLangText("CASE", 123);
    m_count = 0;
    std::vector<PatientListRow> first = m_query.FirstRows(kPageSize, m_count);
    m_pages.insert(0, std::move(first));
    endResetModel();
}

void PatientListModel::Reload()
{
    m_query.ReloadGroupNames();
    reset();
}

void PatientListModel::SetFilter(const QString& text)
{
    if (text.trimmed() == m_query.Filter())
        return;
    m_query.SetFilter(text);
    reset();
}

void PatientListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= kColumnCount)
        return;
    m_query.SetOrder(PatientListColumn(column), order == Qt::DescendingOrder);
    reset();
}

void PatientListModel::SetHeaders(const QStringList& headers)
{
    m_headers = headers;
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

int PatientListModel::RowOfId(int id)
{
    const int row = m_query.PositionOf(id);
    return row < m_count ? row : -1;
}

int PatientListModel::IdAt(int row) const
{
    const PatientListRow* r = RowAt(row);
    return r ? r->ID : 0;
}

const PatientListRow* PatientListModel::RowAt(int row) const
{
    if (row < 0 || row >= m_count)
        return nullptr;
    const int page = row / kPageSize;
    auto it = m_pages.find(page);
    if (it == m_pages.end()) {
        if (m_pages.size() >= kKeptPages)
            m_pages.clear();
        it = m_pages.insert(page, m_query.Rows(page * kPageSize, kPageSize));
    }
    const std::size_t at = std::size_t(row % kPageSize);
    return at < it->size() ? &(*it)[at] : nullptr;
}

int PatientListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_count;
}

int PatientListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant PatientListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    const PatientListRow* row = RowAt(index.row());
    if (!row)
        return QVariant();
    switch (index.column()) {
    case kIdColumn:
        return QString::number(row->ID);
    case kNumberColumn:
        return row->PatientNumber;
    case kNameColumn:
        return row->Name;
    case kGenderColumn:
        return row->Gender == 0 ? m_male : m_female;
    case kAgeColumn:
        return row->Age;
    case kHeightColumn:
        return row->Height;
    case kWeightColumn:
        return row->Weight;
    case kNationColumn:
        return row->NationName;
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
