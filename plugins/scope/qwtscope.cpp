#include "qwtscope.h"

#include "scopecursors.h"
#include "scopedatatracker.h"

#include <qwt_plot_canvas.h>
#include <qwt_painter.h>
#include <qwt_plot_grid.h>
#include <qwt_scale_map.h>
#include <qwt_symbol.h>
#include <qwt_scale_div.h>

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <cstdlib>

double scopeRoundDown(double minimum)
{
    // Truncation in floating point: the same tens as integer truncation for
    // every value an int holds, and no overflow for the rest.
    return std::trunc(std::trunc(minimum) / 10.0) * 10.0 - 10.0;
}

double scopeRoundUp(double maximum)
{
    return std::trunc(std::trunc(maximum) / 10.0) * 10.0 + 10.0;
}

Zoomer::Zoomer(QWidget* canvas, QwtScope* plot)
    : QwtPlotZoomer(canvas, true), m_plot(plot)
{
    setRubberBandPen(QPen(Qt::darkGreen));
}

Zoomer::~Zoomer() = default;

bool Zoomer::accept(QPolygon& polygon) const
{
    if (polygon.count() < 2)
        return false;

    QRect rect = QRect(polygon.first(), polygon.last()).normalized();
    // A short stray drag is a click, not a zoom: 30 pixels in one direction
    // are needed.
    constexpr int minSelection = 30;
    if (rect.width() < minSelection && rect.height() < minSelection)
        return false;

    constexpr int minZoomSize = 11;
    const QPoint center = rect.center();
    rect.setSize(rect.size().expandedTo(QSize(minZoomSize, minZoomSize)));
    rect.moveCenter(center);

    polygon.resize(2);
    polygon[0] = rect.topLeft();
    polygon[1] = rect.bottomRight();
    return true;
}

QwtScope::QwtScope(QWidget* parent)
    : QwtPlot(parent)
{
    m_grid = new QwtPlotGrid();
    m_grid->enableX(true);
    m_grid->enableY(true);
    m_grid->setMajorPen(QPen(QBrush(Qt::black), 0, Qt::DotLine));
    m_grid->attach(this);

    m_zoomer = new Zoomer(canvas(), this);
    connect(m_zoomer, &QwtPlotZoomer::zoomed, this, &QwtScope::onZoomer);

    m_tracker = new ScopeDataTracker(canvas(), this);
    // After the zoomer and the tracker: it sees the canvas's events first.
    m_cursors = new ScopeCursors(this);

    setCanvasBackground(QBrush(QColor(250, 250, 250, 255)));

    setAxisTitle(QwtPlot::xBottom, tr("time(ms)"));
    setAxisTitle(QwtPlot::yLeft, QString(12, QLatin1Char(' ')));

    setXAxis(0, 10000, 1000);
    setYAxis(-10, 10);

    // The generator is never seeded on purpose: the 48 colours are the same
    // in every run, so a channel keeps its colour between sessions. A colour
    // too pale (or too dark) to be seen on the canvas is moved away from it.
    const QColor canvasColour = canvasBackground().color();
    for (ScopeCurve& curve : m_curves) {
        const int red = std::rand() % 255;
        const int green = std::rand() % 255;
        const int blue = std::rand() % 255;
        curve.setPen(QPen(scopeReadablePenColour(QColor(red, green, blue, 255), canvasColour), 2.0, Qt::SolidLine));
    }
}

QwtScope::~QwtScope()
{
    // Detach while the plot and its tracker are whole; the curves would
    // otherwise detach from the half-destroyed plot in their destructors.
    for (ScopeCurve& curve : m_curves)
        curve.detach();
}

bool QwtScope::eventFilter(QObject* object, QEvent* event)
{
    return QwtPlot::eventFilter(object, event);
}

void QwtScope::setXAxis(double min, double max, double step)
{
    setAxisScale(QwtPlot::xBottom, min, max, step);
    m_xMin = min;
    m_xMax = max;
    m_xStep = step;
    m_xSpan = max - min;
}

double QwtScope::timeSpan() const
{
    return m_xSpan;
}

void QwtScope::setYAxis(double min, double max)
{
    m_yMin = min;
    m_yMax = max;
    setAxisScale(QwtPlot::yLeft, min, max, (max - min) / 4);
}

void QwtScope::setCurveInfo(int slot, const QString& title, const _ST_ScopeAxisInfo& info)
{
    if (slot < 0 || slot >= kCurveSlots)
        return;
    ScopeCurve& c = m_curves[static_cast<size_t>(slot)];
    c.setTitle(title);
    c.attach(this);
    c.setVisible(true);
    m_infos[static_cast<size_t>(slot)] = info;
}

_ST_ScopeAxisInfo QwtScope::curveInfo(int slot) const
{
    if (slot < 0 || slot >= kCurveSlots)
        return _ST_ScopeAxisInfo();
    return m_infos[static_cast<size_t>(slot)];
}

void QwtScope::setCurveSamples(int slot, const QVector<double>& x, const QVector<double>& y, double& minY,
                               double& maxY)
{
    if (slot < 0 || slot >= kCurveSlots || x.isEmpty() || y.isEmpty())
        return;
    ScopeCurve& c = m_curves[static_cast<size_t>(slot)];
    c.setScopeSamples(x, y);
    // A curve without any finite value reports 0..0.
    const ScopeRange range = fitCurveRange(c).value_or(ScopeRange{0.0, 0.0});
    minY = range.min;
    maxY = range.max;
}

std::optional<ScopeRange> QwtScope::setCurveSeries(int slot, const ScopeSeries& x, const ScopeSeries& y,
                                                   bool sortedX)
{
    if (slot < 0 || slot >= kCurveSlots || x.size() == 0 || y.size() == 0)
        return std::nullopt;
    ScopeCurve& c = m_curves[static_cast<size_t>(slot)];
    c.setScopeSeries(x, y, sortedX);
    return fitCurveRange(c);
}

std::optional<ScopeRange> QwtScope::fitCurveRange(const ScopeCurve& c)
{
    // Values that are not numbers (or infinite) say nothing about the range;
    // a curve without any finite value moves nothing.
    const std::optional<ScopeRange> range = c.scopeData()->finiteYRange();
    if (!range)
        return std::nullopt;

    bool changed = false;
    double yMax = m_yMax;
    double yMin = m_yMin;
    if (range->max > yMax) {
        yMax = range->max;
        changed = true;
    }
    if (range->min < yMin) {
        yMin = range->min;
        changed = true;
    }
    if (changed)
        setYAxis(scopeRoundDown(yMin), scopeRoundUp(yMax));
    return range;
}

void QwtScope::clearCurves()
{
    for (int slot = 0; slot < kCurveSlots; ++slot) {
        ScopeCurve& c = m_curves[static_cast<size_t>(slot)];
        c.setScopeSamples(QVector<double>(), QVector<double>());
        c.setVisible(false);
        c.detach();
        m_infos[static_cast<size_t>(slot)] = _ST_ScopeAxisInfo();
    }
    setYAxis(-10, 10);
}

bool QwtScope::hasNoData() const
{
    const QwtPlotItemList curves = itemList(QwtPlotItem::Rtti_PlotCurve);
    for (const QwtPlotItem* item : curves) {
        if (static_cast<const QwtPlotCurve*>(item)->dataSize() > 0)
            return false;
    }
    return true;
}

void QwtScope::refreshZoom()
{
    emit m_zoomer->zoomed(m_zoomer->zoomRect());
}

void QwtScope::resetZoom()
{
    m_zoomer->zoom(0);
}

void QwtScope::setUnitTitle(int slot)
{
    if (slot < 0 || slot >= kCurveSlots)
        return;
    const QString unit = m_infos[static_cast<size_t>(slot)].strUnit;
    // A fixed width keeps the canvas from jumping when the unit changes.
    setAxisTitle(QwtPlot::yLeft, unit.leftJustified(12, QLatin1Char(' '), true));
}

ScopeCurve* QwtScope::curve(int slot)
{
    if (slot < 0 || slot >= kCurveSlots)
        return nullptr;
    return &m_curves[static_cast<size_t>(slot)];
}

const ScopeCurve* QwtScope::curve(int slot) const
{
    if (slot < 0 || slot >= kCurveSlots)
        return nullptr;
    return &m_curves[static_cast<size_t>(slot)];
}

int QwtScope::slotOf(const QwtPlotItem* item) const
{
    for (int slot = 0; slot < kCurveSlots; ++slot) {
        if (&m_curves[static_cast<size_t>(slot)] == item)
            return slot;
    }
    return -1;
}

QList<QwtPlotCurve*> QwtScope::attachedCurves() const
{
    QList<QwtPlotCurve*> curves;
    for (QwtPlotItem* item : itemList(QwtPlotItem::Rtti_PlotCurve))
        curves.append(static_cast<QwtPlotCurve*>(item));
    return curves;
}

void QwtScope::onZoomer(const QRectF& rect)
{
    Q_UNUSED(rect);
    if (m_zoomer->zoomRectIndex() == 0) {
        // The zoom base is the scale the page asked for, not whatever the
        // zoomer captured when it was created.
        setAxisScale(QwtPlot::xBottom, m_xMin, m_xMax, m_xStep);
        setAxisScale(QwtPlot::yLeft, m_yMin, m_yMax, (m_yMax - m_yMin) / 4);
    }
    replot();
}

namespace {

double linearChannel(double value)
{
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

} // namespace

double scopeRelativeLuminance(const QColor& colour)
{
    return 0.2126 * linearChannel(colour.red()) + 0.7152 * linearChannel(colour.green())
           + 0.0722 * linearChannel(colour.blue());
}

double scopeContrastRatio(const QColor& a, const QColor& b)
{
    const double la = scopeRelativeLuminance(a);
    const double lb = scopeRelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor scopeReadablePenColour(const QColor& colour, const QColor& canvas)
{
    if (scopeContrastRatio(colour, canvas) >= kScopeMinPenContrast)
        return colour;
    // Mix towards black on a light canvas (towards white on a dark one) in
    // steps of 5 %, so the hue stays and the result is the same every run.
    const QColor target = scopeContrastRatio(Qt::black, canvas) >= scopeContrastRatio(Qt::white, canvas)
                              ? QColor(Qt::black)
                              : QColor(Qt::white);
    QColor mixed = colour;
    for (int step = 1; step <= 20; ++step) {
        const double t = step / 20.0;
        const auto mix = [t](int from, int to) { return int(std::lround(from + (to - from) * t)); };
        mixed = QColor(mix(colour.red(), target.red()), mix(colour.green(), target.green()),
                       mix(colour.blue(), target.blue()), colour.alpha());
        if (scopeContrastRatio(mixed, canvas) >= kScopeMinPenContrast)
            break;
    }
    return mixed;
}

void QwtScope::drawItems(QPainter* painter, const QRectF& canvasRect, const QwtScaleMap maps[axisCnt]) const
{
    // A curve fills its columns itself where nothing but spans is drawn with
    // its own pen, as QwtPlotCurve draws a line curve without symbols.
    auto spansOnly = [](const QwtPlotItem* item) -> const ScopeCurve* {
        const auto* curve = dynamic_cast<const ScopeCurve*>(item);
        if (!curve || curve->style() != QwtPlotCurve::Lines || curve->testCurveAttribute(QwtPlotCurve::Fitted) ||
            (curve->symbol() && curve->symbol()->style() != QwtSymbol::NoSymbol))
            return nullptr;
        return curve;
    };
    auto drawOne = [&](const QwtPlotItem* item) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, item->testRenderHint(QwtPlotItem::RenderAntialiased));
        item->draw(painter, maps[item->xAxis()], maps[item->yAxis()], canvasRect);
        painter->restore();
    };
    const bool alignToPixels = QwtPainter::roundingAlignment(painter);
    std::vector<const QwtPlotItem*> run;
    std::vector<ScopeCurvePaint> paints;
    auto flush = [&]() {
        if (run.empty())
            return;
        paints.clear();
        paints.reserve(run.size());
        for (const QwtPlotItem* item : run) {
            const auto* curve = static_cast<const ScopeCurve*>(item);
            const int size = static_cast<int>(curve->dataSize());
            paints.push_back(curve->sketchPaint(curve->pen(), alignToPixels, maps[item->xAxis()],
                                                maps[item->yAxis()], canvasRect, 0, size - 1));
            paints.back().antialiased = item->testRenderHint(QwtPlotItem::RenderAntialiased);
        }
        // Polylines and translucent curves are drawn alone in their place;
        // the curves between them are filled together where possible.
        auto paintAlone = [&](std::size_t i) {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing, run[i]->testRenderHint(QwtPlotItem::RenderAntialiased));
            painter->setPen(static_cast<const ScopeCurve*>(run[i])->pen());
            ScopeCurve::paint(painter, paints[i]);
            painter->restore();
        };
        std::vector<const ScopeCurvePaint*> layers;
        std::size_t first = 0;
        for (std::size_t i = 0; i <= run.size(); ++i) {
            const bool spans = i < run.size() && !paints[i].polyline && paints[i].color.alpha() == 255;
            if (spans) {
                layers.push_back(&paints[i]);
                continue;
            }
            if (layers.size() < 2 || !fillOpaqueLayers(painter, layers)) {
                for (std::size_t k = first; k < i; ++k)
                    paintAlone(k);
            }
            layers.clear();
            if (i < run.size())
                paintAlone(i);
            first = i + 1;
        }
        run.clear();
    };
    for (const QwtPlotItem* item : itemList()) {
        if (!item || !item->isVisible())
            continue;
        if (spansOnly(item)) {
            run.push_back(item);
            continue;
        }
        flush();
        drawOne(item);
    }
    flush();
}

