// The database's text conversions on arbitrary text: the day splitting, the
// leading-number rule, YEAR()/MONTH()/DAY() and the recordset's reading of
// text as a date-time, an integer and a number.
#include "fuzz_file.h"

#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/leading_number.h"
#include "core/records/recordset.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Database* db = [] {
        static int argc = 1;
        static char name[] = "fuzz_db_text";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
        auto* opened = new Database;
        if (!opened->Open(FuzzFolder() + "/data.mdb"))
            std::abort();
        return opened;
    }();
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    int year = 0, month = 0, day = 0;
    SplitDay(text, year, month, day);
    LeadingNumber(text);
    Recordset rs(*db);
    if (rs.Open("SELECT ? AS TestTime, ? AS Birthdate, ? AS Height, ? AS FVC, YEAR(?) AS y, "
                "MONTH(?) AS m, DAY(?) AS d",
                {text, text, text, text, text, text, text}) &&
        rs.GetRecordCount() == 1) {
        QString value;
        int number = 0;
        float fvc = 0;
        double wide = 0;
        for (const char* column : {"TestTime", "Birthdate", "Height", "FVC", "y", "m", "d"}) {
            rs.GetFieldValue(column, value);
            rs.GetFieldValue(column, number);
            rs.GetFieldValue(column, fvc);
            rs.GetFieldValue(column, wide);
        }
    }
    return 0;
}
