// The patient list read a window at a time: order, search, positions; and the
// uniqueness of patient numbers, also in databases written before it was enforced.
#include "records_fixture.h"

#include "core/records/nation_groups.h"
#include "core/records/patient_editor_rules.h"
#include "core/records/patient_list.h"
#include "core/records/patient_numbers.h"
#include "core/records/patient_record.h"


#include <algorithm>

namespace {

const QDate kToday(2026, 6, 1);

struct Person {
    QString name;
    QString number;
    int birthYear;
    int height;
    int nation;
};

} // namespace

class PatientList : public RecordsTest {
  protected:
    // Rows go in with explicit numbers and keys, as an imported table might hold them.
    void add(int id, const Person& p)
    {
        ASSERT_TRUE(db.Execute("insert into UserInfo(ID, ptID, LastName, FirstName, Gender, "
                               "Birthdate, Height, Weight, Nation) values(?, ?, ?, ?, ?, ?, ?, ?, ?)",
                               {id, p.number, p.name, p.name, id % 2,
                                QString("%1-03-04").arg(p.birthYear), p.height, 60, p.nation}))
            << db.LastError().toStdString();
    }
    void addSeveral()
    {
        add(1, {"Zoe Meyer", "00000001", 1950, 170, 3});
        add(2, {"adam Smith", "00000002", 1990, 160, 1});
        add(3, {"Bea O'Brien", "HOSP-4711", 1950, 180, 10});
        add(4, {"Chen Wei", "00000004", 2010, 160, 3});
        add(5, {"Adam Jones", "50%_off", 1990, 150, 11}); // group 11 does not exist
        add(7, {"Eve", "00000007", 1970, 165, 2});
    }
    static std::vector<int> ids(const std::vector<PatientListRow>& rows)
    {
        std::vector<int> out;
        for (const PatientListRow& r : rows)
            out.push_back(r.ID);
        return out;
    }
};

// Each order and each search of patient_list.csv, read whole and in windows;
// a first page shorter or longer than what was found counts all the same.
TEST_F(PatientList, OrdersAndSearchesOfTheTable)
{
    addSeveral();
    const QStringList columns = {"Key", "Number", "Name", "Gender", "Age", "Height", "Weight", "Nation"};
    for (const DataRow& data : DataRows("patient_list.csv")) {
        const QStringList& row = data.cells;
        SCOPED_TRACE(data.line());
        ASSERT_EQ(row.size(), 4);
        PatientListQuery query(db, kToday);
        if (row[0] == "order")
            query.SetOrder(PatientListColumn(columns.indexOf(row[1])), row[2] == "1");
        else
            query.SetFilter(row[1]);
        std::vector<int> expected;
        for (const QString& id : row[3].split(' ', Qt::SkipEmptyParts))
            expected.push_back(id.toInt());
        EXPECT_EQ(ids(query.Rows(0, 100)), expected);
        EXPECT_EQ(query.Count(), int(expected.size()));
        std::vector<int> joined;
        for (int first = 0; first < 6; first += 4) {
            const auto part = ids(query.Rows(first, 4));
            joined.insert(joined.end(), part.begin(), part.end());
        }
        EXPECT_EQ(joined, expected);
        for (int page : {1, 3, 100}) {
            int total = -1;
            EXPECT_EQ(int(query.FirstRows(page, total).size()), std::min(page, int(expected.size())));
            EXPECT_EQ(total, int(expected.size())) << page;
        }
    }
    // Search and order together.
    PatientListQuery query(db, kToday);
    query.SetFilter("adam");
    query.SetOrder(PatientListColumn::Name, false);
    EXPECT_EQ(ids(query.Rows(0, 100)), (std::vector<int>{5, 2}));
}

TEST_F(PatientList, RowsShowWhatThePageShows)
{
    addSeveral();
    PatientListQuery query(db, kToday);
    const auto rows = query.Rows(0, 100);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[2].PatientNumber, "HOSP-4711");
    EXPECT_EQ(rows[2].Name, "Bea O'Brien");
    EXPECT_EQ(rows[2].Age, 76);
    EXPECT_EQ(rows[2].Height, 180);
    EXPECT_EQ(rows[0].NationName, "Chinese");
    EXPECT_EQ(rows[4].NationName, ""); // a group that has gone
    const auto one = query.Row(3);
    ASSERT_TRUE(one.has_value());
    EXPECT_EQ(one->Name, "Bea O'Brien");
    EXPECT_FALSE(query.Row(6).has_value());
    EXPECT_TRUE(query.Rows(6, 10).empty());
    EXPECT_TRUE(query.Rows(-1, 10).empty());
    // A birth year ahead of today (a typing error in an old table) is never a negative age.
    add(8, {"Kid", "00000008", kToday.year() + 2, 100, 1});
    const auto kid = query.Row(8);
    ASSERT_TRUE(kid.has_value());
    EXPECT_EQ(kid->Age, 0);
}

TEST_F(PatientList, PositionOfEveryPatientMatchesItsRow)
{
    addSeveral();
    // Rows whose sort values are missing or of an odd kind, as an old table may hold them.
    ASSERT_TRUE(db.Execute("insert into UserInfo(ID, ptID, FirstName, Birthdate, Height) "
                           "values(9, '00000009', NULL, NULL, NULL)"));
    // A server keeps to the column's type: no text can stand in a number there.
    ASSERT_TRUE(db.Execute(QString("insert into UserInfo(ID, ptID, FirstName, Birthdate, Height) "
                                   "values(10, '00000010', 'Eve', '', %1)")
                               .arg(db.IsServer() ? "NULL" : "'tall'")));
    PatientListQuery query(db, kToday);
    for (int column = 0; column < kPatientListColumnCount; ++column) {
        for (bool descending : {false, true}) {
            for (const QString& filter : {QString(), QString("e")}) {
                query.SetOrder(PatientListColumn(column), descending);
                query.SetFilter(filter);
                const std::vector<int> order = ids(query.Rows(0, 100));
                for (int id : {1, 2, 3, 4, 5, 7, 9, 10}) {
                    const auto at = std::find(order.begin(), order.end(), id);
                    const int expected = at == order.end() ? -1 : int(at - order.begin());
                    EXPECT_EQ(query.PositionOf(id), expected)
                        << "patient " << id << ", column " << column
                        << (descending ? " descending" : "") << ", filter "
                        << filter.toStdString();
                }
            }
        }
    }
    EXPECT_EQ(query.PositionOf(8), -1); // no such patient
    EXPECT_EQ(query.PositionOf(0), -1);
}

TEST_F(PatientList, AClosedDatabaseGivesAnEmptyList)
{
    addSeveral();
    PatientListQuery query(db, kToday);
    db.Close();
    EXPECT_EQ(query.Count(), 0);
    EXPECT_TRUE(query.Rows(0, 10).empty());
    EXPECT_EQ(query.PositionOf(1), -1);
}

using PatientNumbers = RecordsTest;

// New patients never take a number given by hand, and the database itself
// refuses a second holder of a number, past every check of the program.
TEST_F(PatientNumbers, ATakenNumberIsNeverGivenTwice)
{
    EXPECT_TRUE(PatientNumbersEnforced(db));
    PatientRecord a;
    a.Name = "Ann";
    a.Birthdate = QDate(1980, 1, 1);
    // The first patient is given the number the next key would derive.
    ASSERT_EQ(CreatePatient(db, a, "00000002"), 1);
    PatientRecord b = a;
    ASSERT_EQ(CreatePatient(db, b), 2);
    EXPECT_EQ(b.PatientNumber, "00000003");
    PatientRecord c = a;
    ASSERT_EQ(CreatePatient(db, c, "HOSP-4711"), 3);
    EXPECT_EQ(c.PatientNumber, "HOSP-4711");
    PatientRecord d = a;
    EXPECT_EQ(CreatePatient(db, d, "HOSP-4711"), 0);
    EXPECT_EQ(count("SELECT * FROM UserInfo"), 3);
    EXPECT_EQ(NewPatientDefaults(db).NumberText, "00000004");
    EXPECT_FALSE(db.Execute("insert into UserInfo(ID, ptID, FirstName) values(5, '00000002', 'X')"));
    EXPECT_FALSE(db.Execute("update UserInfo set ptID = '00000002' where ID = 2"));
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE ptID = '00000002'"), 1);
    EXPECT_TRUE(FindSharedPatientNumbers(db).empty());
}

TEST(PatientNumberRules, OnlyNumbersThatShowBackAsTyped)
{
    for (const QString& good : {QString("HOSP-4711"), QString("00000001"), QString("A"),
                                QString::fromUtf8("门诊-12"), QString(20, 'x'),
                                QString("a b")})
        EXPECT_TRUE(IsValidPatientNumber(good)) << good.toStdString();
    for (const QString& bad : {QString(), QString(" 12"), QString("12 "), QString("12\n3"),
                               QString("12\t3"), QString(21, 'x'), QString("1\u200b2"),
                               QString("1\u20282")})
        EXPECT_FALSE(IsValidPatientNumber(bad)) << bad.toStdString();
}

// An older file: the plain index of its time, no list indexes, and two
// patients sharing a number: it opens all the same, the shared numbers are
// listed, and once each patient has its own the next open enforces them.
TEST(PatientNumbersOfOldFiles, SharedNumbersAreListedAndBothRowsKeptUntilMadeUnique)
{
    TempHome home;
    const QString path = home.path("data.mdb");
    {
        Database db;
        ASSERT_TRUE(db.Open(path));
        for (const char* index : {"UserInfo_ptID_unique", "UserInfo_FirstName", "UserInfo_Gender",
                                  "UserInfo_Birthdate", "UserInfo_Height", "UserInfo_Weight"})
            ASSERT_TRUE(db.Execute(QString("DROP INDEX %1").arg(index)));
        ASSERT_TRUE(db.Execute("CREATE INDEX UserInfo_ptID ON UserInfo (ptID)"));
        for (int id : {1, 2, 3, 4})
            ASSERT_TRUE(db.Execute("insert into UserInfo(ID, ptID, FirstName) values(?, ?, ?)",
                                   {id, id == 2 || id == 3 ? "X" : "00000001", QString("P%1").arg(id)}));
    }
    Database db;
    ASSERT_TRUE(db.Open(path));
    EXPECT_FALSE(PatientNumbersEnforced(db));
    const auto shared = FindSharedPatientNumbers(db);
    ASSERT_EQ(shared.size(), 2u);
    EXPECT_EQ(shared[0].Number, "00000001");
    EXPECT_EQ(shared[0].IDs, (std::vector<int>{1, 4}));
    EXPECT_EQ(shared[1].Number, "X");
    EXPECT_EQ(shared[1].IDs, (std::vector<int>{2, 3}));
    const QString text = SharedPatientNumbersText(shared);
    EXPECT_TRUE(text.contains("00000001: 1, 4") && text.contains("X: 2, 3")) << text.toStdString();
    EXPECT_EQ(PatientListQuery(db).Count(), 4);
    // The program's own checks still refuse a third holder.
    EXPECT_TRUE(PatientNumberTaken(db, "X", 5));
    PatientRecord p;
    p.Name = "New";
    EXPECT_EQ(CreatePatient(db, p, "X"), 0);

    ASSERT_TRUE(db.Execute("update UserInfo set ptID = 'Y' where ID = 3"));
    ASSERT_TRUE(db.Execute("update UserInfo set ptID = '00000004' where ID = 4"));
    db.Close();
    ASSERT_TRUE(db.Open(path));
    EXPECT_TRUE(PatientNumbersEnforced(db));
    EXPECT_TRUE(FindSharedPatientNumbers(db).empty());
    EXPECT_FALSE(db.Execute("update UserInfo set ptID = 'Y' where ID = 1"));
    Recordset rs(db);
    rs.Open("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'UserInfo' "
            "ORDER BY name");
    QStringList names;
    for (bool row = rs.MoveFirst(); row; row = rs.MoveNext()) {
        QString name;
        rs.GetFieldValue("name", name);
        names << name;
    }
    EXPECT_EQ(names, (QStringList{"UserInfo_Birthdate", "UserInfo_FirstName", "UserInfo_Gender",
                                  "UserInfo_Height", "UserInfo_Weight", "UserInfo_ptID_unique"}));
}
