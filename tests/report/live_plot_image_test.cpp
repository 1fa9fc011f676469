// The live plot draws only what the pixels can show, and the picture stays
// the one every vertex would give: the painted image is compared with an
// image of the whole, unthinned trace, pixel by pixel within one pixel.
#include "core/report/curve_plot.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Breaths of varying depth and pace, as a long MVV or a restless FVC gives them.
void fillBreaths(CurvePointList& list, int count)
{
    int i = 0;
    for (int breath = 0; i < count; ++breath) {
        const int length = 380 + (breath * 37) % 240;
        const double depth = 2.2 + 0.9 * std::sin(breath * 0.7);
        for (int k = 0; k < length && i < count; ++k, ++i) {
            const double phase = double(k) / length;
            const double flow =
                depth * std::sin(3.14159265 * (phase < 0.5 ? 2 * phase : 2 * phase - 1));
            list.Append({float(flow), 1 + i % 3, phase < 0.5 ? 1 : 0});
        }
    }
}

bool inked(QRgb c)
{
    return std::min({qRed(c), qGreen(c), qBlue(c)}) < 200; // the grid (216) is not ink
}

// Ink of `a` that has no ink of `b` within one pixel, as a share of a's ink.
double unmatchedInk(const QImage& a, const QImage& b, const QRect& area, QImage* marks = nullptr)
{
    int ink = 0, unmatched = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (!inked(a.pixel(x, y)))
                continue;
            ++ink;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = b.rect().contains(x + dx, y + dy) && inked(b.pixel(x + dx, y + dy));
            unmatched += near ? 0 : 1;
            if (marks)
                marks->setPixel(x, y, near ? qRgb(0, 0, 0) : qRgb(255, 0, 0));
        }
    }
    return ink ? double(unmatched) / ink : 1.0;
}

QImage blank()
{
    QImage image(800, 400, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

} // namespace

TEST(LivePlotImage, ThinnedTracesPaintTheSamePictureAsEveryVertex)
{
    CurvePointList list;
    fillBreaths(list, 65000);
    const std::vector<CurvePoint> points = list.Snapshot();
    for (int kind : {kCurveLiveFlowVolume, kCurveLiveFvcVolumeTime, kCurveLiveMvvVolumeTime}) {
        SCOPED_TRACE(kind);
        CurvePlot plot(kind);
        const QRectF rect(0, 0, 800, 400);
        QImage fast = blank();
        {
            QPainter painter(&fast);
            plot.DrawLive(painter, rect, list);
        }
        // The reference: the same frame, the trace with every vertex.
        CurveGeometry reference = plot.LiveGeometry(rect, points.data(), int(points.size()));
        ASSERT_EQ(reference.traces.size(), 1u);
        const int thinned = reference.traces[0].pointCount;
        const std::vector<QPointF> trace = CurveTrace(plot.View(), points);
        QPainterPath whole(reference.Map(trace[0].x(), trace[0].y()));
        for (const QPointF& p : trace)
            whole.lineTo(reference.Map(p.x(), p.y()));
        reference.traces[0].path = whole;
        QImage full = blank();
        {
            QPainter painter(&full);
            PaintCurveGeometry(painter, reference);
        }

        const QRect area = reference.area.toAlignedRect().adjusted(1, 1, -1, -1);
        if (qEnvironmentVariableIsSet("TAV_PLOT_IMAGES")) {
            fast.save(qEnvironmentVariable("TAV_PLOT_IMAGES") + QString("/fast_%1.png").arg(kind));
            full.save(qEnvironmentVariable("TAV_PLOT_IMAGES") + QString("/full_%1.png").arg(kind));
            QImage marks = blank();
            unmatchedInk(fast, full, area, &marks);
            marks.save(qEnvironmentVariable("TAV_PLOT_IMAGES") +
                       QString("/added_%1.png").arg(kind));
        }
        EXPECT_LT(unmatchedInk(full, fast, area), 0.002) << "ink lost";
        EXPECT_LT(unmatchedInk(fast, full, area), 0.002) << "ink added";
        // Far fewer vertices than points.
        EXPECT_LT(thinned, int(trace.size()) / 2);
    }
}

TEST(LivePlotImage, AStepOntoFreshPixelsIsAlwaysDrawn)
{
    // One breath out and the same breath again, then a deeper one: the
    // repeated breath may be left out, the deeper one never.
    std::vector<CurvePoint> points;
    for (double depth : {2.0, 2.0, 3.0}) {
        for (int k = 0; k < 400; ++k) {
            const double phase = k / 400.0;
            const double flow =
                depth * std::sin(3.14159265 * (phase < 0.5 ? 2 * phase : 2 * phase - 1));
            points.push_back({float(flow), 1, phase < 0.5 ? 1 : 0});
        }
    }
    CurvePlot plot(kCurveLiveFlowVolume);
    const QRectF rect(0, 0, 600, 300);
    const CurveGeometry g = plot.LiveGeometry(rect, points.data(), int(points.size()));
    ASSERT_EQ(g.traces.size(), 1u);
    const QRectF drawn = g.traces[0].path.boundingRect();
    // The top of the deepest breath (flow 3 L/s) is reached.
    EXPECT_NEAR(drawn.top(), g.Map(0, 3.0).y(), 1.5);
    const int one = plot.LiveGeometry(rect, points.data(), 400).traces[0].pointCount;
    const int two = plot.LiveGeometry(rect, points.data(), 800).traces[0].pointCount;
    EXPECT_LT(two, one + one / 4) << "the repeated breath costs little";
}

TEST(LivePlotImage, TheKeptFrameFollowsAScrolledView)
{
    // A plot that painted its first breaths keeps its frame; when the curve
    // runs past the right edge the frame's time labels must move with it.
    CurvePointList list;
    fillBreaths(list, 2000);
    CurvePlot kept(kCurveLiveMvvVolumeTime);
    const QRectF rect(0, 0, 800, 400);
    QImage image = blank();
    {
        QPainter painter(&image);
        kept.DrawLive(painter, rect, list);
    }
    const int stepsBefore = kept.ScrollSteps();
    fillBreaths(list, 60000);
    image = blank();
    {
        QPainter painter(&image);
        kept.DrawLive(painter, rect, list);
    }
    EXPECT_GT(kept.ScrollSteps(), stepsBefore);

    CurvePlot fresh(kCurveLiveMvvVolumeTime);
    QImage expected = blank();
    {
        QPainter painter(&expected);
        fresh.DrawLive(painter, rect, list);
    }
    ASSERT_EQ(fresh.ScrollSteps(), kept.ScrollSteps());
    EXPECT_EQ(image, expected);
}
