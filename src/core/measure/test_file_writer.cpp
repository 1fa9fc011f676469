#include "core/measure/test_file_writer.h"

#include "core/measure/maneuver_quality.h"
#include "core/measure/record_codec.h"
#include "core/measure/vc_analysis.h"

#include "core/app/lang_text.h"
#include "core/records/case_file_store.h"
#include "core/records/database.h"

#include <QDir>
#include <QSaveFile>

#include <algorithm>

namespace {

// Decimal value of the leading digits, as atoi reads them (saturating).
int leadingNumber(const QString& text) {
    long long value = 0;
    for (QChar c : text) {
        if (!c.isDigit())
            break;
        value = std::min(value * 10 + c.digitValue(), 999999999LL);
    }
    return int(value);
}

long long firstSampleOf(const ManeuverList& list, int index) {
    long long start = 0;
    for (int j = 0; j < index; ++j)
        start += std::max(list[j].ExpCount, 0) + std::max(list[j].InspCount, 0);
    return start;
}

double twoDecimals(double v) {
    return QString::number(v, 'f', 2).toDouble();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    // A temporary file renamed into place: a crash never leaves half a test file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool insertRow(Database& db, int patientId, const SaveResult& r) {
    const ManeuverResult& m = r.record;
    return db.Execute(
        "insert into CaseInfo(ID, DataName, TestTime, FVC, PEF, Duration, FEV1, MVV, VC, TestType) "
        "values(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        {patientId, r.dataName, r.testTime, twoDecimals(m.FVC), twoDecimals(m.PEF), m.Duration,
         twoDecimals(m.FEV1), twoDecimals(m.MVV), twoDecimals(m.VC), r.header.testType});
}

// The bytes and the row of a test in the database's store, in one transaction,
// under the next free number. Another workstation saving for the same patient
// at the same moment takes a number first; the loser tries the next one.
bool storeInDatabase(Database& db, int patientId, const PulseStream& samples,
                     const QByteArray& trailer, SaveResult& result) {
    constexpr int kAttempts = 50;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        int largest = 0;
        for (const QString& name : db.Files().Names(patientId))
            largest = std::max(largest, name.endsWith(".dt") ? leadingNumber(name) : 0);
        result.dataName = QString("%1.dt").arg(largest + 1);
        RecordCodec::SetText(result.header.dataName, sizeof result.header.dataName,
                             result.dataName.toLatin1());
        const QByteArray bytes = BuildTestFile(result.header, result.record, samples.data(),
                                               int(samples.size()), trailer);
        if (!db.BeginTransaction())
            return false;
        if (db.Files().Create(patientId, result.dataName, bytes) &&
            insertRow(db, patientId, result) && db.Commit())
            return true;
        const bool conflict = db.Files().Taken() || db.LastErrorWasConflict();
        db.Rollback();
        if (!conflict)
            return false;
    }
    return false;
}

} // namespace

int NextTestNumber(const QString& caseFolder) {
    int largest = 0;
    const QDir dir(caseFolder);
    const QFileInfoList entries =
        dir.entryInfoList({"*.dt"}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        QString name = entry.fileName();
        if (name.startsWith('.'))
            continue;
        while (!name.isEmpty() && (name.endsWith('.') || name.endsWith('d') || name.endsWith('t')))
            name.chop(1);
        largest = std::max(largest, leadingNumber(name));
    }
    return largest + 1;
}

TestFileHeader MakeHeader(const SaveContext& context, const QString& dataName,
                          const QString& testTime) {
    TestFileHeader h;
    RecordCodec::SetText(h.magic, sizeof h.magic, "TAVW");
    RecordCodec::SetText(h.version, sizeof h.version, "3.1.1");
    h.reserved16 = 0;
    h.trailerFlag = 1;
    h.sampleOffset = kSampleOffset;
    h.testType = context.testType;
    h.reserved32 = 0;
    h.expCoefficient = context.expCoefficient;
    h.inspCoefficient = context.inspCoefficient;
    h.temperature = context.temperature;
    h.reserved48 = 1;
    h.reserved52 = 0;
    RecordCodec::SetText(h.deviceId, sizeof h.deviceId, context.deviceId);
    RecordCodec::SetText(h.testTime, sizeof h.testTime, testTime.toLatin1());
    RecordCodec::SetText(h.dataName, sizeof h.dataName, dataName.toLatin1());
    return h;
}

QByteArray BuildTestFile(const TestFileHeader& header, const ManeuverResult& record,
                         const PulseSample* samples, int count, const QByteArray& trailer) {
    QByteArray bytes;
    bytes.reserve(kSampleOffset + 8 * count + trailer.size());
    RecordCodec::AppendHeader(bytes, header);
    RecordCodec::AppendManeuver(bytes, record);
    bytes.append(kReservedBlockSize, '\0');
    for (int i = 0; i < count; ++i)
        RecordCodec::AppendSample(bytes, samples[i]);
    bytes.append(trailer);
    return bytes;
}

SaveResult SaveTest(int request, MeasurementStore& store, const SaveContext& context,
                    Database& db) {
    SaveResult result;
    result.resultValid = 1;
    store.finished = 1;
    if (request != 1)
        return result; // nothing to save; the page still gets its test-saved message

    const int type = context.testType;
    result.dataName = QString("%1.dt").arg(NextTestNumber(context.caseFolder));
    result.testTime = context.now.toString("yyyy-MM-dd HH:mm:ss");
    result.header = MakeHeader(context, result.dataName, result.testTime);

    ManeuverList list = store.Maneuvers();
    const PulseStream stream = store.Pulses();
    for (ManeuverResult& record : list)
        DeriveManeuver(record, context.heightCm, context.gender);

    PulseStream samples;
    QByteArray trailer;
    if (type == kTestMvv) {
        if (list.size() < 2 || list[1].FIVC == 0) {
            store.SetManeuvers(list);
            result.outcome = SaveOutcome::InvalidMvv;
            result.resultValid = 0;
            result.prompts << GetLangText("CASE", 1225);
            return result;
        }
        int last = -1;
        while (last + 1 < int(list.size()) && list[last + 1].FIVC != 0)
            ++last;
        const long long end = firstSampleOf(list, last + 1); // one past the last sample of `last`
        const double seconds =
            end > 0 && end <= (long long)stream.size() ? stream[end - 1].time * 1e-5 : 0.0;
        ComputeMvv(list, 0, last, seconds);
    } else if (type == kTestVc) {
        TidalIndices tidal = store.Tidal();
        int found = store.tidalFound.load();
        std::vector<TidalSummary> summaries = store.TidalSummaries();
        result.resultValid = found ? VcAnalysis(list, stream, tidal, found, summaries) : 0;
        store.SetTidal(tidal, found);
        if (summaries.size() > store.TidalSummaries().size())
            store.AppendTidalSummary(summaries.back());
        result.validPicture = result.resultValid;
    } else {
        result.bestIndex = BestFvcIndex(list);
        if (result.bestIndex < 0) {
            result.outcome = SaveOutcome::NothingToSave;
            return result;
        }
    }
    store.SetManeuvers(list);

    if (!result.resultValid) {
        result.outcome = SaveOutcome::InvalidVc;
        result.prompts << GetLangText("MESSAGE", 1265);
        return result;
    }

    if (type == kTestFvc) {
        // Only the best manoeuvre's samples, with its time stamps rebased to
        // just after zero.
        const int best = result.bestIndex;
        result.record = list[best];
        const long long start = firstSampleOf(list, best);
        const long long wanted =
            std::max(result.record.ExpCount, 0) + std::max(result.record.InspCount, 0);
        const long long available =
            std::clamp<long long>((long long)stream.size() - start, 0, wanted);
        if (available < wanted) { // a short stream: the record counts what the file holds
            result.record.ExpCount = int(std::min<long long>(result.record.ExpCount, available));
            result.record.InspCount = int(available - result.record.ExpCount);
        }
        const std::uint32_t base =
            best > 0 && start > 0 && start <= (long long)stream.size() ? stream[start - 1].time : 0;
        for (long long i = 0; i < available; ++i) {
            PulseSample s = stream[start + i];
            s.time -= base;
            samples.push_back(s);
        }
        Acceptance(result.record, result.header, result.acceptance, samples.data(),
                   int(samples.size()));
        RecordCodec::AppendAcceptance(trailer, result.acceptance);
    } else {
        result.record = list[0];
        samples = stream;
        const std::vector<TidalSummary> summaries = store.TidalSummaries();
        if (!summaries.empty())
            RecordCodec::AppendTidalSummary(trailer, summaries.front());
    }
    // The flag tells readers whether anything follows the samples.
    result.header.trailerFlag = trailer.isEmpty() ? 0 : 1;

    if (db.Files().InDatabase()) {
        if (!storeInDatabase(db, context.patientId, samples, trailer, result)) {
            result.outcome = SaveOutcome::FileNotCreated;
            result.prompts << QStringLiteral("The test could not be stored!");
            return result;
        }
        result.outcome = SaveOutcome::Saved;
        result.prompts << GetLangText("CASE", 1226);
        return result;
    }
    QDir().mkpath(context.caseFolder);
    result.path = context.caseFolder + '/' + result.dataName;
    const QByteArray bytes =
        BuildTestFile(result.header, result.record, samples.data(), int(samples.size()), trailer);
    if (!writeFile(result.path, bytes)) {
        result.outcome = SaveOutcome::FileNotCreated;
        result.prompts << QStringLiteral("The test could not be stored!");
        return result;
    }
    insertRow(db, context.patientId, result);
    result.outcome = SaveOutcome::Saved;
    result.prompts << GetLangText("CASE", 1226);
    return result;
}
