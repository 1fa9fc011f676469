#include "core/measure/test_file_writer.h"

#include "core/measure/maneuver_quality.h"
#include "core/measure/record_codec.h"
#include "core/measure/vc_analysis.h"

#include "core/app/lang_text.h"

#include <QDir>
#include <QFile>
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

// Why no manoeuvre of an FVC test can be stored, in the user's words.
QString unusableReason(const ManeuverList& list, const std::vector<ManeuverStatus>& statuses) {
    bool lost = false, disagree = false;
    for (int i = 0; i < int(list.size()) && i < int(statuses.size()); ++i) {
        lost = lost || !statuses[i].complete;
        disagree = disagree || statuses[i].sumsDisagree;
    }
    return GetLangText("MESSAGE", lost ? 2000 : disagree ? 2003 : 2002);
}

bool anyIncomplete(const std::vector<ManeuverStatus>& statuses, int first, int last) {
    for (int i = std::max(first, 0); i <= last && i < int(statuses.size()); ++i)
        if (!statuses[i].complete || statuses[i].sumsDisagree)
            return true;
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
                    const TestRowWriter& writeRow) {
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
    const std::vector<ManeuverStatus> statuses = store.Statuses();
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
        if (anyIncomplete(statuses, 0, last)) {
            store.SetManeuvers(list);
            result.outcome = SaveOutcome::DataLost;
            result.resultValid = 0;
            result.prompts << GetLangText("MESSAGE", 2000);
            return result;
        }
    } else if (type == kTestVc) {
        if (anyIncomplete(statuses, 0, int(list.size()) - 1)) {
            store.SetManeuvers(list);
            result.outcome = SaveOutcome::DataLost;
            result.resultValid = 0;
            result.validPicture = 0;
            result.prompts << GetLangText("MESSAGE", 2000);
            return result;
        }
        TidalIndices tidal = store.Tidal();
        int found = store.tidalFound.load();
        std::vector<TidalSummary> summaries = store.TidalSummaries();
        result.resultValid = found ? VcAnalysis(list, stream, tidal, found, summaries) : 0;
        store.SetTidal(tidal, found);
        if (summaries.size() > store.TidalSummaries().size())
            store.AppendTidalSummary(summaries.back());
        result.validPicture = result.resultValid;
    } else {
        if (list.empty()) {
            result.outcome = SaveOutcome::NothingToSave;
            return result;
        }
        result.bestIndex = BestUsableFvcIndex(list, statuses);
        if (result.bestIndex < 0) {
            store.SetManeuvers(list);
            result.outcome = SaveOutcome::NotUsable;
            result.resultValid = 0;
            result.prompts << unusableReason(list, statuses);
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

    QDir().mkpath(context.caseFolder);
    result.path = context.caseFolder + '/' + result.dataName;
    const QByteArray bytes =
        BuildTestFile(result.header, result.record, samples.data(), int(samples.size()), trailer);
    if (!writeFile(result.path, bytes)) {
        result.outcome = SaveOutcome::FileNotCreated;
        result.resultValid = 0;
        result.prompts << GetLangText("MESSAGE", 2001);
        return result;
    }
    if (!writeRow || !writeRow(result)) {
        // Nothing half-stored: a file without its row would be an orphan.
        QFile::remove(result.path);
        result.outcome = SaveOutcome::RowNotInserted;
        result.resultValid = 0;
        result.prompts << GetLangText("MESSAGE", 2001);
        return result;
    }
    result.outcome = SaveOutcome::Saved;
    result.prompts << GetLangText("CASE", 1226);
    return result;
}
