#include "core/clinical/gli_equations.h"

#include <QFile>
#include <QStringList>

#include <cmath>

namespace {

constexpr int kTable2012 = 0;
constexpr int kTableGlobal = 1;
constexpr int kTableErv = 2;

// A small table file: the header's column names and the rows as numbers or text.
struct CsvTable {
    QStringList columns;
    std::vector<QStringList> rows;
    std::vector<int> lineNumbers;
};

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

bool readCsv(const QString& path, CsvTable& table, QString* error)
{
    QFile file(path);
    // The largest table is a few hundred kB; a file far beyond that is not ours.
    constexpr qint64 kMaxBytes = 4 * 1024 * 1024;
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, "cannot read " + path);
    if (file.size() > kMaxBytes)
        return fail(error, path + " is too large for a reference table");
    const QString text = QString::fromUtf8(file.readAll());
    const QStringList lines = text.split('\n');
    int lineNumber = 0;
    for (QString line : lines) {
        ++lineNumber;
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        QStringList cells = line.split(',');
        for (QString& cell : cells)
            cell = cell.trimmed().remove('"');
        if (table.columns.isEmpty()) {
            table.columns = cells;
            continue;
        }
        if (cells.size() != table.columns.size())
            return fail(error, QString("%1 line %2: %3 cells where the header has %4")
                                   .arg(path)
                                   .arg(lineNumber)
                                   .arg(cells.size())
                                   .arg(table.columns.size()));
        table.rows.push_back(cells);
        table.lineNumbers.push_back(lineNumber);
    }
    if (table.rows.empty())
        return fail(error, path + " holds no rows");
    return true;
}

// Reads named numeric columns of one row; false names the first bad cell.
class RowReader {
public:
    RowReader(const CsvTable& table, const QString& path) : m_table(table), m_path(path) {}

    bool column(const QString& name, int* index, QString* error) const
    {
        *index = int(m_table.columns.indexOf(name));
        return *index >= 0 || fail(error, m_path + " has no column " + name);
    }
    bool number(int row, const QString& name, double* value, QString* error) const
    {
        int index = 0;
        if (!column(name, &index, error))
            return false;
        bool ok = false;
        *value = m_table.rows[row][index].toDouble(&ok);
        if (!ok || !std::isfinite(*value))
            return fail(error, QString("%1 line %2: %3 is not a number")
                                   .arg(m_path)
                                   .arg(m_table.lineNumbers[row])
                                   .arg(name));
        return true;
    }
    bool text(int row, const QString& name, QString* value, QString* error) const
    {
        int index = 0;
        if (!column(name, &index, error))
            return false;
        *value = m_table.rows[row][index];
        return true;
    }
    QString where(int row) const { return QString("%1 line %2").arg(m_path).arg(m_table.lineNumbers[row]); }

private:
    const CsvTable& m_table;
    QString m_path;
};

std::optional<GliParameter> parameterFromTableName(const QString& name)
{
    if (name == "FEV1")
        return GliParameter::FEV1;
    if (name == "FVC")
        return GliParameter::FVC;
    if (name == "FEV1FVC")
        return GliParameter::FEV1FVC;
    if (name == "FEF2575")
        return GliParameter::FEF2575;
    if (name == "FEF75")
        return GliParameter::FEF75;
    return std::nullopt;
}

bool sexFromText(const QString& text, bool* male)
{
    if (text != "M" && text != "F")
        return false;
    *male = text == "M";
    return true;
}

// The sex and (outside the ERV table, which has one parameter) the parameter of row `r`.
bool rowKey(const RowReader& row, int r, int table, bool* male, int* parameter, QString* error)
{
    QString sexText, parameterText;
    if (!row.text(r, "sex", &sexText, error))
        return false;
    if (!sexFromText(sexText, male))
        return fail(error, row.where(r) + ": sex must be M or F");
    *parameter = 0;
    if (table == kTableErv)
        return true;
    if (!row.text(r, "param", &parameterText, error))
        return false;
    const auto known = parameterFromTableName(parameterText);
    if (!known)
        return fail(error, row.where(r) + ": unknown parameter " + parameterText);
    *parameter = int(*known);
    return true;
}

} // namespace

QString GliSetName(GliSet set)
{
    return set == GliSet::Gli2012 ? "gli2012" : "gli-global-2022";
}

std::optional<GliSet> GliSetFromName(const QString& name)
{
    if (name == "gli2012")
        return GliSet::Gli2012;
    if (name == "gli-global-2022")
        return GliSet::GliGlobal2022;
    return std::nullopt;
}

QString GliParameterName(GliParameter parameter)
{
    switch (parameter) {
    case GliParameter::FEV1: return "FEV1";
    case GliParameter::FVC: return "FVC";
    case GliParameter::FEV1FVC: return "FEV1/FVC";
    case GliParameter::FEF2575: return "FEF2575";
    case GliParameter::FEF75: return "FEF75";
    case GliParameter::ERV: return "ERV";
    }
    return QString();
}

std::optional<GliParameter> GliParameterFromName(const QString& name)
{
    for (GliParameter parameter : GliParameters())
        if (GliParameterName(parameter).compare(name, Qt::CaseInsensitive) == 0)
            return parameter;
    return std::nullopt;
}

const std::vector<GliParameter>& GliParameters()
{
    static const std::vector<GliParameter> all = {GliParameter::FEV1,    GliParameter::FVC,
                                                  GliParameter::FEV1FVC, GliParameter::FEF2575,
                                                  GliParameter::FEF75,   GliParameter::ERV};
    return all;
}

double GliDecimalAge(const QDate& birth, const QDate& testDay)
{
    if (!birth.isValid() || !testDay.isValid())
        return 0;
    return double(birth.daysTo(testDay)) / 365.25;
}

double GliPrediction::zScore(double measured) const
{
    if (!available || M <= 0 || S <= 0 || measured <= 0)
        return std::nan("");
    if (std::fabs(L) < 1e-12)
        return std::log(measured / M) / S;
    return (std::pow(measured / M, L) - 1.0) / (L * S);
}

double GliPrediction::percentPredicted(double measured) const
{
    if (!available || M <= 0)
        return std::nan("");
    return 100.0 * measured / M;
}

std::optional<GliEquations::Key> GliEquations::keyOf(GliSet set, GliParameter parameter, bool male)
{
    if (parameter == GliParameter::ERV)
        return Key{kTableErv, 0, male};
    if (set == GliSet::GliGlobal2022 &&
        (parameter == GliParameter::FEF2575 || parameter == GliParameter::FEF75))
        return std::nullopt;
    return Key{set == GliSet::Gli2012 ? kTable2012 : kTableGlobal, int(parameter), male};
}

bool GliEquations::loadCoefficients(const QString& path, int table, QString* error)
{
    CsvTable csv;
    if (!readCsv(path, csv, error))
        return false;
    const RowReader row(csv, path);
    for (int r = 0; r < int(csv.rows.size()); ++r) {
        bool male = true;
        int parameter = 0;
        if (!rowKey(row, r, table, &male, &parameter, error))
            return false;
        Equation e;
        bool ok = true;
        if (table == kTableErv) {
            e.linearAge = true;
            ok = row.number(r, "m_const", &e.m[0], error) &&
                 row.number(r, "m_lnheight", &e.m[1], error) &&
                 row.number(r, "m_age", &e.m[2], error) && row.number(r, "s_const", &e.s[0], error) &&
                 row.number(r, "s_age", &e.s[1], error) && row.number(r, "l_const", &e.l[0], error);
        } else {
            ok = row.number(r, "m_const", &e.m[0], error) &&
                 row.number(r, "m_lnheight", &e.m[1], error) &&
                 row.number(r, "m_lnage", &e.m[2], error) && row.number(r, "s_const", &e.s[0], error) &&
                 row.number(r, "s_lnage", &e.s[1], error) && row.number(r, "l_const", &e.l[0], error) &&
                 row.number(r, "l_lnage", &e.l[1], error);
        }
        if (ok && table == kTable2012) {
            // Columns of ethnic groups 2..5; group 1 (Caucasian) is the baseline.
            const char* groups[] = {"afram", "neasia", "seasia", "other"};
            for (int g = 0; g < 4 && ok; ++g)
                ok = row.number(r, QString("m_") + groups[g], &e.mEthnic[g + 2], error) &&
                     row.number(r, QString("s_") + groups[g], &e.sEthnic[g + 2], error);
        }
        if (!ok)
            return false;
        const Key key{table, parameter, male};
        if (m_equations.count(key))
            return fail(error, row.where(r) + ": the equation is given twice");
        m_equations[key] = e;
    }
    return true;
}

bool GliEquations::loadSplines(const QString& path, int table, QString* error)
{
    CsvTable csv;
    if (!readCsv(path, csv, error))
        return false;
    const RowReader row(csv, path);
    for (int r = 0; r < int(csv.rows.size()); ++r) {
        bool male = true;
        int parameter = 0;
        if (!rowKey(row, r, table, &male, &parameter, error))
            return false;
        const auto it = m_equations.find(Key{table, parameter, male});
        if (it == m_equations.end())
            return fail(error, row.where(r) + ": a spline for an equation without coefficients");
        Equation& e = it->second;
        double age = 0;
        Knot knot;
        if (!row.number(r, "age", &age, error) || !row.number(r, "Mspline", &knot.m, error) ||
            !row.number(r, "Sspline", &knot.s, error) || !row.number(r, "Lspline", &knot.l, error))
            return false;
        if (e.knots.empty())
            e.firstAge = age;
        // Interpolation finds a knot by its position, so the ages must run in 0.25 steps.
        const double expected = e.firstAge + 0.25 * double(e.knots.size());
        if (std::fabs(age - expected) > 1e-6)
            return fail(error, row.where(r) + QString(": age %1 where %2 was due").arg(age).arg(expected));
        e.knots.push_back(knot);
    }
    return true;
}

bool GliEquations::Load(const QString& folder, QString* error)
{
    m_equations.clear();
    const QString base = folder.endsWith('/') ? folder : folder + '/';
    const bool ok = loadCoefficients(base + "gli2012_coefficients.csv", kTable2012, error) &&
                    loadSplines(base + "gli2012_splines.csv", kTable2012, error) &&
                    loadCoefficients(base + "gli_global_2022_coefficients.csv", kTableGlobal, error) &&
                    loadSplines(base + "gli_global_2022_splines.csv", kTableGlobal, error) &&
                    loadCoefficients(base + "gli2021_erv_coefficients.csv", kTableErv, error) &&
                    loadSplines(base + "gli2021_erv_splines.csv", kTableErv, error);
    if (!ok) {
        m_equations.clear();
        return false;
    }
    for (const auto& [key, equation] : m_equations) {
        if (equation.knots.size() < 2) {
            m_equations.clear();
            return fail(error, QString("%1: an equation without its age spline").arg(folder));
        }
    }
    return true;
}

const GliEquations& GliEquations::BuiltIn()
{
    static const GliEquations tables = [] {
        GliEquations gli;
        gli.LoadBuiltIn();
        return gli;
    }();
    return tables;
}

bool GliEquations::Has(GliSet set, GliParameter parameter) const
{
    const auto key = keyOf(set, parameter, true);
    return key && m_equations.count(*key) > 0;
}

GliPrediction GliEquations::Predict(GliSet set, GliParameter parameter, const GliSubject& subject) const
{
    GliPrediction p;
    const auto key = keyOf(set, parameter, subject.male);
    if (!key)
        return p;
    const auto it = m_equations.find(*key);
    if (it == m_equations.end())
        return p;
    const Equation& e = it->second;
    const double age = subject.ageYears;
    const double height = subject.heightCm;
    const bool gli2012 = std::get<0>(*key) == kTable2012;
    if (!std::isfinite(age) || !std::isfinite(height) || height <= 0 || age < e.firstAge ||
        age > e.lastAge() || (gli2012 && (subject.ethnic < 1 || subject.ethnic > 5))) {
        p.outOfRange = true;
        return p;
    }
    p.outOfRange = height < kGliMinHeightCm || height > kGliMaxHeightCm;

    // Linear interpolation between the two knots around the age, as the GLI calculator does.
    const double position = (age - e.firstAge) * 4.0;
    std::size_t k = std::size_t(std::floor(position));
    double fraction = position - double(k);
    if (k + 1 >= e.knots.size()) {
        k = e.knots.size() - 1;
        fraction = 0;
    }
    const Knot& lo = e.knots[k];
    const Knot& hi = e.knots[std::min(k + 1, e.knots.size() - 1)];
    const double mSpline = lo.m + fraction * (hi.m - lo.m);
    const double sSpline = lo.s + fraction * (hi.s - lo.s);
    const double lSpline = lo.l + fraction * (hi.l - lo.l);

    const int ethnic = gli2012 ? subject.ethnic : kEthnicCaucasian;
    if (e.linearAge) {
        p.M = std::exp(e.m[0] + e.m[1] * std::log(height) + e.m[2] * age + mSpline);
        p.S = std::exp(e.s[0] + e.s[1] * age + sSpline);
        p.L = e.l[0] + lSpline;
    } else {
        const double lnAge = std::log(age);
        p.M = std::exp(e.m[0] + e.m[1] * std::log(height) + e.m[2] * lnAge + e.mEthnic[ethnic] + mSpline);
        p.S = std::exp(e.s[0] + e.s[1] * lnAge + e.sEthnic[ethnic] + sSpline);
        p.L = e.l[0] + e.l[1] * lnAge + lSpline;
    }
    const auto centile = [&](double z) {
        if (std::fabs(p.L) < 1e-12)
            return p.M * std::exp(z * p.S);
        const double base = 1.0 + z * p.L * p.S;
        return base > 0 ? p.M * std::pow(base, 1.0 / p.L) : 0.0;
    };
    p.lln = centile(kLlnZ);
    p.uln = centile(-kLlnZ);
    p.available = true;
    return p;
}
