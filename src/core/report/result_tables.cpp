#include "core/report/result_tables.h"

#include "core/app/lang_text.h"
#include "core/measure/maneuver_fields.h"

#include <cmath>
#include <cstring>

namespace {

// A parameter row: shown name, unit, the record field it reads, and what the
// table gives for it. A predicted value is shown only where an equation gives one for
// that very parameter (not the copy of another's: IRV from ERV, the inspiratory values
// from the expiratory ones; not the fixed 6 s of FET or 15/min of RR), and a percentage
// only for such a value that is not itself a ratio.
struct RowSpec {
    const char* name;
    const char* unit; // nullptr: CASE 1223 "Year"
    const char* field;
    bool predicted;
    bool percent;
};

double field(const ManeuverResult& record, const char* name)
{
    const auto& fields = ManeuverFields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (std::strcmp(fields[i].name, name) == 0)
            return ManeuverFieldValue(record, int(i));
    return 0;
}

bool isInteger(const char* name)
{
    return std::strcmp(name, "ELA") == 0 || std::strcmp(name, "EVOL") == 0;
}

QString formatField(const ManeuverResult& record, const char* name)
{
    const double value = field(record, name);
    return isInteger(name) ? QString::number(std::int64_t(value)) : FormatValue(value);
}

QString unitText(const RowSpec& spec)
{
    return spec.unit ? QString(spec.unit) : GetLangText("CASE", 1223);
}

constexpr RowSpec kFvcRows[] = {
    {"FVC", " L", "FVC", true, true},
    {"FEV1", " L", "FEV1", true, true},
    {"FEV1/VC", " %", "FEV1/VC", true, false},
    {"FEV1/FVC", " %", "FEV1/FVC", true, false},
    {"FEV6", " L", "FEV6", true, true},
    {"FEV1/FEV6", " %", "FEV1/FEV6", true, false},
    {"PEF", " L/S", "PEF", true, true},
    {"FEF2575", " L/S", "FEF2575", true, true},
    {"ELA", nullptr, "ELA", true, false},
    {"FET", " S", "FET", false, false},
    {"FEF25", " L/S", "FEF25", true, true},
    {"FEF50", " L/S", "FEF50", true, true},
    {"FEF75", " L/S", "FEF75", true, true},
    {"EVOL", " ml", "EVOL", false, false},
    {"FIVC", " L", "FIVC", false, false},
    {"FIV1", " L", "FIV1", false, false},
    {"FIV1/FIVC", " %", "FIV1/FIVC", false, false},
    {"PIF", " L/S", "PIF", false, false},
    {"MVV", " L/min", "MVV", true, true},
};

constexpr RowSpec kVcRows[] = {
    {"VC", " L", "VC", true, true},           {"IC", " L", "IC", true, true},
    {"ERV", " L", "ERV", true, true},         {"IRV", " L", "IRV", false, false},
    {"EVC", " L", "EVC", true, true},         {"IVC", " L", "IVC", true, true},
    {"TV", " L", "TV", false, false},         {"VE", " L/min", "MV", false, false},
    {"RR", " Times/min", "RR", false, false}, {"tI", " S", "tI", false, false},
    {"tE", " S", "tE", false, false},         {"TV/tI", " L/S", "TV/tI", false, false},
    {"tI/ttot", "", "tI/ttot", false, false},
};

constexpr RowSpec kMvvRows[] = {{"MVV", "L/min", "MVV", true, true}};

// The printed report's rows (units without the leading blank).
constexpr RowSpec kReportBestRows[] = {
    {"FVC", "L", "FVC", true, true},
    {"FEV1", "L", "FEV1", true, true},
    {"FEV1/FVC", "%", "FEV1/FVC", true, false},
    {"PEF", "L/S", "PEF", true, true},
};

constexpr RowSpec kReportLoopRows[] = {
    {"VC", "L", "VC", true, true},
    {"FEV1/VC", "%", "FEV1/VC", true, false},
    {"FEV6", "L", "FEV6", true, true},
    {"FEV1/FEV6", "%", "FEV1/FEV6", true, false},
    {"FEF2575", "L/S", "FEF2575", true, true},
    {"ELA", nullptr, "ELA", true, false},
    {"FET", "S", "FET", false, false},
    {"FEF25", "L/S", "FEF25", true, true},
    {"FEF50", "L/S", "FEF50", true, true},
    {"FEF75", "L/S", "FEF75", true, true},
    {"EVOL", "ML", "EVOL", false, false},
    {"FIVC", "L", "FIVC", false, false},
    {"FIV1", "L", "FIV1", false, false},
    {"FIV1/FIVC", "%", "FIV1/FIVC", false, false},
    {"PIF", "L/S", "PIF", false, false},
    {"MVV", "L/min", "MVV", true, true},
};

constexpr RowSpec kReportVcRows[] = {
    {"VC", " L", "VC", true, true},           {"IC", " L", "IC", true, true},
    {"ERV", " L", "ERV", true, true},         {"IRV", " L", "IRV", false, false},
    {"EVC", " L", "EVC", true, true},         {"IVC", " L", "IVC", true, true},
    {"TV", " L", "TV", false, false},         {"VE", " L/min", "MV", false, false},
    {"RR", " Times/min", "RR", false, false}, {"TI", " S", "tI", false, false},
    {"TE", " S", "tE", false, false},         {"TV/TI", " L/S", "TV/tI", false, false},
    {"tI/ttot", "", "tI/ttot", false, false},
};

// A figure as its CaseInfo row holds it ("%.2f"), for ranking.
long long rowFigure(double value)
{
    return std::llround(value * 100.0);
}

// Index of the largest `key` (the earlier test on a tie), -1 for none.
template <class Key> int largest(const ManeuverList& tests, Key key)
{
    int best = -1;
    long long bestValue = 0;
    for (int i = 0; i < int(tests.size()); ++i) {
        const long long value = key(tests[std::size_t(i)]);
        if (best < 0 || value > bestValue) {
            best = i;
            bestValue = value;
        }
    }
    return best;
}

QStringList tableHeaders(const QString& valueHeader)
{
    return {GetLangText("CASE", 1210), GetLangText("CASE", 1200), GetLangText("CASE", 1201),
            valueHeader, GetLangText("CASE", 1212)};
}

template <std::size_t N>
void appendReportRows(ReportTable& table, const RowSpec (&specs)[N], const ManeuverResult& value,
                      const ManeuverResult& predicted)
{
    for (const RowSpec& spec : specs) {
        const double v = field(value, spec.field);
        const double p = field(predicted, spec.field);
        table.rows.push_back({spec.name, unitText(spec),
                              spec.predicted ? formatField(predicted, spec.field) : QString(),
                              formatField(value, spec.field),
                              spec.percent ? FormatPercent(v, p) : QString()});
    }
}

} // namespace

// No quantity of a test reaches this in its unit (L, L/s, L/min, %, s): a value
// beyond it comes from a damaged file and is shown as missing, not as a number.
constexpr double kLargestShownValue = 1e5;

bool shownAsNumber(double value)
{
    return std::isfinite(value) && std::fabs(value) < kLargestShownValue;
}

QString FormatValue(double value)
{
    if (!shownAsNumber(value))
        return QString();
    return QString::asprintf("%.2f", value);
}

QString FormatPercent(double measured, double predicted)
{
    if (predicted == 0 || !shownAsNumber(measured) || !shownAsNumber(predicted))
        return QString();
    return QString::asprintf("%.0f%%", measured * 100.0 / predicted);
}

FvcBest ComputeFvcBest(const ManeuverList& tests)
{
    FvcBest best;
    if (tests.empty())
        return best;
    best.maxFvcIndex = largest(tests, [](const ManeuverResult& r) { return rowFigure(r.FVC); });
    best.maxFev1Index = largest(tests, [](const ManeuverResult& r) { return rowFigure(r.FEV1); });
    best.maxPefIndex = largest(tests, [](const ManeuverResult& r) { return rowFigure(r.PEF); });
    best.bestIndex = largest(
        tests, [](const ManeuverResult& r) { return rowFigure(r.FVC) + rowFigure(r.FEV1); });
    best.valid = true;
    const float fvc = tests[std::size_t(best.maxFvcIndex)].FVC;
    const float fev1 = tests[std::size_t(best.maxFev1Index)].FEV1;
    best.record = tests[std::size_t(best.bestIndex)];
    best.record.FVC = fvc;
    best.record.FEV1 = fev1;
    best.record.FEV1_FVC = fvc > 0 ? fev1 / fvc * 100.0f : 0.0f;
    return best;
}

int BestVcIndex(const ManeuverList& tests)
{
    return largest(tests, [](const ManeuverResult& r) { return rowFigure(r.VC); });
}

int BestMvvIndex(const ManeuverList& tests)
{
    return largest(tests, [](const ManeuverResult& r) { return rowFigure(r.MVV); });
}

int BestTestIndex(int testType, const ManeuverList& tests)
{
    if (testType == kTestVc)
        return BestVcIndex(tests);
    if (testType == kTestMvv)
        return BestMvvIndex(tests);
    return ComputeFvcBest(tests).bestIndex;
}

ManeuverList RecordsOf(const DayTestList& tests)
{
    ManeuverList records;
    records.reserve(tests.size());
    for (const DayTest& test : tests)
        records.push_back(test.file.record);
    return records;
}

BestValueBox MakeBestValueBox(const FvcBest& best, const ManeuverResult& predicted)
{
    BestValueBox box;
    if (!best.valid)
        return box;
    const ManeuverResult& r = best.record;
    const double values[4] = {r.FVC, r.FEV1, r.PEF, r.FEV1_FVC};
    const double predictions[4] = {predicted.FVC, predicted.FEV1, predicted.PEF,
                                   predicted.FEV1_FVC};
    const bool percents = predicted.FVC != 0 && predicted.FEV1 != 0 && predicted.FEV1_VC != 0 &&
                          predicted.FEF2575 != 0 && predicted.PEF != 0;
    for (int i = 0; i < 4; ++i) {
        box.values[std::size_t(i)] = FormatValue(values[i]);
        // FEV1/FVC is a ratio: its reference is the predicted ratio, not a percentage of it.
        if (percents && i != 3)
            box.percents[std::size_t(i)] = FormatPercent(values[i], predictions[i]);
    }
    return box;
}

ResultsList MakeResultsList(int testType, const ManeuverList& tests,
                            const ManeuverResult& predicted)
{
    ResultsList list;
    list.testType = testType;
    list.headers << QString() << GetLangText("CASE", 1210) << GetLangText("CASE", 1200)
                 << GetLangText("CASE", 1201);
    if (testType == kTestFvc)
        list.headers << GetLangText("CASE", 1209);
    list.headers << GetLangText("CASE", 1212);
    list.firstTestColumn = int(list.headers.size());
    for (int i = 0; i < int(tests.size()); ++i)
        list.headers << QString::asprintf("#%d", i + 1);
    if (tests.empty())
        return list;

    // The value each percentage is taken of.
    ManeuverResult reference;
    const RowSpec* specs = kFvcRows;
    std::size_t count = std::size(kFvcRows);
    if (testType == kTestFvc) {
        reference = ComputeFvcBest(tests).record;
    } else if (testType == kTestVc) {
        reference = tests[std::size_t(BestVcIndex(tests))];
        specs = kVcRows;
        count = std::size(kVcRows);
    } else {
        reference = tests[std::size_t(BestMvvIndex(tests))];
        specs = kMvvRows;
        count = std::size(kMvvRows);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const RowSpec& spec = specs[i];
        ResultRow row;
        row.name = spec.name;
        row.unit = unitText(spec);
        if (spec.predicted)
            row.predicted = formatField(predicted, spec.field);
        if (testType == kTestFvc)
            row.best = formatField(reference, spec.field);
        if (spec.percent)
            row.percent = FormatPercent(field(reference, spec.field), field(predicted, spec.field));
        for (const ManeuverResult& test : tests)
            row.tests << formatField(test, spec.field);
        list.rows.push_back(std::move(row));
    }
    return list;
}

ReportTable FvcBestTable(const FvcBest& best, const ManeuverResult& predicted)
{
    ReportTable table;
    table.title = GetLangText("CASE", 1327);
    table.headers = tableHeaders(GetLangText("CASE", 1209));
    if (best.valid)
        appendReportRows(table, kReportBestRows, best.record, predicted);
    return table;
}

ReportTable FvcBestLoopTable(const FvcBest& best, const ManeuverResult& predicted)
{
    ReportTable table;
    table.title = GetLangText("CASE", 1328);
    table.headers = tableHeaders(QString::asprintf("#Best%d", best.bestIndex + 1));
    if (best.valid)
        appendReportRows(table, kReportLoopRows, best.record, predicted);
    return table;
}

ReportTable VcReportTable(const ManeuverResult& best, int bestIndex,
                          const ManeuverResult& predicted)
{
    ReportTable table;
    table.title = "VC " + GetLangText("CASE", 1221);
    table.headers = tableHeaders(QString::asprintf("#Best%d", bestIndex + 1));
    appendReportRows(table, kReportVcRows, best, predicted);
    return table;
}

ReportTable MvvReportTable(const ManeuverResult& best, int bestIndex,
                           const ManeuverResult& predicted)
{
    ReportTable table;
    table.title = "MVV " + GetLangText("CASE", 1221);
    table.headers = tableHeaders(QString::asprintf("#Best%d", bestIndex + 1));
    appendReportRows(table, kMvvRows, best, predicted);
    return table;
}

QualityLines DayQualityLines(const DayTestList& tests, int shownIndex)
{
    RepeatabilityFlags flags{0, 0, 0, 0};
    Repeatability(RecordsOf(tests), flags);
    AcceptanceFlags acceptance;
    if (shownIndex >= 0 && shownIndex < int(tests.size()))
        acceptance = tests[std::size_t(shownIndex)].file.acceptance;
    return QualityTexts(acceptance, flags);
}
