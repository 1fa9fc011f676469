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
        // The reference: the same frame, each trace (an FVC plot has one per
        // blow, up to the session's eight) with every vertex.
        CurveGeometry reference = plot.LiveGeometry(rect, points.data(), int(points.size()));
        std::vector<QPointF> trace;
        std::vector<int> starts;
        CurveTrace(plot.View(), points.data(), int(points.size()), trace, &starts);
        // The newest blows have a trace each, the older ones share the first.
        ASSERT_LE(reference.traces.size(), starts.size());
        starts.erase(starts.begin(), starts.end() - reference.traces.size());
        starts[0] = 0;
        starts.push_back(int(trace.size()) - 1);
        int thinned = 0;
        for (size_t t = 0; t + 1 < starts.size(); ++t) {
            thinned += reference.traces[t].pointCount;
            QPainterPath whole(reference.Map(trace[starts[t]].x(), trace[starts[t]].y()));
            for (int i = starts[t]; i <= starts[t + 1]; ++i)
                whole.lineTo(reference.Map(trace[i].x(), trace[i].y()));
            reference.traces[t].path = whole;
        }
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
    // One blow and the same blow again, then a deeper one: each is its own
    // loop in its own colour, thinned to the pixels it reaches.
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
    ASSERT_EQ(g.traces.size(), 3u);
    EXPECT_NE(g.traces[0].color, g.traces[1].color);
    // The top of the deepest blow (flow 3 L/s) is reached.
    EXPECT_NEAR(g.traces[2].path.boundingRect().top(), g.Map(0, 3.0).y(), 1.5);
    // The same blow again costs what it cost alone.
    const int one = plot.LiveGeometry(rect, points.data(), 400).traces[0].pointCount;
    EXPECT_LT(one, 400 / 2);
    EXPECT_LE(std::abs(g.traces[1].pointCount - one), 2);
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
