#pragma once
#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>
#include <vector>

class Database;

// One row of the patient list: what the patient page and `tavctl patient list` show of a patient.
struct PatientListRow {
    int ID = 0; // UserInfo.ID, the only key the list uses
    QString PatientNumber;
    QString Name;
    int Gender = 0; // 0 male, 1 female
    int Age = 0;    // year of `today` minus birth year, never below 0
    int Height = 0;
    int Weight = 0;
    int Nation = 0;
    QString NationName; // as the group list names it; empty for a group that has gone
};

// The columns the list shows, in their order on the page.
enum class PatientListColumn { Key, Number, Name, Gender, Age, Height, Weight, Nation };
inline constexpr int kPatientListColumnCount = 8;

// Column headers: a blank first column, then CASE 104 to 110 without their trailing colon.
QStringList PatientListHeaders();

// The patient list as the database gives it, a window of rows at a time: the
// filter and the order are SQL, so a list of 100,000 patients never has to be
// read whole. Rows of equal sort value follow their keys, in the chosen direction.
class PatientListQuery {
public:
    explicit PatientListQuery(Database& db, const QDate& today = QDate::currentDate());

    // Patients whose number or name holds `text` (letter case ignored); all when empty.
    void SetFilter(const QString& text);
    void SetOrder(PatientListColumn column, bool descending);
    QString Filter() const { return m_filter; }
    PatientListColumn OrderColumn() const { return m_column; }
    bool Descending() const { return m_descending; }

    // Number of patients the filter lets through.
    int Count();
    // Up to `count` rows from position `first` of the filtered, ordered list.
    std::vector<PatientListRow> Rows(int first, int count);
    // The first `count` rows and, in `total`, how many there are in all: a search that
    // finds fewer than a page needs no second pass to count them.
    std::vector<PatientListRow> FirstRows(int count, int& total);
    // Position of patient `id` in the filtered, ordered list; -1 when it is not in it.
    int PositionOf(int id);
    // The row of patient `id`, whatever the filter.
    std::optional<PatientListRow> Row(int id);

    // Reads the group names again (after groups were added, deleted or the language changed).
    void ReloadGroupNames();

private:
    QString filterCondition() const;
    QString whereClause() const;
    QVariantList whereValues() const;
    QString orderKey() const;
    QString orderClause() const;
    bool keyDescending() const;
    std::vector<PatientListRow> read(const QString& sql, const QVariantList& values);
    int positionByWalking(int id);

    Database& m_db;
    QDate m_today;
    QString m_filter;
    PatientListColumn m_column = PatientListColumn::Key;
    bool m_descending = false;
    std::vector<std::pair<int, QString>> m_groups; // key, shown name
};

// Every patient in key order (the whole list at once, for small tables and exports).
std::vector<PatientListRow> LoadPatientList(Database& db,
                                            const QDate& today = QDate::currentDate());
