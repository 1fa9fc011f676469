#include "core/measure/test_file_writer.h"

#include "core/measure/maneuver_check.h"
#include "core/measure/maneuver_quality.h"
#include "core/measure/record_codec.h"
#include "core/measure/vc_analysis.h"

#include "core/measure/test_file_reader.h"

#include "core/app/lang_text.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace {

// Races for a name with other programs saving for the same patient.
constexpr int kSaveAttempts = 1000;

long long firstSampleOf(const ManeuverList& list, int index) {
    long long start = 0;
    for (int j = 0; j < index; ++j)
        start += std::max(list[j].ExpCount, 0) + std::max(list[j].InspCount, 0);
    return start;
}

// Why a manoeuvre cannot be kept, in the user's words.
QString faultText(ManeuverFault fault) {
    return GetLangText("MESSAGE", fault == ManeuverFault::kIncomplete     ? 2000
                                  : fault == ManeuverFault::kDamaged ? 2003
                                                                          : 2002);
}

// Why no manoeuvre of an FVC test can be stored, in the user's words.
QString unusableReason(const ManeuverList& list, const std::vector<ManeuverStatus>& statuses) {
    bool lost = false, disagree = false;
    for (int i = 0; i < int(list.size()) && i < int(statuses.size()); ++i) {
        lost = lost || !statuses[i].complete;
        disagree = disagree || statuses[i].failedChecks;
    }
    return GetLangText("MESSAGE", lost ? 2000 : disagree ? 2003 : 2002);
}

// The message of the first manoeuvre first..last that lost pulses or came
// damaged; 0 when all are whole.
int damageMessage(const std::vector<ManeuverStatus>& statuses, int first, int last) {
    for (int i = std::max(first, 0); i <= last && i < int(statuses.size()); ++i) {
        if (!statuses[i].complete)
            return 2000;
        if (statuses[i].failedChecks)
            return 2003;
    }
    return 0;
}

void storeTest(SaveResult& result, const PulseStream& samples, const QByteArray& trailer,
               TestStore& testStore) {
    const auto fail = [&](const QString& prompt) {
        result.outcome = SaveOutcome::FileNotCreated;
        result.resultValid = 0; // the live page stays, so the blows can be repeated
        result.prompts << prompt;
        result.dataName.clear();
        result.path.clear();
    };
    // The number is taken by storing the test under it exclusively: a second
    // program saving for the same patient gets the next free one. A row left
    // from a lost file also holds its name, so the next number is tried then.
    int tried = 0;
    for (int attempt = 0; attempt < kSaveAttempts; ++attempt) {
        QString error;
        const int number = testStore.NextNumber(tried, error);
        if (number < 0)
            return fail(error.isEmpty() ? GetLangText("CASE", 2101)
                                        : GetLangText("CASE", 2100).arg(error));
        tried = number;
        result.dataName = QString("%1.dt").arg(number);
        result.path = testStore.PathOf(result.dataName);
        RecordCodec::SetText(result.header.dataName, sizeof result.header.dataName,
                             result.dataName.toLatin1());
        const QByteArray bytes = BuildTestFile(result.header, result.record, samples.data(),
                                               int(samples.size()), trailer);
        // Never a file the readers would refuse.
        if (bytes.size() > kMaxTestFileSize)
            return fail(GetLangText("CASE", 2100).arg("the test is longer than a test file holds"));
        switch (testStore.Write(result, bytes, error)) {
        case TestWrite::Saved:
            result.outcome = SaveOutcome::Saved;
            result.prompts << GetLangText("CASE", 1226);
            return;
        case TestWrite::NameTaken:
            continue;
        case TestWrite::FileFailed:
            return fail(GetLangText("CASE", 2100).arg(error));
        case TestWrite::RowFailed:
            result.outcome = SaveOutcome::NotRecorded;
            result.resultValid = 0;
            result.prompts << GetLangText("CASE", 2102).arg(error);
            result.dataName.clear();
            result.path.clear();
            return;
        }
    }
    fail(GetLangText("CASE", 2101));
}

// Opens the store's session; false, with the result saying why, when it cannot.
bool beginSession(SaveResult& result, TestStore& testStore) {
    QString error;
    if (testStore.BeginSession(error))
        return true;
    // The records cannot take the session's rows (a lock held too long, a server gone).
    result.outcome = SaveOutcome::NotRecorded;
    result.resultValid = 0;
    result.prompts << GetLangText("CASE", 2102).arg(error);
    return false;
}

// Ends the store's session: kept when the result is saved, and the result
// tells when the keeping failed (nothing of the session stays then).
void endSession(SaveResult& result, TestStore& testStore, const SaveContext& context) {
    QString error;
    const bool keep = result.outcome == SaveOutcome::Saved;
    // The rows that belong with the tests share their transaction: when they
    // cannot be written, nothing of the session is kept.
    const bool rowsWritten =
        !keep || !context.sessionRows || context.sessionRows(StoredDataNames(result), error);
    if (!rowsWritten) {
        QString ignored;
        testStore.EndSession(false, ignored);
    } else if (testStore.EndSession(keep, error) || !keep) {
        return;
    }
    result.outcome = SaveOutcome::NotRecorded;
    result.resultValid = 0;
    result.prompts.clear();
    result.prompts << GetLangText("CASE", 2102).arg(error);
    result.dataName.clear();
    result.path.clear();
    result.stored.clear();
}

// Every usable manoeuvre of an FVC session in its own file and row, in the
// order they were blown; the session is the number of the first one. The
// result names the best manoeuvre's file, record and flags.
void storeSession(SaveResult& result, const ManeuverList& list,
                  const std::vector<ManeuverStatus>& statuses, const PulseStream& stream,
                  int phase, const TestBasis& basis, const std::vector<QString>& cues,
                  TestStore& testStore) {
    const TestFileHeader header = result.header;
    const QString testTime = result.testTime;
    const int best = result.bestIndex;
    SaveResult bestResult;
    QStringList skipped; // why blows were left out
    for (int i = 0; i < int(list.size()); ++i) {
        const ManeuverStatus status = i < int(statuses.size()) ? statuses[i] : ManeuverStatus{};
        const ManeuverFault fault = CheckFvcManeuver(list[i], status);
        if (fault != ManeuverFault::kUsable) {
            // Never kept; the user hears why, once for each kind of fault.
            const QString reason = faultText(fault);
            if (!skipped.contains(reason))
                skipped << reason;
            continue;
        }
        SaveResult one;
        one.resultValid = 1;
        one.testTime = testTime;
        one.header = header;
        one.record = list[i];
        one.bestIndex = best;
        one.place.session = result.stored.empty() ? 0 : result.stored.front().number;
        one.place.maneuver = i + 1;
        one.place.phase = phase;
        one.place.basis = basis;
        one.cues = i < int(cues.size()) ? cues[i] : QString();
        const PulseStream samples = ManeuverSamples(list, stream, i, one.record);
        Acceptance(one.record, one.header, one.acceptance, samples.data(), int(samples.size()));
        QByteArray trailer;
        RecordCodec::AppendAcceptance(trailer, one.acceptance);
        one.header.trailerFlag = 1;
        storeTest(one, samples, trailer, testStore);
        if (one.outcome != SaveOutcome::Saved) {
            one.stored.clear();
            one.prompts = result.prompts + one.prompts;
            one.bestIndex = best;
            result = one;
            return;
        }
        result.stored.push_back(
            KeptManeuver{i, one.dataName.chopped(3).toInt(), one.dataName, one.path});
        if (i == best)
            bestResult = one;
    }
    std::vector<KeptManeuver> stored = std::move(result.stored);
    result = bestResult;
    result.stored = std::move(stored);
    result.prompts << skipped;
}

} // namespace

PulseStream ManeuverSamples(const ManeuverList& list, const PulseStream& stream, int index,
                            ManeuverResult& record) {
    const long long start = firstSampleOf(list, index);
    const long long wanted = std::max(record.ExpCount, 0) + std::max(record.InspCount, 0);
    const long long available =
        std::clamp<long long>((long long)stream.size() - start, 0, wanted);
    if (available < wanted) { // a short stream: the record counts what the file holds
        record.ExpCount = int(std::min<long long>(record.ExpCount, available));
        record.InspCount = int(available - record.ExpCount);
    }
    const std::uint32_t base =
        index > 0 && start > 0 && start <= (long long)stream.size() ? stream[start - 1].time : 0;
    PulseStream samples;
    samples.reserve(std::size_t(available));
    for (long long i = 0; i < available; ++i) {
        PulseSample sample = stream[start + i];
        sample.time -= base;
        samples.push_back(sample);
    }
    return samples;
}

QStringList StoredDataNames(const SaveResult& result) {
    QStringList names;
    for (const KeptManeuver& kept : result.stored)
        names << kept.dataName;
    if (names.isEmpty() && !result.dataName.isEmpty())
        names << result.dataName;
    return names;
}

int NextTestNumber(const QString& caseFolder, int above, int largestAllowed) {
    // Only names the readers accept count. A folder under such a name is met
    // by the exclusive create, which then moves on to the next number.
    int largest = 0;
    const QStringList names =
        QDir(caseFolder).entryList({"*.dt"}, QDir::Files | QDir::Hidden | QDir::System);
    std::vector<int> numbers;
    for (const QString& name : names) {
        if (!IsTestFileName(name))
            continue;
        const int n = name.chopped(3).toInt();
        numbers.push_back(n);
        largest = std::max(largest, n);
    }
    const int next = std::max(largest, above) + 1;
    if (next >= 1 && next <= largestAllowed)
        return next;
    // A stray name at the top must not end the patient's tests: the lowest free number.
    std::sort(numbers.begin(), numbers.end());
    int candidate = std::max(above, 0) + 1;
    for (int n : numbers) {
        if (n > candidate)
            break;
        if (n == candidate)
            ++candidate;
    }
    return candidate <= largestAllowed ? candidate : -1;
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
                    TestStore& testStore) {
    SaveResult result;
    result.resultValid = 1;
    store.finished = 1;
    if (request != 1)
        return result; // nothing to save; the page still gets its test-saved message

    const int type = context.testType;
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
        if (const int damage = damageMessage(statuses, 0, last)) {
            store.SetManeuvers(list);
            result.outcome = SaveOutcome::DataLost;
            result.resultValid = 0;
            result.prompts << GetLangText("MESSAGE", damage);
            return result;
        }
        if (!(list[0].MVV >= PhysicalLimits::kMinMvv && list[0].MVV <= PhysicalLimits::kMaxMvv)) {
            store.SetManeuvers(list);
            result.outcome = SaveOutcome::InvalidMvv;
            result.resultValid = 0;
            result.prompts << GetLangText("MESSAGE", 2002);
            return result;
        }
    } else if (type == kTestVc) {
        if (const int damage = damageMessage(statuses, 0, int(list.size()) - 1)) {
            store.SetManeuvers(list);
            result.outcome = SaveOutcome::DataLost;
            result.resultValid = 0;
            result.validPicture = 0;
            result.prompts << GetLangText("MESSAGE", damage);
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

    if (!beginSession(result, testStore))
        return result;
    if (type == kTestFvc) {
        storeSession(result, list, statuses, stream, context.phase, context.basis, context.cues,
                     testStore);
        endSession(result, testStore, context);
        return result;
    }
    result.place.basis = context.basis;
    result.record = list[0];
    samples = stream;
    const std::vector<TidalSummary> summaries = store.TidalSummaries();
    if (!summaries.empty())
        RecordCodec::AppendTidalSummary(trailer, summaries.front());
    // The flag tells readers whether anything follows the samples.
    result.header.trailerFlag = trailer.isEmpty() ? 0 : 1;

    storeTest(result, samples, trailer, testStore);
    endSession(result, testStore, context);
    return result;
}
