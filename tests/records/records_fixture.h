#pragma once
// A fresh program folder with a freshly seeded data.mdb for one test, or,
// when the run asks for the server, a fresh database on the test server.
#include "support/data_table.h"
#include "support/pg_server.h"
#include "support/temp_home.h"

#include "core/measure/test_file_writer.h"
#include "core/records/case_file_store.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/recordset.h"

#include <gtest/gtest.h>

#include <vector>

// The rows of a data file of this folder.
inline std::vector<DataRow> DataRows(const QString& name)
{
    return ReadDataTable(QStringLiteral(RECORDS_DATA_DIR "/") + name);
}

class RecordsTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        if (TestsUseServer()) {
            location = PgTestServer::Shared().NewDatabase();
            ASSERT_FALSE(location.isEmpty()) << PgTestServer::Shared().Error().toStdString();
        } else {
            location = home.path("data.mdb");
        }
        ASSERT_TRUE(db.Open(location)) << db.LastError().toStdString();
    }

    // Writes patient `id`'s test <n>.dt through the store (files on a workstation,
    // rows of the database on a server) and, unless `row` is false, registers its row.
    void storeTest(int id, int n, const QString& time, int kind, const ManeuverResult& record,
                   const SessionPlace& place = {}, bool row = true)
    {
        SaveContext context;
        context.testType = kind;
        const QString name = QString("%1.dt").arg(n);
        ASSERT_TRUE(db.Files().Write(id, name,
                                     BuildTestFile(MakeHeader(context, name, time), record, nullptr,
                                                   0, QByteArray(32, '\1'))));
        if (row) {
            ASSERT_TRUE(RegisterTest(db, id, name, time, record, kind, place))
                << db.LastError().toStdString();
        }
    }

    // Number of rows `sql` returns.
    int count(const QString& sql, const QVariantList& values = {})
    {
        Recordset rs(db);
        rs.Open(sql, values);
        return rs.GetRecordCount();
    }

    TempHome home;
    Database db;
    QString location; // what db was opened on: the data.mdb file or the server URI
};
