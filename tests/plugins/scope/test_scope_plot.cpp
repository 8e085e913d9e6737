#include "qwtscope.h"
#include "scope_test_app.h"
#include "scopecurvedata.h"
#include "scopecursors.h"
#include "scopedatatracker.h"
#include "scopereadout.h"

#include <qwt_plot_canvas.h>
#include <qwt_scale_div.h>
#include <qwt_scale_map.h>
#include <qwt_text.h>

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

namespace {

void quietDebug(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    // The tracker writes a debug line per mouse move; keep test logs readable.
    if (type != QtDebugMsg || qEnvironmentVariableIsSet("SCOPE_TEST_DEBUG"))
        fprintf(stderr, "%s\n", qPrintable(msg));
}

class ScopePlotTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        scopeTestApp();
        qInstallMessageHandler(quietDebug);
        plot = std::make_unique<QwtScope>();
        plot->resize(1100, 500);
        plot->show();
        QApplication::processEvents();
        plot->updateLayout();
    }
    void TearDown() override { plot.reset(); }

    QWidget* canvas() const { return plot->canvas(); }
    QwtScaleMap xMap() const
    {
        plot->updateAxes();
        return plot->canvasMap(QwtPlot::xBottom);
    }
    QwtScaleMap yMap() const
    {
        plot->updateAxes();
        return plot->canvasMap(QwtPlot::yLeft);
    }
    QPoint pixelOf(double x, double y) const { return QPoint(scopePixel(xMap(), x), scopePixel(yMap(), y)); }

    void move(const QPoint& pos)
    {
        QMouseEvent event(QEvent::MouseMove, pos, canvas()->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(canvas(), &event);
    }
    // The tracker starts when the mouse enters the canvas (which then gets
    // mouse tracking) and follows every later move.
    void hover(const QPoint& pos)
    {
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(canvas(), &enter);
        move(pos + QPoint(3, 3));
        move(pos);
    }

    void addCurve(int slot, const QString& title, const QString& unit, const QVector<double>& x,
                  const QVector<double>& y)
    {
        _ST_ScopeAxisInfo info;
        info.nIndex = 1 + slot;
        info.nSubIndex = slot;
        info.nCurve = slot;
        info.strUnit = unit;
        plot->setCurveInfo(slot, title, info);
        double lo = 0, hi = 0;
        plot->setCurveSamples(slot, x, y, lo, hi);
    }

    QString leftTitle() const { return plot->axisTitle(QwtPlot::yLeft).text(); }

    std::unique_ptr<QwtScope> plot;
};

// Scale requests take effect when the plot updates its axes.
double lower(QwtScope& p, int axis)
{
    p.updateAxes();
    return p.axisScaleDiv(axis).lowerBound();
}
double upper(QwtScope& p, int axis)
{
    p.updateAxes();
    return p.axisScaleDiv(axis).upperBound();
}

TEST_F(ScopePlotTest, StartsWithItsScalesTitlesAndFixedPens)
{
    EXPECT_EQ(lower(*plot, QwtPlot::xBottom), 0);
    EXPECT_EQ(upper(*plot, QwtPlot::xBottom), 10000);
    EXPECT_EQ(lower(*plot, QwtPlot::yLeft), -10);
    EXPECT_EQ(upper(*plot, QwtPlot::yLeft), 10);
    EXPECT_EQ(plot->timeSpan(), 10000);
    EXPECT_EQ(plot->axisTitle(QwtPlot::xBottom).text(), "time(ms)");
    EXPECT_EQ(leftTitle(), QString(12, ' '));
    EXPECT_TRUE(plot->attachedCurves().isEmpty());
    EXPECT_TRUE(plot->hasNoData());

    // A second plot gets other colours (the generator runs on), but every
    // pen is solid, 2 wide and opaque.
    for (int slot = 0; slot < QwtScope::kCurveSlots; ++slot) {
        const QPen pen = plot->curve(slot)->pen();
        EXPECT_EQ(pen.widthF(), 2.0);
        EXPECT_EQ(pen.style(), Qt::SolidLine);
        EXPECT_EQ(pen.color().alpha(), 255);
        EXPECT_LT(pen.color().red(), 255);
    }
    EXPECT_EQ(plot->curve(-1), nullptr);
    EXPECT_EQ(plot->curve(48), nullptr);
}

// Pens come from the unseeded generator, so every slot keeps its colour from
// run to run; a colour whose contrast against the canvas is below 3:1 (WCAG's
// bound for graphical objects such as a 2-pixel line) is darkened in its own
// hue until it reaches that bound, and every other colour is kept.
TEST_F(ScopePlotTest, PensFollowTheUnseededGeneratorAndAreReadable)
{
    // The contrast measure is WCAG's: black on white 21:1, #777777 on white 4.48:1.
    EXPECT_NEAR(scopeContrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(scopeContrastRatio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.005);

    // Replaying the generator from its unseeded start gives the colours the
    // first plot of a process receives.
    std::srand(1);
    QwtScope fresh;
    const QColor canvas = fresh.canvasBackground().color();
    EXPECT_EQ(canvas, QColor(250, 250, 250));
    std::srand(1);
    int lifted = 0;
    for (int slot = 0; slot < QwtScope::kCurveSlots; ++slot) {
        const int r = std::rand() % 255, g = std::rand() % 255, b = std::rand() % 255;
        const QColor drawn = QColor(r, g, b);
        const QColor pen = fresh.curve(slot)->pen().color();
        EXPECT_GE(scopeContrastRatio(pen, canvas), kScopeMinPenContrast) << slot;
        if (scopeContrastRatio(drawn, canvas) >= kScopeMinPenContrast) {
            EXPECT_EQ(pen, drawn) << slot;
            continue;
        }
        ++lifted;
        // Darker in every channel, by a common factor (the hue stays).
        EXPECT_LE(pen.red(), r) << slot;
        EXPECT_LE(pen.green(), g) << slot;
        EXPECT_LE(pen.blue(), b) << slot;
        const double factor = double(pen.red() + pen.green() + pen.blue()) / (r + g + b);
        EXPECT_NEAR(pen.red(), r * factor, 1.5) << slot;
        EXPECT_NEAR(pen.green(), g * factor, 1.5) << slot;
        EXPECT_NEAR(pen.blue(), b * factor, 1.5) << slot;
    }
    EXPECT_GT(lifted, 0) << "the generator draws near-white colours (slot 2), which must be lifted";
}

struct RangeStep
{
    double low, high;               // data of the call
    double expectMin, expectMax;    // axis afterwards
};

struct RangeCase
{
    const char* name;
    std::vector<RangeStep> steps;
};

class ScopeRangeTest : public ScopePlotTest, public ::testing::WithParamInterface<RangeCase>
{
};

TEST_P(ScopeRangeTest, YRangeWidensOutwardsToTens)
{
    for (const RangeStep& s : GetParam().steps) {
        QVector<double> x{0, 1, 2};
        QVector<double> y{s.low, (s.low + s.high) / 2, s.high};
        double minY = -1234, maxY = -1234;
        plot->setCurveSamples(0, x, y, minY, maxY);
        EXPECT_EQ(minY, s.low);
        EXPECT_EQ(maxY, s.high);
        EXPECT_EQ(plot->yMin(), s.expectMin);
        EXPECT_EQ(plot->yMax(), s.expectMax);
        EXPECT_EQ(lower(*plot, QwtPlot::yLeft), s.expectMin);
        EXPECT_EQ(upper(*plot, QwtPlot::yLeft), s.expectMax);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, ScopeRangeTest,
    ::testing::Values(RangeCase{"InsideKeepsTheAxis", {{-3, 3, -10, 10}}},
                      RangeCase{"EqualToTheEdgeKeepsTheAxis", {{-10, 10, -10, 10}}},
                      RangeCase{"AboveThenBelow", {{0, 10.5, -20, 20}, {-25, 0, -30, 30}}},
                      RangeCase{"MaximumMovesBothEnds", {{0, 37.2, -20, 40}}},
                      RangeCase{"NegativeMaximumAndFractions", {{-19.9, -0.5, -20, 20}}},
                      RangeCase{"OnlyWidens", {{-55, 55, -60, 60}, {-1, 1, -60, 60}, {0, 61, -70, 70}}},
                      RangeCase{"LargeValuesStayExact", {{-3.5e9, 4.2e9, -3.5e9 - 10, 4.2e9 + 10}}}),
    [](const ::testing::TestParamInfo<RangeCase>& info) { return std::string(info.param.name); });

TEST_F(ScopePlotTest, EmptyArraysAndBadSlotsAreIgnored)
{
    addCurve(0, "a", "u", {0, 1}, {1, 2});
    double minY = 99, maxY = 99;
    plot->setCurveSamples(0, {}, {5, 50}, minY, maxY);
    plot->setCurveSamples(0, {0, 1}, {}, minY, maxY);
    plot->setCurveSamples(48, {0, 1}, {500, 600}, minY, maxY);
    plot->setCurveSamples(-1, {0, 1}, {500, 600}, minY, maxY);
    EXPECT_EQ(minY, 99);
    EXPECT_EQ(maxY, 99);
    EXPECT_EQ(plot->curve(0)->dataSize(), 2u);
    EXPECT_EQ(plot->yMax(), 10);

    plot->setCurveInfo(48, "nope", _ST_ScopeAxisInfo());
    EXPECT_EQ(plot->attachedCurves().size(), 1);
    EXPECT_EQ(plot->curveInfo(48), _ST_ScopeAxisInfo());
    EXPECT_EQ(plot->curveInfo(-3), _ST_ScopeAxisInfo());
}

TEST_F(ScopePlotTest, ValuesThatAreNotNumbersDoNotMoveTheRange)
{
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    double minY = 0, maxY = 0;
    plot->setCurveSamples(0, {0, 1, 2, 3}, {nan, 4, inf, -inf}, minY, maxY);
    EXPECT_EQ(minY, 4);
    EXPECT_EQ(maxY, 4);
    EXPECT_EQ(plot->yMin(), -10);
    plot->setCurveSamples(1, {0, 1}, {nan, nan}, minY, maxY);
    EXPECT_EQ(minY, 0);
    EXPECT_EQ(maxY, 0);
    EXPECT_EQ(plot->yMax(), 10);
    plot->setCurveSamples(2, {0, 1}, {1e300, -1e300}, minY, maxY);
    EXPECT_EQ(maxY, 1e300);
    EXPECT_TRUE(std::isfinite(plot->yMax()));
    EXPECT_GT(plot->yMax(), 1e299);
    plot->replot();  // must not hang or crash with far-out pixels
}

TEST_F(ScopePlotTest, SamplesAreSharedNotCopied)
{
    QVector<double> x(1000), y(1000);
    for (int i = 0; i < 1000; ++i) {
        x[i] = i;
        y[i] = std::sin(i / 50.0);
    }
    double lo, hi;
    plot->setCurveSamples(0, x, y, lo, hi);
    plot->setCurveSamples(1, x, y, lo, hi);
    const ScopeCurveData* d0 = plot->curve(0)->scopeData();
    const ScopeCurveData* d1 = plot->curve(1)->scopeData();
    ASSERT_NE(d0, nullptr);
    EXPECT_EQ(d0->xData().constData(), x.constData());
    EXPECT_EQ(d1->xData().constData(), x.constData());
    EXPECT_EQ(d0->yData().constData(), y.constData());
    EXPECT_EQ(plot->curve(0)->sample(999), QPointF(999, y[999]));
}

TEST_F(ScopePlotTest, CurveInfoClearCurvesAndHasNoData)
{
    _ST_ScopeAxisInfo info;
    info.nIndex = 49;
    info.nSubIndex = 0;
    info.nCurve = 3;
    info.eLink = LINK_ActualACS;
    info.strUnit = "ACS(deg)";
    plot->setCurveInfo(3, "J1 Actual ACS", info);
    EXPECT_EQ(plot->curveInfo(3), info);
    EXPECT_EQ(plot->curve(3)->title().text(), "J1 Actual ACS");
    EXPECT_TRUE(plot->curve(3)->isVisible());
    EXPECT_TRUE(plot->hasNoData());  // attached but empty
    double lo, hi;
    plot->setCurveSamples(3, {0, 1}, {50, 60}, lo, hi);
    EXPECT_FALSE(plot->hasNoData());
    // Samples on a detached slot do not count.
    plot->setCurveSamples(7, {0}, {1}, lo, hi);

    plot->clearCurves();
    EXPECT_TRUE(plot->hasNoData());
    EXPECT_TRUE(plot->attachedCurves().isEmpty());
    EXPECT_EQ(plot->curveInfo(3), _ST_ScopeAxisInfo());
    EXPECT_EQ(plot->curve(3)->dataSize(), 0u);
    EXPECT_FALSE(plot->curve(3)->isVisible());
    EXPECT_EQ(plot->yMin(), -10);
    EXPECT_EQ(plot->yMax(), 10);
}

TEST_F(ScopePlotTest, AxesAndUnitTitle)
{
    plot->setXAxis(0, 500, 50);
    EXPECT_EQ(plot->timeSpan(), 500);
    EXPECT_EQ(upper(*plot, QwtPlot::xBottom), 500);
    plot->setYAxis(-8, 8);
    plot->updateAxes();
    const QList<double> ticks = plot->axisScaleDiv(QwtPlot::yLeft).ticks(QwtScaleDiv::MajorTick);
    EXPECT_EQ(ticks, (QList<double>{-8, -4, 0, 4, 8}));

    const struct
    {
        const char* unit;
        const char* title;
    } units[] = {{"ms", "ms          "}, {"", "            "}, {"W(Vol*Cur)", "W(Vol*Cur)  "},
                 {"VERY-LONG-UNIT-TEXT", "VERY-LONG-UN"}};
    for (const auto& u : units) {
        _ST_ScopeAxisInfo info;
        info.nSubIndex = 0;
        info.strUnit = u.unit;
        plot->setCurveInfo(5, "c", info);
        plot->setUnitTitle(5);
        EXPECT_EQ(leftTitle(), u.title);
    }
    plot->setUnitTitle(48);
    EXPECT_EQ(leftTitle(), "VERY-LONG-UN");
}

QPolygon poly(std::initializer_list<QPoint> points)
{
    QPolygon polygon;
    for (const QPoint& p : points)
        polygon << p;
    return polygon;
}

struct ZoomCase
{
    QPolygon polygon;
    bool accepted;
    QSize size;  // of the accepted rectangle (QRect semantics)
};

TEST_F(ScopePlotTest, ZoomerAcceptsOnlyLargeEnoughSelections)
{
    const ZoomCase cases[] = {
        {poly({QPoint(100, 100), QPoint(124, 299)}), true, QSize(25, 200)},
        {poly({QPoint(100, 100), QPoint(124, 124)}), false, {}},
        {poly({QPoint(100, 100), QPoint(130, 104)}), true, QSize(31, 11)},
        {poly({QPoint(130, 104), QPoint(100, 100)}), true, QSize(31, 11)},  // dragged backwards
        {poly({QPoint(10, 10), QPoint(39, 38)}), true, QSize(30, 29)},     // 30 wide is enough
        {poly({QPoint(10, 10), QPoint(38, 38)}), false, {}},               // 29 x 29
        {poly({QPoint(10, 10), QPoint(300, 10), QPoint(12, 12)}), false, {}},  // first to last
        {poly({QPoint(10, 10)}), false, {}},
        {QPolygon(), false, {}},
    };
    for (const ZoomCase& c : cases) {
        QPolygon polygon = c.polygon;
        const QRect before = polygon.size() >= 2 ? QRect(polygon.first(), polygon.last()).normalized() : QRect();
        ASSERT_EQ(plot->zoomer()->accept(polygon), c.accepted) << before.width() << "x" << before.height();
        if (!c.accepted)
            continue;
        ASSERT_EQ(polygon.size(), 2);
        const QRect after(polygon[0], polygon[1]);
        EXPECT_EQ(after.size(), c.size);
        EXPECT_EQ(after.center(), before.center());
    }
}

TEST_F(ScopePlotTest, ZoomBaseRestoresTheRememberedScales)
{
    plot->setXAxis(0, 2000, 200);
    plot->setYAxis(-40, 40);
    plot->zoomer()->zoom(QRectF(100, -5, 300, 10));
    ASSERT_EQ(plot->zoomer()->zoomRectIndex(), 1u);
    EXPECT_NEAR(lower(*plot, QwtPlot::xBottom), 100, 1e-9);
    EXPECT_NEAR(upper(*plot, QwtPlot::xBottom), 400, 1e-9);

    // Zooming deeper and refreshing keeps the zoomed axes.
    plot->zoomer()->zoom(QRectF(150, -2, 100, 4));
    plot->refreshZoom();
    EXPECT_NEAR(upper(*plot, QwtPlot::xBottom), 250, 1e-9);

    plot->resetZoom();
    EXPECT_EQ(plot->zoomer()->zoomRectIndex(), 0u);
    EXPECT_EQ(lower(*plot, QwtPlot::xBottom), 0);
    EXPECT_EQ(upper(*plot, QwtPlot::xBottom), 2000);
    EXPECT_EQ(lower(*plot, QwtPlot::yLeft), -40);
    EXPECT_EQ(upper(*plot, QwtPlot::yLeft), 40);
    plot->updateAxes();
    EXPECT_EQ(plot->axisScaleDiv(QwtPlot::xBottom).ticks(QwtScaleDiv::MajorTick).size(), 11);

    // Stepping back out one level also lands on the remembered scales, even
    // after the Y range widened meanwhile.
    plot->zoomer()->zoom(QRectF(100, -5, 300, 10));
    double lo, hi;
    plot->setCurveSamples(0, {0, 1}, {0, 95}, lo, hi);
    plot->zoomer()->zoom(-1);
    EXPECT_EQ(upper(*plot, QwtPlot::yLeft), 100);
    EXPECT_EQ(lower(*plot, QwtPlot::yLeft), -50);
}

TEST_F(ScopePlotTest, TrackerShowsTheFirstSampleWithItsTitleAndValues)
{
    plot->setXAxis(0, 100, 10);
    addCurve(0, "J1 Target ACS", "ACS(deg)", {0, 50, 100}, {1.5, -2.25, 3});
    plot->replot();
    hover(pixelOf(0, 1.5) + QPoint(2, 1));

    ScopeDataTracker* tracker = plot->tracker();
    ASSERT_TRUE(tracker->hasValidHit());
    EXPECT_EQ(tracker->closestPoint().curve, plot->curve(0));
    EXPECT_EQ(tracker->closestPoint().index, 0);
    EXPECT_DOUBLE_EQ(tracker->closestPoint().distance, std::sqrt(5.0));

    const QwtText text = tracker->hitText();
    EXPECT_EQ(text.text(),
              "<p align=\"left\"><font color=\"#45fc10\" size=\"6\">&nbsp;J1 Target ACS</font><br>"
              "<font color=\"#45fc10\" size=\"6\">&nbsp;&nbsp;x:0</font><br>"
              "<font color=\"#45fc10\" size=\"6\">&nbsp;&nbsp;y:1.500</font></p>");
    EXPECT_EQ(text.color(), QColor(Qt::black));
    EXPECT_EQ(text.borderPen().color(), QColor(15, 76, 117));
    EXPECT_EQ(text.borderPen().width(), 2);
    EXPECT_EQ(text.backgroundBrush().color(), QColor(0, 31, 51, 100));
    EXPECT_EQ(text.borderRadius(), 5.0);
    EXPECT_EQ(leftTitle(), "ACS(deg)    ");
    // The marker takes the curve's colour, one pixel wide.
    EXPECT_EQ(tracker->rubberBandPen().color(), plot->curve(0)->pen().color());
    EXPECT_EQ(tracker->rubberBandPen().width(), 1);

    // The box sits grown by 5 and shifted 20 right, 10 up from Qwt's place
    // beside the cursor; without a hit there is none.
    const QRect base = tracker->QwtPicker::trackerRect(QFont());
    const QRect box = static_cast<QwtPicker*>(tracker)->trackerRect(QFont());
    ASSERT_FALSE(base.isEmpty());
    EXPECT_EQ(box, base.adjusted(-5, -5, 5, 5).translated(20, -10));

    // x keeps six significant digits, y three decimals.
    hover(pixelOf(50, -2.25));
    EXPECT_TRUE(tracker->hitText().text().contains("x:50</font>"));
    EXPECT_TRUE(tracker->hitText().text().contains("y:-2.250</font>"));
}

TEST_F(ScopePlotTest, TiesGoToTheLowerIndexAndTheEarlierCurve)
{
    plot->setXAxis(0, 100, 10);
    // Two samples of one curve at the same height, ten pixel columns apart:
    // the cursor halfway is equally near to both.
    const QwtScaleMap map = xMap();
    const QVector<double> x{map.invTransform(300), map.invTransform(400), map.invTransform(410),
                            map.invTransform(500)};
    addCurve(0, "one", "u1", x, {0, 0, 0, 0});
    plot->replot();
    const QPoint a = pixelOf(x[1], 0), b = pixelOf(x[2], 0);
    ASSERT_EQ(a.x(), 400);
    ASSERT_EQ(b.x(), 410);
    hover(QPoint(405, a.y() - 7));
    EXPECT_EQ(plot->tracker()->closestPoint().index, 1);

    // A second curve (attached later) with a sample on the same pixel as the
    // first one's: the earlier curve keeps the hit.
    addCurve(1, "two", "u2", {x[1]}, {0});
    hover(a + QPoint(0, 4));
    EXPECT_EQ(plot->tracker()->closestPoint().curve, plot->curve(0));
    EXPECT_EQ(plot->tracker()->closestPoint().index, 1);

    // Strictly nearer on the later curve wins.
    addCurve(2, "three", "u3", {x[1]}, {0.5});
    hover(pixelOf(x[1], 0.5));
    EXPECT_EQ(plot->tracker()->closestPoint().curve, plot->curve(2));
    EXPECT_EQ(leftTitle(), "u3          ");
}

TEST_F(ScopePlotTest, UnitTitleSwitchesOnlyWhenTheHitCurveChanges)
{
    plot->setXAxis(0, 100, 10);
    QVector<double> x{0, 25, 50, 75, 100};
    addCurve(0, "low", "CUR(A)", x, {-5, -5, -5, -5, -5});
    addCurve(1, "high", "TQR(N)", x, {5, 5, 5, 5, 5});
    plot->replot();

    hover(pixelOf(25, -5));
    EXPECT_EQ(leftTitle(), "CUR(A)      ");
    hover(pixelOf(25, 5));
    EXPECT_EQ(leftTitle(), "TQR(N)      ");
    hover(pixelOf(75, -4));
    EXPECT_EQ(leftTitle(), "CUR(A)      ");

    // Along the same curve the title is not rewritten.
    plot->setAxisTitle(QwtPlot::yLeft, "marker");
    move(pixelOf(100, -5));
    move(pixelOf(0, -5));
    EXPECT_EQ(plot->tracker()->closestPoint().index, 0);
    EXPECT_EQ(leftTitle(), "marker");
}

TEST_F(ScopePlotTest, HiddenCurvesAreSkippedAndDetachingClearsTheHit)
{
    plot->setXAxis(0, 100, 10);
    addCurve(0, "a", "ua", {0, 50, 100}, {0, 0, 0});
    addCurve(1, "b", "ub", {0, 50, 100}, {8, 8, 8});
    plot->replot();
    plot->curve(0)->setVisible(false);
    hover(pixelOf(50, 0));
    EXPECT_EQ(plot->tracker()->closestPoint().curve, plot->curve(1));

    plot->curve(1)->detach();
    EXPECT_FALSE(plot->tracker()->hasValidHit());
    EXPECT_TRUE(plot->tracker()->hitText().isEmpty());
    EXPECT_TRUE(static_cast<QwtPicker*>(plot->tracker())->trackerRect(QFont()).isEmpty());

    plot->curve(0)->setVisible(true);
    hover(pixelOf(50, 0));
    EXPECT_EQ(plot->tracker()->closestPoint().curve, plot->curve(0));
    plot->clearCurves();
    EXPECT_EQ(plot->tracker()->closestPoint().curve, nullptr);
    EXPECT_EQ(plot->tracker()->closestPoint().index, -1);
    EXPECT_TRUE(plot->tracker()->hitText().isEmpty());

    // Without curves a move changes nothing; with only hidden ones it clears.
    hover(pixelOf(50, 0));
    EXPECT_FALSE(plot->tracker()->hasValidHit());
}

TEST_F(ScopePlotTest, ClicksDoNotStopTracking)
{
    plot->setXAxis(0, 100, 10);
    addCurve(0, "a", "ua", {0, 50, 100}, {0, 0, 0});
    plot->replot();
    hover(pixelOf(50, 0));
    ASSERT_TRUE(plot->tracker()->isActive());
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const QPoint pos = pixelOf(50, 0);
        QMouseEvent event(type, pos, canvas()->mapToGlobal(pos), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(canvas(), &event);
    }
    EXPECT_TRUE(plot->tracker()->isActive());
    move(pixelOf(100, 0));
    EXPECT_EQ(plot->tracker()->closestPoint().index, 2);
}

// The straightforward search the tracker must agree with.
NearestSample bruteForce(const QwtSeriesData<QPointF>& data, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                         const QPoint& pos)
{
    NearestSample best;
    for (size_t i = 0; i < data.size(); ++i) {
        const QPointF s = data.sample(i);
        if (!std::isfinite(s.x()) || !std::isfinite(s.y()))
            continue;
        const qint64 dx = scopePixel(xMap, s.x()) - pos.x();
        const qint64 dy = scopePixel(yMap, s.y()) - pos.y();
        if (dx * dx + dy * dy < best.distance2) {
            best.distance2 = dx * dx + dy * dy;
            best.index = static_cast<int>(i);
        }
    }
    return best;
}

TEST(ScopeNearestSample, AgreesWithTheFullSearchOnRandomCurves)
{
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int round = 0; round < 300; ++round) {
        const int n = 1 + static_cast<int>(unit(rng) * (round % 3 == 0 ? 20 : 5000));
        QVector<double> x(n), y(n);
        double t = unit(rng) * 10;
        for (int i = 0; i < n; ++i) {
            // Repeated x values, steps and the odd NaN, as real data has.
            t += unit(rng) < 0.2 ? 0.0 : unit(rng);
            x[i] = t;
            y[i] = unit(rng) < 0.01 ? std::nan("") : std::sin(i * 0.05) * 10 + unit(rng) * (round % 7);
        }
        if (round % 11 == 0 && n > 2)
            std::swap(x[0], x[n - 1]);  // unsorted
        const ScopeCurveData data(x, y);
        QwtScaleMap xMap, yMap;
        xMap.setPaintInterval(0, 1100);
        yMap.setPaintInterval(500, 0);
        const double span = (round % 4 == 0) ? t / 20 : t;  // sometimes zoomed in
        const double from = unit(rng) * (t - span);
        xMap.setScaleInterval(from, from + span);
        yMap.setScaleInterval(-12 - round % 5, 12 + round % 3);
        for (int probe = 0; probe < 20; ++probe) {
            const QPoint pos(static_cast<int>(unit(rng) * 1300) - 100, static_cast<int>(unit(rng) * 700) - 100);
            const NearestSample fast = findNearestSample(data, xMap, yMap, pos);
            const NearestSample full = bruteForce(data, xMap, yMap, pos);
            ASSERT_EQ(fast.index, full.index) << "round " << round << " probe " << probe;
            ASSERT_EQ(fast.distance2, full.distance2);
            // With a bound no worse result comes back.
            const NearestSample bounded = findNearestSample(data, xMap, yMap, pos, full.distance2);
            ASSERT_EQ(bounded.index, -1);
        }
    }
}

TEST(ScopeNearestSample, EmptyAndAllNanCurvesHaveNoHit)
{
    QwtScaleMap map;
    map.setPaintInterval(0, 100);
    map.setScaleInterval(0, 100);
    EXPECT_EQ(findNearestSample(ScopeCurveData(), map, map, QPoint(1, 1)).index, -1);
    EXPECT_EQ(findNearestSample(ScopeCurveData({1, 2}, {std::nan(""), std::nan("")}), map, map, QPoint(1, 1)).index,
              -1);
}

TEST(ScopeCurveSketch, EveryColumnSpanCoversAllItsSamples)
{
    const int n = 1000000;
    QVector<double> x(n), y(n);
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, 1.0);
    double t = 0;
    for (int i = 0; i < n; ++i) {
        t += (i > 400000 && i < 400010) ? 50000.0 : 1.0;  // a gap in time
        x[i] = t;
        y[i] = std::sin(i * 0.001) + noise(rng) * 0.1;
    }
    y[654321] = 50;   // single-sample spike up
    y[123457] = -40;  // and down
    y[777] = std::nan("");
    const ScopeCurveData data(x, y);
    QwtScaleMap xMap, yMap;
    xMap.setPaintInterval(0, 1000);
    xMap.setScaleInterval(0, t);
    yMap.setPaintInterval(500, 0);
    yMap.setScaleInterval(-60, 60);
    const ScopeCurveSketch sketch = scopeCurveSketch(data, xMap, yMap, 0, n - 1);
    EXPECT_TRUE(sketch.line.isEmpty());
    EXPECT_LE(sketch.spans.size(), 1001);
    EXPECT_GE(sketch.spans.size(), 600);  // the gap leaves about 300 columns empty
    EXPECT_GE(sketch.links.size(), 1);  // across the empty columns of the gap

    // Every finite sample lies inside the span of its pixel column.
    QHash<int, QRectF> byColumn;
    for (const QRectF& span : sketch.spans) {
        EXPECT_FALSE(byColumn.contains(int(span.x()))) << "two spans for column " << span.x();
        byColumn.insert(int(span.x()), span);
    }
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(y[i]))
            continue;
        const double px = xMap.transform(x[i]), py = yMap.transform(y[i]);
        const QRectF span = byColumn.value(int(std::floor(px)));
        ASSERT_FALSE(span.isNull()) << i;
        ASSERT_LE(span.top(), py) << i;
        ASSERT_GE(span.bottom(), py) << i;
    }
    double top = 1e9, bottom = -1e9;
    for (const QRectF& span : sketch.spans) {
        top = std::min(top, span.top());
        bottom = std::max(bottom, span.bottom());
    }
    EXPECT_DOUBLE_EQ(top, yMap.transform(50));
    EXPECT_DOUBLE_EQ(bottom, yMap.transform(-40));

    // Zoomed in to one sample per column or fewer, the line runs through
    // every visible sample plus one neighbour on each side.
    xMap.setScaleInterval(1000, 1100);
    const ScopeCurveSketch zoomed = scopeCurveSketch(data, xMap, yMap, 0, n - 1);
    EXPECT_TRUE(zoomed.spans.isEmpty());
    ASSERT_EQ(zoomed.line.size(), 103);
    EXPECT_DOUBLE_EQ(zoomed.line.first().x(), xMap.transform(999));
    EXPECT_DOUBLE_EQ(zoomed.line.last().x(), xMap.transform(1101));

    // Unsorted x is drawn sample by sample.
    const ScopeCurveData shuffled({3, 1, 2}, {1, 2, 3});
    xMap.setScaleInterval(0, 4);
    EXPECT_EQ(scopeCurveSketch(shuffled, xMap, yMap, 0, 2).line.size(), 3);
}

TEST_F(ScopePlotTest, DrawnSpikeAmongAMillionSamplesReachesItsHeight)
{
    const int n = 1000000;
    QVector<double> x(n), y(n);
    for (int i = 0; i < n; ++i) {
        x[i] = i * 0.01;  // 10,000 ms
        y[i] = 0.5 * std::sin(i * 0.0005);
    }
    const int spike = 537113;
    y[spike] = 8.0;
    addCurve(0, "spike", "u", x, y);
    plot->curve(0)->setPen(QPen(QColor(255, 0, 0), 2.0));
    plot->replot();

    QImage image = canvas()->grab().toImage();
    ASSERT_FALSE(image.isNull());
    const int column = scopePixel(xMap(), x[spike]);
    const int spikeRow = scopePixel(yMap(), 8.0);
    const int baseRow = scopePixel(yMap(), 0.5);
    auto red = [&](int cx, int cy) {
        const QColor c = image.pixelColor(cx, cy);
        return c.red() > 200 && c.green() < 80 && c.blue() < 80;
    };
    int topmost = image.height();
    for (int cx = column - 2; cx <= column + 2; ++cx)
        for (int cy = 0; cy < image.height(); ++cy)
            if (red(cx, cy))
                topmost = std::min(topmost, cy);
    EXPECT_LE(topmost, spikeRow + 2);
    EXPECT_GE(topmost, spikeRow - 3);
    // Away from the spike the curve stays near its base line.
    int elsewhere = image.height();
    for (int cy = 0; cy < image.height(); ++cy)
        if (red(column + 60, cy))
            elsewhere = std::min(elsewhere, cy);
    EXPECT_GE(elsewhere, baseRow - 3);
}

TEST_F(ScopePlotTest, RendersCurvesGridAndTrackerBox)
{
    QVector<double> x(2000);
    for (int i = 0; i < x.size(); ++i)
        x[i] = i * 5.0;
    const char* units[] = {"ACS(deg)", "CUR(A)", "TQR(N)"};
    for (int c = 0; c < 3; ++c) {
        QVector<double> y(x.size());
        for (int i = 0; i < y.size(); ++i)
            y[i] = (6 - 3 * c) * std::sin(i * 0.004 * (c + 1)) + c;
        addCurve(c, QStringLiteral("J%1 Actual").arg(c + 1), units[c], x, y);
    }
    plot->replot();
    hover(pixelOf(x[700], 6 * std::sin(700 * 0.004)));
    ASSERT_TRUE(plot->tracker()->hasValidHit());
    QApplication::processEvents();

    const QImage image = plot->grab().toImage();
    const QByteArray dir = qgetenv("SCOPE_SNAPSHOT_DIR");
    if (!dir.isEmpty())
        image.save(QString::fromLocal8Bit(dir) + "/scope_plot.png");

    // The canvas background and every curve's colour are on screen.
    const QPoint origin = canvas()->mapTo(plot.get(), QPoint(0, 0));
    EXPECT_EQ(image.pixelColor(origin + QPoint(canvas()->width() - 3, 3)), QColor(250, 250, 250));
    for (int c = 0; c < 3; ++c) {
        const QColor colour = plot->curve(c)->pen().color();
        bool found = false;
        for (int py = 0; py < image.height() && !found; ++py)
            for (int px = 0; px < image.width() && !found; ++px)
                found = image.pixelColor(px, py) == colour;
        EXPECT_TRUE(found) << "curve " << c;
    }
}

} // namespace

// ---- curves read from the sample store's snapshots --------------------------

namespace {

// A series read from a store column whose first `skip` values were written
// and dropped again: the chunk summaries then also cover values that are no
// longer part of the series, which must never show in a range.
ScopeSeries columnSeries(const QVector<double>& values, int skip, double stale, double offset = 0.0)
{
    ScopeSampleColumn column;
    for (int i = 0; i < skip; ++i)
        column.push_back(stale);
    for (double v : values)
        column.push_back(v);
    for (int i = 0; i < skip; ++i)
        column.pop_front();
    return ScopeSeries(std::make_shared<const ScopeColumnSnapshot>(column.snapshot()), offset);
}

bool bruteYRange(const QVector<double>& y, int first, int last, double& lo, double& hi)
{
    lo = std::numeric_limits<double>::infinity();
    hi = -lo;
    for (int i = first; i <= last; ++i) {
        if (std::isfinite(y[i])) {
            lo = std::min(lo, y[i]);
            hi = std::max(hi, y[i]);
        }
    }
    return lo <= hi;
}

struct SeriesCase
{
    int size;
    int skip;
};

class ScopeSnapshotCurve : public ::testing::TestWithParam<SeriesCase>
{
};

} // namespace

// Sizes and dropped fronts around block (64) and chunk (4096) edges.
TEST_P(ScopeSnapshotCurve, AgreesWithTheSameSamplesGivenAsVectors)
{
    const int n = GetParam().size;
    const int skip = GetParam().skip;
    std::mt19937 rng(n * 31 + skip);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    QVector<double> x(n), y(n);
    double t = 100.0;
    for (int i = 0; i < n; ++i) {
        t += unit(rng) < 0.1 ? 0.0 : unit(rng);
        x[i] = t;
        const double r = unit(rng);
        y[i] = r < 0.01 ? std::nan("") : r < 0.015 ? std::numeric_limits<double>::infinity()
                                       : r < 0.02 ? -std::numeric_limits<double>::infinity()
                                                  : std::sin(i * 0.01) * 20 + unit(rng);
    }
    const ScopeCurveData vector(x, y);
    const ScopeCurveData snapshot(columnSeries(x, skip, -1e9), columnSeries(y, skip, skip % 2 ? 1e9 : -1e9), true);

    ASSERT_EQ(snapshot.size(), vector.size());
    // Bit for bit, NaN and infinities included.
    auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    for (int i = 0; i < n; ++i) {
        ASSERT_TRUE(same(snapshot.xAt(i), vector.xAt(i))) << i;
        ASSERT_TRUE(same(snapshot.yAt(i), vector.yAt(i))) << i;
    }
    EXPECT_EQ(snapshot.boundingRect(), vector.boundingRect());
    EXPECT_TRUE(snapshot.isSortedX());
    const std::optional<ScopeRange> range1 = snapshot.finiteYRange(), range2 = vector.finiteYRange();
    ASSERT_EQ(range1.has_value(), range2.has_value());
    if (range1) {
        EXPECT_EQ(range1->min, range2->min);
        EXPECT_EQ(range1->max, range2->max);
    }

    // Ranges of any stretch and of every block equal a plain pass.
    for (int probe = 0; probe < 200; ++probe) {
        int a = int(unit(rng) * n), b = int(unit(rng) * n);
        if (a > b)
            std::swap(a, b);
        double blo = 0, bhi = 0;
        const std::optional<ScopeRange> range = snapshot.yRange(a, b);
        ASSERT_EQ(range.has_value(), bruteYRange(y, a, b, blo, bhi)) << a << ".." << b;
        if (range) {
            ASSERT_EQ(range->min, blo) << a << ".." << b;
            ASSERT_EQ(range->max, bhi) << a << ".." << b;
        }
    }
    int covered = 0;
    for (int b = 0; b < snapshot.blockCount(); ++b) {
        const int first = snapshot.blockFirst(b), last = snapshot.blockLast(b);
        ASSERT_LE(first, last);
        ASSERT_EQ(first, covered) << "blocks follow each other without a gap";
        ASSERT_EQ(snapshot.blockOf(first), b);
        ASSERT_EQ(snapshot.blockOf(last), b);
        covered = last + 1;
        double blo = 0, bhi = 0;
        const std::optional<ScopeRange> range = snapshot.blockYRange(b);
        ASSERT_EQ(range.has_value(), bruteYRange(y, first, last, blo, bhi)) << "block " << b;
        if (range) {
            ASSERT_EQ(range->min, blo);
            ASSERT_EQ(range->max, bhi);
        }
    }
    EXPECT_EQ(covered, n);

    // The same drawing at overview and zoomed scales.
    QwtScaleMap xMap, yMap;
    xMap.setPaintInterval(0, 1100);
    yMap.setPaintInterval(500, 0);
    yMap.setScaleInterval(-25, 25);
    for (double zoom : {1.0, 0.01}) {
        xMap.setScaleInterval(x.isEmpty() ? 0 : x.first(), x.isEmpty() ? 1 : x.first() + (t - x.first()) * zoom);
        const ScopeCurveSketch a = scopeCurveSketch(snapshot, xMap, yMap, 0, n - 1);
        const ScopeCurveSketch b = scopeCurveSketch(vector, xMap, yMap, 0, n - 1);
        EXPECT_EQ(a.line, b.line);
        EXPECT_EQ(a.spans, b.spans);
        EXPECT_EQ(a.links, b.links);
        EXPECT_EQ(snapshot.drawRange(xMap.s1(), xMap.s2()), vector.drawRange(xMap.s1(), xMap.s2()));
    }
}

INSTANTIATE_TEST_SUITE_P(Edges, ScopeSnapshotCurve,
                         ::testing::Values(SeriesCase{1, 0}, SeriesCase{2, 5}, SeriesCase{63, 1},
                                           SeriesCase{64, 0}, SeriesCase{65, 63}, SeriesCase{4095, 1},
                                           SeriesCase{4096, 0}, SeriesCase{4097, 4095},
                                           SeriesCase{9000, 100}, SeriesCase{20000, 4096}));

TEST(ScopeSnapshotCurveOffset, TheOffsetIsSubtractedAsXIsRead)
{
    const QVector<double> stamps = {5000, 5001, 5003, 5010};
    const QVector<double> values = {1, 2, 3, 4};
    const ScopeCurveData data(columnSeries(stamps, 7, 0.0, 5000.0), columnSeries(values, 7, 99.0), true);
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(data.sample(0), QPointF(0, 1));
    EXPECT_EQ(data.sample(3), QPointF(10, 4));
    EXPECT_EQ(data.boundingRect(), QRectF(0, 1, 10, 3));
    // Values dropped from the front (99) are not part of the range.
    const std::optional<ScopeRange> range = data.finiteYRange();
    ASSERT_TRUE(range);
    EXPECT_EQ(range->max, 4.0);
}

TEST(ScopeSnapshotCurveOffset, UnknownOrderIsCheckedAndUnsortedXDrawsEverySample)
{
    const ScopeCurveData sorted(columnSeries({1, 2, 3}, 0, 0), columnSeries({1, 2, 3}, 0, 0), false);
    EXPECT_TRUE(sorted.isSortedX());
    const ScopeCurveData unsorted(columnSeries({1, 3, 2}, 0, 0), columnSeries({1, 2, 3}, 0, 0), false);
    EXPECT_FALSE(unsorted.isSortedX());
    EXPECT_EQ(unsorted.boundingRect(), QRectF(1, 1, 2, 2));
}

// A running page draws a window that moved on by a few hundred rows since
// the last redraw, taking the columns whose rows did not change from what its
// curves kept. The drawing is the one a fresh drawing makes, also after the
// values start afresh under the same row numbers; and what is kept is really
// what is drawn, for most columns of a moved window.
TEST(ScopeCurveSketch, KeptColumnsDrawLikeFreshOnesOnASlidingWindow)
{
    QwtScaleMap xm, ym;
    xm.setPaintInterval(0, 1037);  // a column is no whole number of ms
    xm.setScaleInterval(0, 20000);
    ym.setPaintInterval(500, 0);
    ym.setScaleInterval(-30, 30);

    std::mt19937 rng(17);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto value = [&](double t, double scale) {
        const double r = unit(rng);
        return r < 0.003 ? std::nan("") : r < 0.005 ? std::numeric_limits<double>::infinity()
                                                    : std::sin(t * 0.003) * scale + unit(rng);
    };
    ScopeSampleColumn times, values;
    double t = 1.0e6 + 0.37;
    auto push = [&](int rows) {
        for (int i = 0; i < rows; ++i) {
            t += unit(rng) < 0.05 ? 0.0 : unit(rng) < 0.01 ? 60.0 : 1.0;  // repeats and gaps
            times.push_back(t);
            values.push_back(value(t, 20.0));
        }
        while (times.size() > 20000) {
            times.pop_front();
            values.pop_front();
        }
    };
    // As the page reads them: x is the stamp less the oldest one.
    auto curve = [&]() {
        return ScopeCurveData(
            ScopeSeries(std::make_shared<const ScopeColumnSnapshot>(times.snapshot()), times.front()),
            ScopeSeries(std::make_shared<const ScopeColumnSnapshot>(values.snapshot())), false);
    };
    auto sketch = [&](const ScopeCurveData& data, ScopeColumnMemo* memo) {
        return scopeCurveSketch(data, xm, ym, 0, int(data.size()) - 1, memo);
    };

    ScopeColumnMemo kept;
    push(20000);  // a full window: every push moves it on
    for (int step = 0; step < 30; ++step) {
        if (step == 1) {
            // Other values under the rows just drawn.
            values.clear();
            for (std::size_t i = 0; i < times.size(); ++i)
                values.push_back(value(times.at(i), -10.0));
        } else if (step > 1) {
            push(int(unit(rng) * 800));
        }
        const ScopeCurveData data = curve();
        const ScopeCurveSketch fresh = sketch(data, nullptr);
        ASSERT_GT(fresh.spans.size(), 500) << step;
        const ScopeCurveSketch drawn = sketch(data, &kept);
        ASSERT_EQ(drawn.spans, fresh.spans) << step;
        ASSERT_EQ(drawn.links, fresh.links) << step;
        ASSERT_EQ(drawn.line, fresh.line) << step;
    }

    // Kept columns with false ranges show where they are used: after a move
    // of 384 rows most columns, and none of another source's.
    ScopeColumnMemo forged = kept;
    for (ScopeColumnMemo::Column& c : forged.columns)
        c.low = c.high = c.firstY = c.lastY = 29.0;
    ScopeColumnMemo stranger = forged;
    stranger.source = scopeNewSource();
    push(384);
    const ScopeCurveData moved = curve();
    const ScopeCurveSketch fresh = sketch(moved, nullptr);
    // Columns follow the stamps, so the drawing sits up to a pixel right of
    // x: every finite sample is inside the span of its column or the next.
    QHash<int, QRectF> byColumn;
    for (const QRectF& span : fresh.spans)
        byColumn.insert(int(span.x()), span);
    for (int i = 0; i < int(moved.size()) && moved.xAt(i) <= xm.s2(); ++i) {
        if (!std::isfinite(moved.yAt(i)))
            continue;
        const int px = int(std::floor(xm.transform(moved.xAt(i))));
        const double py = ym.transform(moved.yAt(i));
        auto inside = [&](int c) {
            const QRectF span = byColumn.value(c);
            return !span.isNull() && span.top() <= py && py <= span.bottom();
        };
        ASSERT_TRUE(inside(px) || inside(px + 1)) << i;
    }
    EXPECT_EQ(sketch(moved, &stranger).spans, fresh.spans);
    const ScopeCurveSketch reused = sketch(moved, &forged);
    ASSERT_EQ(reused.spans.size(), fresh.spans.size());
    int differ = 0;
    for (int i = 0; i < fresh.spans.size(); ++i)
        differ += reused.spans[i] != fresh.spans[i];
    EXPECT_GT(differ, fresh.spans.size() * 3 / 4);
}

TEST(ScopeNearestSample, AgreesWithTheFullSearchOnSnapshotCurves)
{
    std::mt19937 rng(4242);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int round = 0; round < 120; ++round) {
        const int n = 1 + static_cast<int>(unit(rng) * (round % 3 == 0 ? 100 : 12000));
        const int skip = static_cast<int>(unit(rng) * 5000);
        QVector<double> x(n), y(n);
        double t = 1000 + unit(rng) * 10;
        for (int i = 0; i < n; ++i) {
            t += unit(rng) < 0.2 ? 0.0 : unit(rng);
            x[i] = t;
            y[i] = unit(rng) < 0.01 ? std::nan("") : std::sin(i * 0.05) * 10 + unit(rng) * (round % 7);
        }
        const double offset = round % 2 ? x[0] : 0.0;
        const ScopeCurveData data(columnSeries(x, skip, 0.0, offset), columnSeries(y, skip, 1e6), true);
        QwtScaleMap xMap, yMap;
        xMap.setPaintInterval(0, 1100);
        yMap.setPaintInterval(500, 0);
        const double length = t - offset, start = x[0] - offset;
        const double span = (round % 4 == 0) ? (t - x[0]) / 20 + 1 : (t - x[0]) + 1;
        const double from = start + unit(rng) * (length - start - span);
        xMap.setScaleInterval(from, from + span);
        yMap.setScaleInterval(-12 - round % 5, 12 + round % 3);
        for (int probe = 0; probe < 20; ++probe) {
            const QPoint pos(static_cast<int>(unit(rng) * 1300) - 100, static_cast<int>(unit(rng) * 700) - 100);
            const NearestSample fast = findNearestSample(data, xMap, yMap, pos);
            const NearestSample full = bruteForce(data, xMap, yMap, pos);
            ASSERT_EQ(fast.index, full.index) << "round " << round << " probe " << probe;
            ASSERT_EQ(fast.distance2, full.distance2);
        }
    }
}

// Column spans are handed to the painter in one call; the pixels must be
// exactly those of filling each span on its own.
TEST(ScopeCurvePaint, SpansInOneCallCoverTheSamePixelsAsSingleFills)
{
    const int n = 200000;
    QVector<double> x(n), y(n);
    std::mt19937 rng(9);
    std::normal_distribution<double> noise(0.0, 1.0);
    for (int i = 0; i < n; ++i) {
        x[i] = i;
        y[i] = std::sin(i * 0.0003) * 8 + noise(rng);
    }
    y[4321] = 40;
    // Peaks beyond the canvas at both edges: the fill stops at the image.
    y[90000] = 70;
    y[150000] = -40;
    QwtScaleMap xMap, yMap;
    xMap.setPaintInterval(0, 400);
    xMap.setScaleInterval(0, n);
    yMap.setPaintInterval(300, 0);
    yMap.setScaleInterval(-15, 45);
    const QRectF canvas(0, 0, 400, 300);
    for (qreal width : {1.0, 2.0, 3.0}) {
        ScopeCurve curve;
        curve.setPen(QPen(QColor(200, 30, 40), width));
        curve.setScopeSamples(x, y);
        QImage drawn(400, 300, QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::white);
        {
            QPainter painter(&drawn);
            curve.draw(&painter, xMap, yMap, canvas);
        }
        const ScopeCurveSketch sketch = scopeCurveSketch(*curve.data(), xMap, yMap, 0, n - 1);
        ASSERT_TRUE(sketch.links.isEmpty());
        ASSERT_GT(sketch.spans.size(), 300);
        QImage expected(400, 300, QImage::Format_ARGB32_Premultiplied);
        expected.fill(Qt::white);
        {
            QPainter painter(&expected);
            const QRect bounds = canvas.adjusted(-width, -width, width, width).toAlignedRect();
            for (const QRectF& span : sketch.spans) {
                const int top = int(std::floor(span.top() - width / 2 + 0.5));
                const int bottom = int(std::floor(span.bottom() + width / 2 + 0.5));
                painter.fillRect(QRect(int(span.x()), top, int(std::lround(width)), bottom - top).intersected(bounds),
                                 QColor(200, 30, 40));
            }
        }
        EXPECT_EQ(drawn, expected) << "pen width " << width;
    }

    // The plot fills the spans of neighbouring curves in one pass that
    // stores each pixel once; the pixels are those of its items drawn one by
    // one in z order. Noisy curves over one band, one with a stretch without
    // samples (lines bridge it), one translucent, one hidden, pens 1 to 3.
    scopeTestApp();
    QwtScope plot;
    plot.resize(700, 420);
    plot.updateLayout();
    plot.setXAxis(0, 20000, 2000);
    plot.setYAxis(-30, 30);
    for (int slot = 0; slot < 9; ++slot) {
        QVector<double> cx, cy;
        for (int i = 0; i < 20000; i += 1 + slot % 3) {
            if (slot == 4 && i > 7000 && i < 9000)
                continue;
            cx.append(i);
            cy.append(std::sin(i * 0.0007 + slot) * (4 + slot) + noise(rng) * (1 + slot % 4));
        }
        _ST_ScopeAxisInfo info{};
        info.nCurve = slot;
        plot.setCurveInfo(slot, QStringLiteral("c%1").arg(slot), info);
        double low = 0, high = 0;
        plot.setCurveSamples(slot, cx, cy, low, high);
        plot.curve(slot)->setPen(QPen(QColor::fromHsv(slot * 40, 255, 200, slot == 6 ? 120 : 255), 1 + slot % 3));
    }
    plot.curve(7)->setVisible(false);
    plot.replot();
    const QRectF area = plot.canvas()->contentsRect();
    QwtScaleMap maps[QwtPlot::axisCnt];
    for (int axis = 0; axis < QwtPlot::axisCnt; ++axis)
        maps[axis] = plot.canvasMap(axis);
    QImage together(area.size().toSize(), QImage::Format_ARGB32_Premultiplied);
    together.fill(Qt::white);
    QImage alone = together;
    {
        QPainter painter(&together);
        plot.drawItems(&painter, area, maps);
    }
    {
        QPainter painter(&alone);
        for (const QwtPlotItem* item : plot.itemList()) {
            if (item->isVisible())
                item->draw(&painter, maps[item->xAxis()], maps[item->yAxis()], area);
        }
    }
    EXPECT_EQ(together, alone);
}

// ---- A/B cursors and the readout ---------------------------------------------

// The cursors step sample by sample with the arrow keys, A or B choosing
// which; Shift + click moves the nearer one; plain clicks and drags stay
// the zoomer's and the readout shows the known values.
TEST_F(ScopePlotTest, CursorsStepBySampleAndTheReadoutShowsTheKnownPlot)
{
    plot->setXAxis(0, 100, 10);
    addCurve(0, "J1 Position", "deg", {0, 10, 20, 30, 40}, {1, 2, 4, 8, std::nan("")});
    addCurve(3, "J2 Current", "A", {0, 10, 20, 30, 40}, {-1, -1, -1, -1, -1});
    plot->replot();
    ScopeCursors* cursors = plot->cursors();
    ScopeReadoutPanel readout(plot.get(), cursors);
    readout.setBackground(false);

    cursors->setOn(true);
    cursors->setPosition(ScopeCursors::A, 10);
    cursors->setPosition(ScopeCursors::B, 13); // between samples
    auto key = [this](int k) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(canvas(), &press);
    };
    key(Qt::Key_B);
    EXPECT_EQ(cursors->active(), ScopeCursors::B);
    key(Qt::Key_Right);
    EXPECT_EQ(cursors->position(ScopeCursors::B), 20); // the next sample, not 13 + 10
    key(Qt::Key_Right);
    key(Qt::Key_Right);
    key(Qt::Key_Right); // stays at the last sample
    EXPECT_EQ(cursors->position(ScopeCursors::B), 40);
    key(Qt::Key_Left);
    EXPECT_EQ(cursors->position(ScopeCursors::B), 30);
    key(Qt::Key_A);
    key(Qt::Key_Left);
    key(Qt::Key_Left);
    EXPECT_EQ(cursors->position(ScopeCursors::A), 0);
    EXPECT_EQ(cursors->position(ScopeCursors::B), 30);
    key(Qt::Key_Right);

    readout.refreshNow();
    const ScopeReadout& r = readout.readout();
    ASSERT_EQ(r.curves.size(), 2);
    EXPECT_EQ(r.curves[0].atA, 2);
    EXPECT_EQ(r.curves[0].atB, 8);
    EXPECT_EQ(r.curves[0].unit, "deg");
    EXPECT_EQ(r.curves[0].colour, plot->curve(0)->pen().color().name());
    EXPECT_EQ(r.curves[0].stats.samples, 3u); // 10, 20, 30
    EXPECT_DOUBLE_EQ(r.curves[0].stats.mean, 14.0 / 3);
    EXPECT_EQ(r.curves[1].stats.stdDev(), 0.0);
    const QStringList lines = readout.text().split('\n');
    EXPECT_EQ(lines[1], "10\t30\t20\t50");
    EXPECT_TRUE(lines.contains("J1 Position\tdeg\t2\t8\t6"));
    EXPECT_TRUE(lines.contains("J2 Current\tA\t-1\t-1\t0"));
    EXPECT_TRUE(readout.shownText().contains("J1 Position"));

    // Shift + click moves the nearer cursor (B, at 30) to 40; the zoomer
    // does not start a selection.
    const QPoint at = pixelOf(39, 0);
    QMouseEvent press(QEvent::MouseButtonPress, at, canvas()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::ShiftModifier);
    QApplication::sendEvent(canvas(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, canvas()->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::ShiftModifier);
    QApplication::sendEvent(canvas(), &release);
    EXPECT_EQ(cursors->position(ScopeCursors::B), 40);
    EXPECT_FALSE(plot->zoomer()->isActive());
    // A plain press is still the zoomer's and moves no cursor.
    const QPoint other = pixelOf(5, 0);
    QMouseEvent plain(QEvent::MouseButtonPress, other, canvas()->mapToGlobal(other), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(canvas(), &plain);
    EXPECT_TRUE(plot->zoomer()->isActive());
    QMouseEvent plainUp(QEvent::MouseButtonRelease, other, canvas()->mapToGlobal(other), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(canvas(), &plainUp);
    EXPECT_EQ(cursors->position(ScopeCursors::A), 10);
    EXPECT_EQ(cursors->position(ScopeCursors::B), 40);
    readout.refreshNow();
    EXPECT_EQ(readout.readout().curves[0].stats.nonFinite, 1u); // the NaN at 40 is left out
    EXPECT_FALSE(readout.remarks().isEmpty());

    // A = B: one sample, no 1/dt, and a sentence that says so.
    cursors->setPosition(ScopeCursors::A, 40);
    readout.refreshNow();
    EXPECT_EQ(readout.text().split('\n')[1], "40\t40\t0\t");
    EXPECT_GE(readout.remarks().size(), 2);

    // Off, the statistics cover the visible range; no data, no crash.
    cursors->setOn(false);
    readout.refreshNow();
    EXPECT_EQ(readout.readout().curves[0].stats.samples, 4u);
    plot->clearCurves();
    readout.refreshNow();
    EXPECT_TRUE(readout.readout().curves.isEmpty());
    EXPECT_FALSE(readout.remarks().isEmpty());
    cursors->setOn(true);
    EXPECT_FALSE(cursors->step(1));
}

// The page's way: figures worked out on a pool thread from copies of the
// series while the plot goes on taking new samples; the readout shows the
// figures of the samples it was given.
TEST_F(ScopePlotTest, ReadoutStatisticsFromAPoolThreadFollowTheCurves)
{
    plot->setXAxis(0, 1000, 100);
    QVector<double> x(1001), y(1001);
    for (int i = 0; i <= 1000; ++i) {
        x[i] = i;
        y[i] = i % 2 ? 3.0 : -3.0;
    }
    addCurve(0, "J1 Actual Cur", "A", x, y);
    ScopeReadoutPanel readout(plot.get(), plot->cursors());
    readout.show();
    auto waitReady = [&readout] {
        for (int i = 0; i < 500 && !readout.readout().statsReady; ++i)
            QTest::qWait(10); // bounded: 5 s
        return readout.readout().statsReady;
    };
    readout.plotChanged();
    ASSERT_TRUE(waitReady());
    ASSERT_EQ(readout.readout().curves.size(), 1);
    EXPECT_EQ(readout.readout().curves[0].stats.samples, 1001u);
    EXPECT_DOUBLE_EQ(readout.readout().curves[0].stats.rms(), 3.0);
    // New samples replace the old while a run may be under way.
    for (int round = 0; round < 5; ++round) {
        QVector<double> y2(1001, double(round));
        double lo = 0, hi = 0;
        plot->setCurveSamples(0, x, y2, lo, hi);
        readout.plotChanged();
    }
    for (int i = 0; i < 500 && readout.readout().curves[0].stats.max != 4.0; ++i)
        QTest::qWait(10);
    EXPECT_EQ(readout.readout().curves[0].stats.min, 4.0);
    EXPECT_EQ(readout.readout().curves[0].stats.max, 4.0);
}
