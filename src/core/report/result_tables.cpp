#include "core/report/result_tables.h"

#include "core/app/lang_text.h"
#include "core/measure/maneuver_fields.h"
#include "core/measure/test_store.h"

#include <cmath>
#include <cstring>

namespace {

// A parameter row: shown name, unit, the record field it reads, and what the
// table gives for it. A predicted value is shown only where the set predicts
// that very parameter, and a percentage only for a value that is not a ratio.
struct RowSpec {
    const char* name;
    const char* unit; // nullptr: CASE 1223 "Year"
    const char* field;
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

// A measured value: missing when the test did not give it (0, or no number).
QString measuredText(double value, const char* name)
{
    if (!(value > 0) || FormatValue(value).isEmpty())
        return kMissingText;
    return isInteger(name) ? QString::number(std::llround(value)) : FormatValue(value);
}

QString unitText(const RowSpec& spec)
{
    return spec.unit ? QString(spec.unit) : GetLangText("CASE", 1223);
}

QString clinical(int id)
{
    return GetLangText("CLINICAL", id);
}

constexpr RowSpec kFvcRows[] = {
    {"FVC", " L", "FVC", true},          {"FEV1", " L", "FEV1", true},
    {"FEV1/VC", " %", "FEV1/VC", false}, {"FEV1/FVC", " %", "FEV1/FVC", false},
    {"FEV6", " L", "FEV6", true},        {"FEV1/FEV6", " %", "FEV1/FEV6", false},
    {"PEF", " L/S", "PEF", true},        {"FEF2575", " L/S", "FEF2575", true},
    {"ELA", nullptr, "ELA", false},      {"FET", " S", "FET", false},
    {"FEF25", " L/S", "FEF25", true},    {"FEF50", " L/S", "FEF50", true},
    {"FEF75", " L/S", "FEF75", true},    {"EVOL", " ml", "EVOL", false},
    {"FIVC", " L", "FIVC", false},       {"FIV1", " L", "FIV1", false},
    {"FIV1/FIVC", " %", "FIV1/FIVC", false}, {"PIF", " L/S", "PIF", false},
    {"MVV", " L/min", "MVV", true},
};

constexpr RowSpec kVcRows[] = {
    {"VC", " L", "VC", true},            {"IC", " L", "IC", true},
    {"ERV", " L", "ERV", true},          {"IRV", " L", "IRV", false},
    {"EVC", " L", "EVC", true},          {"IVC", " L", "IVC", true},
    {"TV", " L", "TV", false},           {"VE", " L/min", "MV", false},
    {"RR", " /min", "RR", false},   {"tI", " S", "tI", false},
    {"tE", " S", "tE", false},           {"TV/tI", " L/S", "TV/tI", false},
    {"tI/ttot", "", "tI/ttot", false},
};

constexpr RowSpec kMvvRows[] = {{"MVV", " L/min", "MVV", true}};

// The printed "Values from best loop" rows: those the page-1 summary does not carry.
constexpr RowSpec kReportLoopRows[] = {
    {"FEV1/VC", " %", "FEV1/VC", false}, {"FEV6", " L", "FEV6", true},
    {"FEV1/FEV6", " %", "FEV1/FEV6", false}, {"FEF25", " L/S", "FEF25", true},
    {"FEF50", " L/S", "FEF50", true},    {"FEF75", " L/S", "FEF75", true},
    {"ELA", nullptr, "ELA", false},      {"EVOL", " ml", "EVOL", false},
    {"FIVC", " L", "FIVC", false},       {"FIV1", " L", "FIV1", false},
    {"FIV1/FIVC", " %", "FIV1/FIVC", false}, {"PIF", " L/S", "PIF", false},
};

// The predicted value of a row, or kMissingText where the set has none.
QString predictedText(const DayResult& day, const RowSpec& spec)
{
    const ValueReference ref = day.ReferenceOf(spec.field, 1.0);
    return ref.predicted ? FormatValue(*ref.predicted) : kMissingText;
}

QString percentText(const DayResult& day, const RowSpec& spec, double measured)
{
    if (!spec.percent || !(measured > 0))
        return QString();
    const ValueReference ref = day.ReferenceOf(spec.field, measured);
    return ref.percentPredicted ? QString::asprintf("%.0f%%", *ref.percentPredicted) : QString();
}

// The phase's value of a row: "—" when withheld, "*" after a usable-only value.
QString phaseValueText(const PhaseValues& phase, const RowSpec& spec)
{
    if (phase.withheld)
        return kMissingText;
    QString text = measuredText(field(phase.record, spec.field), spec.field);
    const ReferencedValue* v = phase.reported.Find(spec.name);
    if (text != kMissingText && ((v && v->usableOnly) || (!v && phase.usableOnly)))
        text += '*';
    return text;
}

QString testHeader(const DayResult& day, int index)
{
    QString header = QString::asprintf("#%d", index + 1);
    // On a bronchodilator day each blow's column says its phase.
    if (day.HasPost() && index < int(day.fvc.size()))
        for (const StoredSession& s : day.sessions)
            for (const StoredManeuver& m : s.maneuvers)
                if (m.dataName == day.fvc[std::size_t(index)].dataName)
                    header += ' ' + PhaseName(s.phase);
    return header;
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

QString PhaseName(int phase)
{
    return clinical(phase == kPhasePost ? 2551 : 2550);
}

QString PhaseGradeText(const PhaseValues& phase)
{
    QString text = clinical(2590).arg(QChar(phase.reported.fev1Grade), QChar(phase.reported.fvcGrade));
    if (phase.withheld)
        text += ": " + clinical(2591);
    else if (phase.reported.fev1Grade == 'U' || phase.reported.fvcGrade == 'U')
        text += ": " + clinical(2592);
    return text;
}

BestValueBox MakeBestValueBox(const DayResult& day)
{
    BestValueBox box;
    static const RowSpec specs[4] = {
        {"FVC", "", "FVC", true}, {"FEV1", "", "FEV1", true}, {"PEF", "", "PEF", true}, {"FEV1/FVC", "", "FEV1/FVC", false}};
    bool starred = false;
    for (const PhaseValues& phase : day.phases) {
        BestValueColumn column;
        column.title = PhaseName(phase.phase);
        column.note = PhaseGradeText(phase);
        for (int i = 0; i < 4; ++i) {
            column.values[std::size_t(i)] = phaseValueText(phase, specs[i]);
            starred = starred || column.values[std::size_t(i)].endsWith('*');
            if (!phase.withheld)
                column.percents[std::size_t(i)] = percentText(day, specs[i], field(phase.record, specs[i].field));
        }
        box.columns.push_back(std::move(column));
    }
    if (starred)
        box.footnote = clinical(2593);
    return box;
}

ResultsList MakeResultsList(int testType, const DayResult& day)
{
    ResultsList list;
    list.testType = testType;
    list.headers << QString() << GetLangText("CASE", 1210) << GetLangText("CASE", 1200) << clinical(2571);
    const DayTestList& tests = testType == kTestVc ? day.vc : testType == kTestMvv ? day.mvv : day.fvc;
    if (testType == kTestFvc)
        for (const PhaseValues& phase : day.phases)
            list.headers << PhaseName(phase.phase) << clinical(2574);
    else
        list.headers << clinical(2574);
    list.firstTestColumn = int(list.headers.size());
    for (int i = 0; i < int(tests.size()); ++i)
        list.headers << (testType == kTestFvc ? testHeader(day, i) : QString::asprintf("#%d", i + 1));
    if (tests.empty())
        return list;

    const RowSpec* specs = kFvcRows;
    std::size_t count = std::size(kFvcRows);
    const TypeResult& best = testType == kTestVc ? day.vcResult : day.mvvResult;
    if (testType == kTestVc) {
        specs = kVcRows;
        count = std::size(kVcRows);
    } else if (testType == kTestMvv) {
        specs = kMvvRows;
        count = std::size(kMvvRows);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const RowSpec& spec = specs[i];
        ResultRow row;
        row.name = spec.name;
        row.unit = unitText(spec);
        row.predicted = predictedText(day, spec);
        if (testType == kTestFvc) {
            for (const PhaseValues& phase : day.phases) {
                row.reported << phaseValueText(phase, spec);
                row.reported << (phase.withheld ? QString() : percentText(day, spec, field(phase.record, spec.field)));
            }
        } else {
            row.reported << percentText(day, spec, field(best.record, spec.field));
        }
        for (const DayTest& test : tests)
            row.tests << measuredText(field(test.file.record, spec.field), spec.field);
        list.rows.push_back(std::move(row));
    }
    return list;
}

ReportTable FvcBestLoopTable(const DayResult& day)
{
    ReportTable table;
    table.title = GetLangText("CASE", 1328);
    table.headers << GetLangText("CASE", 1210) << GetLangText("CASE", 1200) << clinical(2571);
    for (const PhaseValues& phase : day.phases)
        table.headers << (phase.flowsTest >= 0 ? PhaseName(phase.phase) + QString::asprintf(" #%d", phase.flowsTest + 1)
                                               : PhaseName(phase.phase))
                      << clinical(2574);
    for (const RowSpec& spec : kReportLoopRows) {
        QStringList cells = {spec.name, unitText(spec).trimmed(), predictedText(day, spec)};
        bool any = false;
        for (const PhaseValues& phase : day.phases) {
            const QString value = phaseValueText(phase, spec);
            any = any || value != kMissingText;
            cells << value << (phase.withheld ? QString() : percentText(day, spec, field(phase.record, spec.field)));
        }
        if (any)
            table.rows.push_back(cells);
    }
    return table;
}

namespace {
template <std::size_t N>
ReportTable bestTestTable(const DayResult& day, const char* name, const TypeResult& best, const RowSpec (&specs)[N])
{
    ReportTable table;
    table.title = QString(name) + ' ' + GetLangText("CASE", 1221);
    table.headers << GetLangText("CASE", 1210) << GetLangText("CASE", 1200) << clinical(2571)
                  << QString::asprintf("#%d", best.bestTest + 1) << clinical(2574);
    if (best.bestTest < 0)
        return table;
    for (const RowSpec& spec : specs) {
        const double value = field(best.record, spec.field);
        table.rows.push_back({spec.name, unitText(spec).trimmed(), spec.percent ? predictedText(day, spec) : kMissingText,
                              measuredText(value, spec.field), percentText(day, spec, value)});
    }
    return table;
}
} // namespace

ReportTable VcReportTable(const DayResult& day)
{
    return bestTestTable(day, "VC", day.vcResult, kVcRows);
}

ReportTable MvvReportTable(const DayResult& day)
{
    return bestTestTable(day, "MVV", day.mvvResult, kMvvRows);
}
