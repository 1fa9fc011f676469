// Report benchmarks: writing a three-page report PDF, one live repaint of a
// long point list, and the stored curve panes of a busy day; the last two
// also through the desktop program's plot controls (a widget's whole paint).
#include "core/app/app_paths.h"
#include "core/app/system_settings.h"
#include "core/measure/flow_engine.h"
#include "core/measure/ideal_pulses.h"
#include "core/measure/test_file_writer.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/diagnosis.h"
#include "core/records/patient_record.h"
#include "core/report/curve_plot.h"
#include "core/report/pdf_export.h"
#include "core/report/report_data.h"

#include "gui/measure/curve_pane.h"
#include "gui/measure/curve_plot_widget.h"

#include <QDir>
#include <QFile>
#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

PulseStream forcedManoeuvre(double capacity, double pef)
{
    PulseStream samples;
    ForcedExpiration expiration;
    expiration.capacity = capacity;
    expiration.pef = pef;
    AppendIdealPulses(
        samples, [&](double t) { return expiration.Volume(t); }, 6.0,
        FlowEngine::ExpiratoryPulseVolume(156), 0.0, 1);
    SineBreath inspiration;
    inspiration.volume = capacity * 0.9;
    inspiration.duration = 2.5;
    AppendIdealPulses(
        samples, [&](double t) { return inspiration.Volume(t); }, 2.5,
        FlowEngine::InspiratoryPulseVolume(145), 6.05, 0);
    return samples;
}

PulseStream breathing(int breaths, double volume, double seconds)
{
    PulseStream samples;
    SineBreath half;
    half.volume = volume;
    half.duration = seconds / 2;
    for (int i = 0; i < breaths; ++i) {
        AppendIdealPulses(
            samples, [&](double t) { return half.Volume(t); }, half.duration,
            FlowEngine::ExpiratoryPulseVolume(156), i * seconds + 0.01, 1);
        AppendIdealPulses(
            samples, [&](double t) { return half.Volume(t); }, half.duration,
            FlowEngine::InspiratoryPulseVolume(145), i * seconds + half.duration + 0.01, 0);
    }
    return samples;
}

// A program folder holding one patient's day: `fvcTests` FVC tests, a VC and an MVV test.
class BenchHome {
  public:
    explicit BenchHome(int fvcTests)
    {
        AppPaths::Init(m_dir.path(), m_dir.path());
        Settings().Reset();
        Settings().hospital = "Riverside Hospital";
        m_db.Open(AppPaths::DatabaseFile());
        PatientRecord patient;
        patient.Name = "Bench Patient";
        patient.Birthdate = QDate(1970, 1, 1);
        patient.Height = 175;
        patient.Weight = 72;
        patient.Nation = 1;
        m_id = CreatePatient(m_db, patient);
        QDir().mkpath(AppPaths::PatientCaseFolder(m_id));
        for (int i = 0; i < fvcTests; ++i) {
            ManeuverResult r;
            r.FVC = 4.2f + 0.05f * float(i);
            r.FEV1 = 3.4f + 0.03f * float(i);
            r.PEF = 8.5f;
            add(kTestFvc, QString("%1 09:%2:00").arg(kDay).arg(10 + i), r,
                forcedManoeuvre(r.FVC, r.PEF));
        }
        ManeuverResult vc;
        vc.VC = 4.3f;
        add(kTestVc, QString("%1 10:00:00").arg(kDay), vc, breathing(8, 0.6, 4.0));
        ManeuverResult mvv;
        mvv.MVV = 120.0f;
        add(kTestMvv, QString("%1 10:30:00").arg(kDay), mvv, breathing(15, 1.5, 1.0));
        DiagnosisRecord diagnosis;
        diagnosis.Physician = "Dr. Bench";
        diagnosis.Result = "Normal ventilatory function.";
        SaveDiagnosis(DiagnosisFile(AppPaths::PatientCaseFolder(m_id), kDay), diagnosis);
    }

    Database& db() { return m_db; }
    int id() const { return m_id; }
    QString path(const QString& name) const { return m_dir.path() + '/' + name; }
    static constexpr const char* kDay = "2026-08-01";

  private:
    void add(int type, const QString& time, ManeuverResult record, const PulseStream& samples)
    {
        const QString folder = AppPaths::PatientCaseFolder(m_id);
        const QString name = QString("%1.dt").arg(NextTestNumber(folder));
        SaveContext context;
        context.testType = type;
        context.expCoefficient = 156;
        context.inspCoefficient = 145;
        if (type == kTestFvc) {
            for (const PulseSample& s : samples)
                record.ExpCount += s.direction;
            record.InspCount = int(samples.size()) - record.ExpCount;
        }
        const QByteArray trailer(type == kTestFvc  ? kAcceptanceSize
                                 : type == kTestVc ? kTidalSummarySize
                                                   : 0,
                                 '\1');
        QFile file(folder + '/' + name);
        file.open(QIODevice::WriteOnly);
        file.write(BuildTestFile(MakeHeader(context, name, time), record, samples.data(),
                                 int(samples.size()), trailer));
        file.close();
        RegisterTest(m_db, m_id, name, time, record, type);
    }

    QTemporaryDir m_dir;
    Database m_db;
    int m_id = 0;
};

void BM_WriteThreePageReportPdf(benchmark::State& state)
{
    BenchHome home(3);
    ReportData data;
    LoadReportData(home.db(), home.id(), BenchHome::kDay, data);
    PdfPrinterSettings settings;
    settings.SetOutput(home.path("report.pdf"));
    if (ReportPageCount(data) != 3)
        state.SkipWithError("the day does not make three pages");
    for (auto _ : state) {
        QString error;
        if (!WriteReportPdf(data, settings, &error))
            state.SkipWithError(qPrintable(error));
    }
    state.counters["bytes"] = double(QFile(settings.output).size());
}
BENCHMARK(BM_WriteThreePageReportPdf)->Unit(benchmark::kMillisecond);

void BM_LoadAndWriteThreePageReportPdf(benchmark::State& state)
{
    BenchHome home(3);
    PdfPrinterSettings settings;
    settings.SetOutput(home.path("report.pdf"));
    for (auto _ : state) {
        ReportData data;
        LoadReportData(home.db(), home.id(), BenchHome::kDay, data);
        WriteReportPdf(data, settings);
    }
}
BENCHMARK(BM_LoadAndWriteThreePageReportPdf)->Unit(benchmark::kMillisecond);

// Breaths of 2 s, half out and half in, as a turbine reports them: flows
// rise and fall like a sine, about two slots per pulse.
void fillBreaths(CurvePointList& list, int count)
{
    for (int i = 0; i < count; ++i) {
        const double phase = double(i % 500) / 500.0;
        const float flow =
            float(3.0 * std::sin(3.14159265 * (phase < 0.5 ? 2 * phase : 2 * phase - 1)));
        list.Append({flow, 1 + i % 3, phase < 0.5 ? 1 : 0});
    }
}

// One live repaint of a full list: geometry under the lock, then the strokes.
void BM_LiveRepaint65000Points(benchmark::State& state)
{
    const int kind = int(state.range(0));
    CurvePointList list;
    fillBreaths(list, 65000);
    QImage image(800, 400, QImage::Format_ARGB32_Premultiplied);
    CurvePlot plot(kind);
    for (auto _ : state) {
        QPainter painter(&image);
        plot.DrawLive(painter, QRectF(0, 0, 800, 400), list);
    }
}
BENCHMARK(BM_LiveRepaint65000Points)
    ->Arg(kCurveLiveFlowVolume)
    ->Arg(kCurveLiveMvvVolumeTime)
    ->Unit(benchmark::kMillisecond);

// The same repaint with an empty list: grid, axes and labels alone, the floor
// under every live repaint.
void BM_LiveRepaintEmptyList(benchmark::State& state)
{
    CurvePointList list;
    QImage image(800, 400, QImage::Format_ARGB32_Premultiplied);
    CurvePlot plot(int(state.range(0)));
    for (auto _ : state) {
        QPainter painter(&image);
        plot.DrawLive(painter, QRectF(0, 0, 800, 400), list);
    }
}
BENCHMARK(BM_LiveRepaintEmptyList)
    ->Arg(kCurveLiveFlowVolume)
    ->Arg(kCurveLiveMvvVolumeTime)
    ->Unit(benchmark::kMillisecond);

// The main page's three panes (FVC, VC, MVV) of a day with 8 FVC tests, files already read.
void BM_ThreeStoredPanesOfABusyDay(benchmark::State& state)
{
    BenchHome home(8);
    ReportData data;
    LoadReportData(home.db(), home.id(), BenchHome::kDay, data);
    QImage image(1200, 350, QImage::Format_ARGB32_Premultiplied);
    StoredPlotOptions options;
    options.predicted = &data.result.predicted;
    for (auto _ : state) {
        QPainter painter(&image);
        CurvePlot(kCurveFvcResult).DrawStored(painter, QRectF(0, 0, 400, 350), data.fvc(), options);
        CurvePlot(kCurveVcResult).DrawStored(painter, QRectF(400, 0, 400, 350), data.vc(), options);
        CurvePlot(kCurveMvvResult).DrawStored(painter, QRectF(800, 0, 400, 350), data.mvv(), options);
    }
}
BENCHMARK(BM_ThreeStoredPanesOfABusyDay)->Unit(benchmark::kMillisecond);

// One tick of the live test page's 10 ms timer: the plot widget's whole paint
// (background, geometry under the plot lock, strokes) with 65,000 points.
void BM_LivePlotWidgetRepaint65000Points(benchmark::State& state)
{
    CurvePointList list;
    fillBreaths(list, 65000);
    CurvePlotWidget plot(int(state.range(0)));
    plot.SetPointList(&list);
    plot.resize(800, 400);
    QImage image(800, 400, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state)
        plot.render(&image); // the widget's own paintEvent, as a timer tick runs it
}
BENCHMARK(BM_LivePlotWidgetRepaint65000Points)
    ->Arg(kCurveLiveFlowVolume)
    ->Arg(kCurveLiveMvvVolumeTime)
    ->Unit(benchmark::kMillisecond);

// The patient list page's three panes repainting a day of 8 FVC tests (and a VC
// and an MVV test); the files are read when the day is chosen, not per paint.
void BM_MainPagePanesRepaint(benchmark::State& state)
{
    BenchHome home(8);
    QWidget page;
    auto* layout = new QHBoxLayout(&page);
    CurvePane* panes[3];
    for (int type = 0; type < 3; ++type) {
        panes[type] = new CurvePane(type, &page);
        layout->addWidget(panes[type]);
        panes[type]->SetTestCount(1);
        panes[type]->LoadDay(home.db(), home.id(), BenchHome::kDay);
    }
    page.resize(1200, 350);
    QImage image(1200, 350, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state)
        page.render(&image); // every pane's paintEvent
}
BENCHMARK(BM_MainPagePanesRepaint)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
