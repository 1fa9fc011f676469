#pragma once
// A fresh program folder with a freshly seeded data.mdb for one test.
#include "support/temp_home.h"

#include "core/records/database.h"
#include "core/records/recordset.h"

#include <gtest/gtest.h>

class RecordsTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(db.Open(home.path("data.mdb"))) << db.LastError().toStdString();
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
};
