// Drawing from file data: the curves of a stored test and the trend chart
// and page of its values, whatever numbers the file holds.
#include "core/measure/test_file_reader.h"
#include "core/report/curve_plot.h"
#include "core/report/trend_series.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz_curves";
        static char* argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    TestFile file;
    if (!ParseTestFile(bytes, file))
        return 0;
    if (file.samples.size() <= 20000) { // the replay is linear; keep runs quick
        const std::vector<CurvePoint> points = ReplayTest(file.header, file.samples);
        for (CurveView view : {CurveView::FlowVolume, CurveView::VolumeTime})
            CurveTrace(view, points);
    }
    // Two trend points holding the file's own numbers, whatever they are (the
    // day-result model sets damaged records aside; the chart must hold anyway).
    const ManeuverResult& r = file.record;
    TrendTest test;
    test.dataName = "1.dt";
    test.time = QDateTime::fromString(QString::fromLatin1(file.header.testTime, int(qstrnlen(file.header.testTime, 32))),
                                      "yyyy-MM-dd HH:mm:ss");
    test.measured = {r.PEF, r.FEV1, r.FVC, r.FEF25, r.FEF2575, r.FEF75};
    test.predicted = test.measured;
    test.z = {r.FVC, r.FEV1, r.PEF, r.FEF25, r.FEF75, r.FEF2575};
    std::vector<TrendTest> tests = {test, test};
    tests[1].time = tests[0].time.addDays(1);
    QImage image(210, 297, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int parameter = 0; parameter < kTrendParameterCount; ++parameter) {
        const TrendSeries series = MakeTrendSeries(tests, parameter);
        const TrendChart chart = BuildTrendChart(series, QRectF(0, 0, 200, 150), 8);
        if (chart.labels.size() > 200)
            std::abort(); // the axis stays bounded whatever the file holds
        PaintTrendChart(painter, chart, parameter);
    }
    TrendReport report;
    report.series = MakeTrendSeries(tests, kTrendFvc);
    PaintTrendPage(painter, QRectF(0, 0, 210, 297), report);
    return 0;
}
