#include "core/records/database.h"
#include "core/records/recordset.h"
#include "support/pg_server.h"
#include "support/temp_home.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <thread>

namespace {

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The same statements against the test server when the run asks for it.
        const QString where =
            TestsUseServer() ? PgTestServer::Shared().NewDatabase() : home.path("data.mdb");
        ASSERT_TRUE(db.Open(where, Database::kPassword)) << db.LastError().toStdString();
    }

    void addCase(int id, const QString& name, const QString& time, double fvc, double fev1)
    {
        ASSERT_TRUE(db.Execute("INSERT INTO CaseInfo (ID, DataName, TestTime, FVC, PEF, FEV1, MVV, "
                               "VC, Duration, TestType) VALUES (?,?,?,?,0,?,0,0,0,0)",
                               {id, name, time, fvc, fev1}));
    }

    TempHome home;
    Database db;
};

TEST_F(DatabaseTest, EquationRowsHoldTenSlotsPerTermAndCoverEveryAge)
{
    Recordset rs(db);
    ASSERT_TRUE(rs.Open("SELECT * FROM Predict"));
    const int rows = rs.GetRecordCount();
    ASSERT_EQ(rows, 44);
    rs.MoveFirst();
    for (int i = 0; i < rows; ++i, rs.MoveNext()) {
        int ratio = -1;
        ASSERT_TRUE(rs.GetFieldValue("FEV1/FVC", ratio));
        EXPECT_EQ(ratio, 0);
        for (const char* term : {"Param_Constant", "Param_Hight", "Param_Age", "Param_Age_Age",
                                 "Param_Height_Height", "Param_Surface"}) {
            QString list;
            ASSERT_TRUE(rs.GetFieldValue(term, list));
            EXPECT_EQ(list.split('/').size(), 10) << term;
        }
    }
    // Each set and sex covers ages 0 to 100 with half-open bands: exactly one band per age.
    for (int type = 0; type <= 2; ++type)
        for (int gender = 0; gender <= 1; ++gender)
            for (int age : {0, 5, 6, 17, 18, 25, 69, 70, 99}) {
                Recordset band(db);
                ASSERT_TRUE(band.Open("SELECT * FROM Predict WHERE Type = ? AND Gender = ? AND "
                                      "Age_lower_limit <= ? AND Age_upper_limit > ?",
                                      {type, gender, age, age}));
                EXPECT_EQ(band.GetRecordCount(), 1) << type << gender << age;
            }
}

TEST_F(DatabaseTest, TextValuesRoundTripAsTyped)
{
    const QString longName(5000, QChar(0x6C49));
    const QStringList names = {"O'Brien", "back\\slash", QString::fromUtf8("张三"),
                               "Robert'); DROP TABLE UserInfo;--", longName};
    int id = 1;
    for (const QString& name : names) {
        ASSERT_TRUE(db.Execute("INSERT INTO UserInfo (ID, ptID, LastName, FirstName) VALUES "
                               "(?,?,?,?)",
                               {id, QString::asprintf("%08d", id), name, name}));
        ++id;
    }
    for (int i = 0; i < names.size(); ++i) {
        Recordset rs(db);
        ASSERT_TRUE(rs.Open("SELECT * FROM UserInfo WHERE FirstName = ?", {names[i]}));
        ASSERT_EQ(rs.GetRecordCount(), 1);
        QString read;
        ASSERT_TRUE(rs.GetFieldValue("FirstName", read));
        EXPECT_EQ(read, names[i]);
    }
}

TEST_F(DatabaseTest, RecordCountOnEmptyAndLargeResultsKeepsThePosition)
{
    Recordset empty(db);
    ASSERT_TRUE(empty.Open("SELECT * FROM CaseInfo WHERE ID = ?", {42}));
    EXPECT_EQ(empty.GetRecordCount(), 0);
    EXPECT_FALSE(empty.MoveFirst());
    int value = 7;
    EXPECT_FALSE(empty.GetFieldValue("FVC", value));
    EXPECT_EQ(value, 0);

    ASSERT_TRUE(db.BeginTransaction());
    for (int i = 0; i < 20000; ++i)
        addCase(1, QString("%1.dt").arg(i), "2026-01-01 10:00:00", i, 0);
    ASSERT_TRUE(db.Commit());
    Recordset all(db);
    ASSERT_TRUE(all.Open("SELECT * FROM CaseInfo ORDER BY FVC"));
    all.MoveNext();
    all.MoveNext();
    EXPECT_EQ(all.GetRecordCount(), 20000);
    float fvc = 0;
    ASSERT_TRUE(all.GetFieldValue("FVC", fvc));
    EXPECT_EQ(fvc, 2.0f); // still on the third row
}

TEST_F(DatabaseTest, DateFunctionsReadTheDayOfStoredTimes)
{
    const struct {
        const char* text;
        QVariant year, month, day;
    } cases[] = {
        {"2026-03-04 10:20:30", 2026, 3, 4}, {"2026-3-4", 2026, 3, 4},
        {"  1999-12-31", 1999, 12, 31},      {"junk", {}, {}, {}},
        {"", {}, {}, {}},                    {"2026-03", {}, {}, {}},
    };
    for (const auto& c : cases) {
        QSqlQuery query(db.Connection());
        query.prepare("SELECT YEAR(?), MONTH(?), DAY(?)");
        for (int i = 0; i < 3; ++i)
            query.addBindValue(c.text);
        ASSERT_TRUE(query.exec() && query.next()) << c.text;
        EXPECT_EQ(query.value(0).isNull(), c.year.isNull()) << c.text;
        EXPECT_EQ(query.value(0).toInt(), c.year.toInt()) << c.text;
        EXPECT_EQ(query.value(1).toInt(), c.month.toInt()) << c.text;
        EXPECT_EQ(query.value(2).toInt(), c.day.toInt()) << c.text;
    }
    addCase(1, "1.dt", "2026-12-31 23:59:59", 1, 1);
    addCase(1, "2.dt", "2027-01-01 00:00:00", 1, 1);
    addCase(1, "3.dt", "2026-12-30 23:59:59", 1, 1);
    Recordset rs(db);
    ASSERT_TRUE(rs.Open("select * from CaseInfo where YEAR(TestTime) = 2026 and "
                        "MONTH(TestTime) = 12 AND DAY(TestTime) = 31"));
    ASSERT_EQ(rs.GetRecordCount(), 1);
    QString name;
    rs.GetFieldValue("DataName", name);
    EXPECT_EQ(name, "1.dt");
}

// A worker (the live test's save) opens the same records on its own
// connection; what it writes is there for the interface thread's one.
TEST_F(DatabaseTest, AWorkerOpensTheSameRecordsOnItsOwnConnection)
{
    bool opened = false, written = false;
    QString identity;
    std::thread worker([&] {
        Database mine;
        opened = mine.OpenSame(db);
        identity = mine.Identity();
        written = opened && mine.Execute("insert into UserInfo(ID, ptID, LastName, Gender) "
                                         "values(9, '9', 'Worker', 0)");
    });
    worker.join();
    ASSERT_TRUE(opened);
    EXPECT_EQ(identity, db.Identity());
    EXPECT_TRUE(written);
    Recordset rs(db);
    ASSERT_TRUE(rs.Open("SELECT * FROM UserInfo WHERE LastName = 'Worker'"));
    EXPECT_EQ(rs.GetRecordCount(), 1);
    Database closed, copy;
    EXPECT_FALSE(copy.OpenSame(closed)) << "nothing to open the same of";
}

TEST_F(DatabaseTest, OrderBySumOfColumnsAndUniqueTestKey)
{
    addCase(1, "1.dt", "2026-01-01 10:00:00", 3.0, 2.0); // 5.0
    addCase(1, "2.dt", "2026-01-01 10:01:00", 2.0, 3.5); // 5.5
    addCase(1, "3.dt", "2026-01-01 10:02:00", 4.0, 0.5); // 4.5
    Recordset rs(db);
    ASSERT_TRUE(rs.Open("SELECT * FROM CaseInfo WHERE ID = ? order by FVC+FEV1 desc", {1}));
    QStringList order;
    const int n = rs.GetRecordCount();
    rs.MoveFirst();
    for (int i = 0; i < n; ++i, rs.MoveNext()) {
        QString name;
        rs.GetFieldValue("DataName", name);
        order << name;
    }
    EXPECT_EQ(order, QStringList({"2.dt", "1.dt", "3.dt"}));
    EXPECT_FALSE(db.Execute("INSERT INTO CaseInfo (ID, DataName) VALUES (?,?)", {1, "1.dt"}));
    EXPECT_TRUE(db.LastErrorWasConflict()); // on both engines
    EXPECT_TRUE(db.Execute("INSERT INTO CaseInfo (ID, DataName) VALUES (?,?)", {2, "1.dt"}));
}

TEST_F(DatabaseTest, TextFormsOfNonTextColumns)
{
    addCase(7, "1.dt", "2026-03-04 05:06:07", 3.14159, 2.5);
    ASSERT_TRUE(db.Execute("INSERT INTO UserInfo (ID, FirstName, Birthdate, Height) VALUES "
                           "(?,?,?,?)",
                           {1, "A", "1980-05-04", 170}));
    Recordset rs(db);
    ASSERT_TRUE(rs.Open("SELECT * FROM CaseInfo"));
    QString text;
    rs.GetFieldValue("FVC", text);
    EXPECT_EQ(text, "3.1416");
    rs.GetFieldValue("ID", text);
    EXPECT_EQ(text, "7");
    rs.GetFieldValue("MVV", text);
    EXPECT_EQ(text, "0.0000");
    rs.GetFieldValue("Duration", text);
    EXPECT_EQ(text, "0");

    Recordset nation(db);
    ASSERT_TRUE(nation.Open("SELECT * FROM Nation WHERE nNation = 1"));
    nation.GetFieldValue("Multiply", text);
    EXPECT_EQ(text, "1.00000000");

    Recordset user(db);
    ASSERT_TRUE(user.Open("SELECT * FROM UserInfo"));
    user.GetFieldValue("Birthdate", text);
    EXPECT_EQ(text, "1980-05-04 00:00:00");
    text = "previous";
    ASSERT_TRUE(user.GetFieldValue("Address", text)); // NULL column
    EXPECT_EQ(text, "");
    user.MoveNext(); // past the last row
    text = "kept";
    EXPECT_FALSE(user.GetFieldValue("FirstName", text));
    EXPECT_EQ(text, "kept");
    float number = 5;
    EXPECT_FALSE(user.GetFieldValue("Height", number));
    EXPECT_EQ(number, 0.0f);
}

TEST_F(DatabaseTest, UnopenedRecordsetWarnsAndNewGroupsNumberOnward)
{
    QString shown;
    Database::SetNotifier([&](const QString& text, const QString&) { shown = text; });
    Recordset rs(db);
    QString value = "kept";
    EXPECT_FALSE(rs.GetFieldValue("Nation", value));
    EXPECT_EQ(value, "kept");
    EXPECT_TRUE(shown.startsWith(QString::fromUtf8("数据库可能已经断开")));
    Database::SetNotifier(nullptr);

    ASSERT_TRUE(db.Execute("INSERT INTO Race (Nation) VALUES (?)", {"Inuit"}));
    ASSERT_TRUE(db.Execute("DELETE FROM Race WHERE ID = ?", {11}));
    ASSERT_TRUE(db.Execute("INSERT INTO Race (Nation) VALUES (?)", {"Sami"}));
    ASSERT_TRUE(rs.Open("SELECT * FROM Race WHERE Nation = ?", {"Sami"}));
    int id = 0;
    rs.GetFieldValue("ID", id);
    EXPECT_EQ(id, 12);
    ASSERT_TRUE(db.Execute("INSERT INTO Nation (nNation, ParamName) VALUES (?,?)", {12, 1}));
    ASSERT_TRUE(rs.Open("SELECT * FROM Nation WHERE nNation = ?", {12}));
    double multiply = 0, additive = -1;
    rs.GetFieldValue("Multiply", multiply);
    rs.GetFieldValue("Additive", additive);
    EXPECT_EQ(multiply, 1.0);
    EXPECT_EQ(additive, 0.0);
}

TEST(DatabaseOpen, UnusableFilesAreLeftUntouched)
{
    TempHome home;
    // Not a database at all.
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 7919) & 0xFF);
    home.write("data.mdb", garbage);
    Database db;
    EXPECT_FALSE(db.Open(home.path("data.mdb"), Database::kPassword));
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(home.read("data.mdb"), garbage);

    // A real SQLite file without our tables.
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "foreign");
        other.setDatabaseName(home.path("foreign.mdb"));
        ASSERT_TRUE(other.open());
        QSqlQuery(other).exec("CREATE TABLE Things (a INTEGER)");
        other.close();
    }
    QSqlDatabase::removeDatabase("foreign");
    const QByteArray before = home.read("foreign.mdb");
    EXPECT_FALSE(db.Open(home.path("foreign.mdb"), Database::kPassword));
    EXPECT_EQ(home.read("foreign.mdb"), before);
    EXPECT_FALSE(QFile::exists(home.path("foreign.mdb.new")));
}

TEST(DatabaseOpen, SecondOpenOfAnExistingFileKeepsItsRows)
{
    TempHome home;
    {
        Database db;
        ASSERT_TRUE(db.Open(home.path("data.mdb")));
        ASSERT_TRUE(db.Execute("INSERT INTO UserInfo (ID, FirstName) VALUES (?,?)", {5, "Kept"}));
    }
    Database again;
    ASSERT_TRUE(again.Open(home.path("data.mdb")));
    Recordset rs(again);
    ASSERT_TRUE(rs.Open("SELECT * FROM UserInfo"));
    EXPECT_EQ(rs.GetRecordCount(), 1);
    ASSERT_TRUE(rs.Open("SELECT * FROM Race"));
    EXPECT_EQ(rs.GetRecordCount(), 10); // not seeded twice
}

} // namespace
