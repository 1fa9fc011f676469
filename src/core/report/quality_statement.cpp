#include "core/report/quality_statement.h"

#include "core/app/lang_text.h"
#include "core/measure/maneuver_quality.h"
#include "core/report/result_tables.h"

#include <algorithm>

namespace {
QString caseText(int id)
{
    return GetLangText("CASE", id);
}

// "Repeatable FVC;" or "FVC not repeatable;" for each of FVC, FEV1 and PEF.
QString repeatabilityWords(const RepeatabilityFlags& flags)
{
    static const int repeatable[3] = {1274, 1275, 1276};
    static const int notRepeatable[3] = {2310, 2311, 2312};
    QString words;
    for (int i = 0; i < 3; ++i)
        words += caseText(flags[std::size_t(i) + 1] ? repeatable[i] : notRepeatable[i]);
    return words;
}
} // namespace

QualityStatement DayQualityStatement(int testType, const DayTestList& tests, int shownIndex)
{
    QualityStatement statement;
    if (tests.empty())
        return statement;
    statement.day = caseText(2315).arg(tests.size());
    if (testType == kTestFvc) {
        RepeatabilityFlags flags{0, 0, 0, 0};
        Repeatability(RecordsOf(tests), flags);
        // Fewer than three tests cannot show repeatability: ask for more.
        statement.day += flags[0] ? repeatabilityWords(flags) : caseText(1273);
    }
    if (shownIndex < 0 || shownIndex >= int(tests.size()))
        return statement;
    if (testType != kTestFvc) {
        statement.test = caseText(2319);
        return statement;
    }
    const AcceptanceFlags& acceptance = tests[std::size_t(shownIndex)].file.acceptance;
    statement.test =
        caseText(acceptance.flag[0] ? 2313 : 1270) + caseText(acceptance.flag[1] ? 2314 : 1271);
    return statement;
}

QString BlowVerdict(int number, const ManeuverResult& blow)
{
    auto text = [](int id) { return GetLangText("FVCTestingDlg", id); };
    // The start grading of the saved test: back-extrapolated volume within 5 % of FVC or 150 ml.
    const double tolerance = std::max(0.15, 0.05 * blow.FVC) * 1000.0;
    QString verdict =
        text(2321).arg(number).arg(FormatValue(blow.FVC)).arg(FormatValue(blow.FEV1)) + " - " +
        text(blow.EVOL > tolerance ? 2323 : 2322);
    if (blow.Duration >= 6)
        verdict += ", " + text(2324);
    return verdict;
}
