#include "core/hospital/oru_message.h"

#include "core/hospital/hl7_text.h"
#include "core/measure/test_store.h"

#include <QUuid>

#include <map>

namespace {

// Fields of one segment by their number; the gaps stay empty.
class Segment {
  public:
    explicit Segment(const char* name) : m_name(name) {}
    Segment& set(int field, const QString& raw)
    {
        m_fields[field] = raw;
        return *this;
    }
    QString text() const
    {
        QString out = m_name;
        int at = 0;
        for (const auto& [field, raw] : m_fields) {
            if (raw.isEmpty())
                continue; // empty fields at the end are left out, inner ones by the gap
            out += QString(field - at, '|') + raw;
            at = field;
        }
        return out;
    }

  private:
    QString m_name;
    std::map<int, QString> m_fields;
};

QString coded(const QString& code, const QString& text, const QString& system)
{
    return Hl7Escape(code) + '^' + Hl7Escape(text) + '^' + system;
}

QString testTime(const QString& time)
{
    const QDateTime t = QDateTime::fromString(time, "yyyy-MM-dd HH:mm:ss");
    return t.isValid() ? Hl7DateTime(t) : QString(time).remove('-').left(8);
}

QString number(double value)
{
    return QString::number(value, 'f', 2);
}

QString valueCode(const ExchangeParameter& p, SessionPhase phase)
{
    const LoincCode& code = LoincForPhase(p, phase);
    const QString text = QString(p.name) + PhaseWords(phase);
    return code.Exists() ? coded(code.code, text, "LN") : coded(p.slug, text, "L");
}

// HL7 reference range: "low-high", or ">low" where only the lower limit is known.
QString range(const ParameterResult& r)
{
    if (!r.lln)
        return QString();
    return r.uln ? number(*r.lln) + '-' + number(*r.uln) : '>' + number(*r.lln);
}

} // namespace

QString NewHl7ControlId()
{
    return QUuid::createUuid().toString(QUuid::Id128).left(20).toUpper();
}

QByteArray BuildOruMessage(const HospitalDay& day, const OruOptions& options)
{
    const PatientRecord& patient = day.values.patient;
    const DayResult& result = day.data.result;
    QStringList segments;

    // MSH-1 is the field separator itself: here field n is MSH-(n+1). MSH-15
    // and MSH-16 stay empty: original acknowledgement, AA, AE or AR.
    segments << Segment("MSH")
                    .set(1, "^~\\&")
                    .set(2, Hl7Escape(kHl7SendingApplication))
                    .set(3, Hl7Escape(options.sendingFacility))
                    .set(4, Hl7Escape(options.receivingApplication))
                    .set(5, Hl7Escape(options.receivingFacility))
                    .set(6, Hl7DateTime(options.created))
                    .set(8, "ORU^R01^ORU_R01")
                    .set(9, Hl7Escape(options.controlId))
                    .set(10, "P")
                    .set(11, "2.5.1")
                    .set(17, "UNICODE UTF-8")
                    .text();

    // The name is kept as "Surname, First name": family and given components.
    const int comma = patient.Name.indexOf(", ");
    const QString name = comma > 0 ? Hl7Escape(patient.Name.left(comma)) + '^' +
                                         Hl7Escape(patient.Name.mid(comma + 2))
                                   : Hl7Escape(patient.Name);
    QString id = Hl7Escape(patient.PatientNumber);
    if (!options.assigningAuthority.isEmpty())
        id += "^^^" + Hl7Escape(options.assigningAuthority) + "^PI";
    segments << Segment("PID")
                    .set(1, "1")
                    .set(3, id)
                    .set(5, name)
                    .set(7, patient.Birthdate.isValid() ? patient.Birthdate.toString("yyyyMMdd")
                                                        : QString())
                    .set(8, patient.Gender == 1 ? "F" : "M")
                    .text();

    const QString accession = Hl7Escape(day.accession);
    segments << Segment("ORC").set(1, "RE").set(3, accession).set(5, "CM").text();
    segments << Segment("OBR")
                    .set(1, "1")
                    .set(3, accession)
                    .set(4, coded("81458-2", "Pulmonary function test panel", "LN"))
                    .set(7, testTime(day.values.firstTestTime))
                    .set(8, testTime(day.values.lastTestTime))
                    .set(18, accession)
                    .set(22, Hl7DateTime(options.created))
                    .set(24, "PF")
                    .set(25, "F")
                    .text();

    int obx = 0;
    auto addObx = [&](const QString& type, const QString& code, const QString& subId,
                      const QString& value, const QString& units = {}, const QString& range = {},
                      const QString& flag = {}, const QString& time = {}) {
        segments << Segment("OBX")
                        .set(1, QString::number(++obx))
                        .set(2, type)
                        .set(3, code)
                        .set(4, subId)
                        .set(5, value)
                        .set(6, units)
                        .set(7, range)
                        .set(8, flag)
                        .set(11, "F")
                        .set(14, time)
                        .text();
    };
    for (const ParameterResult& r : day.values.values) {
        const ExchangeParameter& p = *r.parameter;
        addObx("NM", valueCode(p, r.phase), PhaseKey(r.phase), number(r.measured),
               coded(p.ucum, p.ucum, "UCUM"), range(r),
               r.lln ? (r.BelowLln() ? "L" : "N") : QString(), testTime(r.testTime));
        if (r.usableOnly)
            segments
                << Segment("NTE").set(1, "1").set(2, "L").set(3, Hl7Escape(kUsableOnlyNote)).text();
    }
    const bool dayHasPost = result.HasPost();
    for (const PhaseValues& phase : result.phases) {
        const QString subId = !dayHasPost ? QString() : phase.phase == kPhasePost ? "post" : "pre";
        addObx("ST", coded("FEV1-grade", "FEV1 grade (ATS/ERS 2019)", "L"), subId,
               QString(QChar(phase.reported.fev1Grade)));
        addObx("ST", coded("FVC-grade", "FVC grade (ATS/ERS 2019)", "L"), subId,
               QString(QChar(phase.reported.fvcGrade)));
    }
    const QString interpretation = result.interpretation && result.interpretation->available
                                       ? SuggestionText(*result.interpretation)
                                       : result.interpretationNote;
    if (!interpretation.isEmpty())
        addObx("TX",
               coded("interpretation", "Suggested interpretation (" + day.values.referenceSet + ")",
                     "L"),
               {}, Hl7Escape(interpretation));
    const QString conclusion = day.values.diagnosis.Result.trimmed();
    if (!conclusion.isEmpty())
        addObx("TX", coded("conclusion", "Physician's conclusion", "L"), {}, Hl7Escape(conclusion));
    if (!day.pdf.isEmpty())
        addObx("ED", coded("report", "Spirometry report", "L"), {},
               "^AP^PDF^Base64^" + QString::fromLatin1(day.pdf.toBase64()));
    return (segments.join('\r') + '\r').toUtf8();
}
