#include "scopecurvedata.h"

#include <qwt_clipper.h>
#include <qwt_painter.h>
#include <qwt_scale_map.h>

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Pixel coordinates are kept well inside int range; anything beyond is far
// off any canvas anyway, and the clamp keeps rounding and clipping finite.
constexpr double kPixelLimit = 1.0e7;

double clampPixel(double p)
{
    if (std::isnan(p))
        return p;
    return std::clamp(p, -kPixelLimit, kPixelLimit);
}

} // namespace

int scopePixel(const QwtScaleMap& map, double value)
{
    const double p = clampPixel(map.transform(value));
    return std::isnan(p) ? 0 : qRound(p);
}

ScopeCurveData::ScopeCurveData(const QVector<double>& x, const QVector<double>& y)
    : m_x(x), m_y(y), m_size(std::min(x.size(), y.size()))
{
    double minX = 0.0, maxX = 0.0;
    bool hasFiniteX = false;
    const int blocks = (m_size + kBlockSize - 1) / kBlockSize;
    m_blockMin.fill(std::nan(""), blocks);
    m_blockMax.fill(std::nan(""), blocks);

    const double* xs = m_x.constData();
    const double* ys = m_y.constData();
    for (int i = 0; i < m_size; ++i) {
        const double xi = xs[i];
        if (std::isnan(xi) || (i > 0 && xi < xs[i - 1]))
            m_sortedX = false;
        if (std::isfinite(xi)) {
            if (!hasFiniteX) {
                minX = maxX = xi;
                hasFiniteX = true;
            } else {
                minX = std::min(minX, xi);
                maxX = std::max(maxX, xi);
            }
        }
        const double yi = ys[i];
        if (!std::isfinite(yi))
            continue;
        if (!m_hasFiniteY) {
            m_minY = m_maxY = yi;
            m_hasFiniteY = true;
        } else {
            m_minY = std::min(m_minY, yi);
            m_maxY = std::max(m_maxY, yi);
        }
        const int b = i / kBlockSize;
        if (std::isnan(m_blockMin[b])) {
            m_blockMin[b] = m_blockMax[b] = yi;
        } else {
            m_blockMin[b] = std::min(m_blockMin[b], yi);
            m_blockMax[b] = std::max(m_blockMax[b], yi);
        }
    }
    if (hasFiniteX && m_hasFiniteY)
        m_bounds = QRectF(minX, m_minY, maxX - minX, m_maxY - m_minY);
    else
        m_bounds = QRectF(1.0, 1.0, -2.0, -2.0);  // Qwt's "no bounds"
}

size_t ScopeCurveData::size() const
{
    return static_cast<size_t>(m_size);
}

QPointF ScopeCurveData::sample(size_t i) const
{
    return QPointF(m_x[static_cast<int>(i)], m_y[static_cast<int>(i)]);
}

QRectF ScopeCurveData::boundingRect() const
{
    return m_bounds;
}

bool ScopeCurveData::finiteYRange(double& minY, double& maxY) const
{
    if (!m_hasFiniteY)
        return false;
    minY = m_minY;
    maxY = m_maxY;
    return true;
}

std::pair<int, int> ScopeCurveData::drawRange(double x1, double x2) const
{
    if (m_size == 0)
        return {0, -1};
    if (!m_sortedX)
        return {0, m_size - 1};
    if (x1 > x2)
        std::swap(x1, x2);
    const double* begin = m_x.constData();
    const double* end = begin + m_size;
    const int first = static_cast<int>(std::lower_bound(begin, end, x1) - begin) - 1;
    const int last = static_cast<int>(std::upper_bound(begin, end, x2) - begin);
    return {std::max(first, 0), std::min(last, m_size - 1)};
}

bool ScopeCurveData::blockYRange(int block, double& minY, double& maxY) const
{
    if (block < 0 || block >= m_blockMin.size() || std::isnan(m_blockMin[block]))
        return false;
    minY = m_blockMin[block];
    maxY = m_blockMax[block];
    return true;
}

ScopeCurve::ScopeCurve(const QString& title)
    : QwtPlotCurve(title)
{
    setData(new ScopeCurveData());
    setPaintAttribute(QwtPlotCurve::ClipPolygons, true);
}

void ScopeCurve::setScopeSamples(const QVector<double>& x, const QVector<double>& y)
{
    setData(new ScopeCurveData(x, y));
}

const ScopeCurveData* ScopeCurve::scopeData() const
{
    return dynamic_cast<const ScopeCurveData*>(data());
}

QPolygonF scopeCurvePolyline(const QwtSeriesData<QPointF>& data, const QwtScaleMap& xMap,
                             const QwtScaleMap& yMap, int from, int to)
{
    QPolygonF line;
    const int size = static_cast<int>(data.size());
    from = std::max(from, 0);
    to = std::min(to, size - 1);
    if (from > to)
        return line;

    const auto* scope = dynamic_cast<const ScopeCurveData*>(&data);
    const bool sorted = scope && scope->isSortedX();
    if (sorted) {
        const auto range = scope->drawRange(xMap.s1(), xMap.s2());
        from = std::max(from, range.first);
        to = std::min(to, range.second);
        if (from > to)
            return line;
    }

    const int count = to - from + 1;
    const double columns = std::max(1.0, std::abs(xMap.p2() - xMap.p1()));
    if (!sorted || count <= 4.0 * columns) {
        line.reserve(count);
        for (int i = from; i <= to; ++i) {
            const QPointF s = data.sample(static_cast<size_t>(i));
            if (!std::isfinite(s.x()) || !std::isfinite(s.y()))
                continue;
            line.append(QPointF(clampPixel(xMap.transform(s.x())), clampPixel(yMap.transform(s.y()))));
        }
        return line;
    }

    // Many samples per pixel column: keep the first, lowest, highest and
    // last sample of every column, in sample order, so the outline of the
    // data (every spike) is drawn exactly as the full line would be.
    const double* xs = scope->xData().constData();
    const double* ys = scope->yData().constData();
    line.reserve(static_cast<int>(4 * columns) + 8);

    struct Point
    {
        int index;
        double px, py;
    };
    bool open = false;
    double column = 0.0;
    Point first{}, low{}, high{}, last{};
    auto flush = [&]() {
        std::array<Point, 4> pts{first, low, high, last};
        std::sort(pts.begin(), pts.end(), [](const Point& a, const Point& b) { return a.index < b.index; });
        int previous = -1;
        for (const Point& p : pts) {
            if (p.index == previous)
                continue;
            previous = p.index;
            line.append(QPointF(p.px, p.py));
        }
    };
    for (int i = from; i <= to; ++i) {
        const double y = ys[i];
        if (!std::isfinite(y) || !std::isfinite(xs[i]))
            continue;
        const double px = clampPixel(xMap.transform(xs[i]));
        const double py = clampPixel(yMap.transform(y));
        const double col = std::floor(px);
        const Point p{i, px, py};
        if (!open || col != column) {
            if (open)
                flush();
            open = true;
            column = col;
            first = low = high = last = p;
            continue;
        }
        last = p;
        // Pixel rows grow downwards or upwards depending on the map; compare
        // the values, not the rows.
        if (y < ys[low.index])
            low = p;
        if (y > ys[high.index])
            high = p;
    }
    if (open)
        flush();
    return line;
}

void ScopeCurve::drawLines(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                           const QRectF& canvasRect, int from, int to) const
{
    if (from > to)
        return;
    QPolygonF line = scopeCurvePolyline(*data(), xMap, yMap, from, to);
    if (line.size() < 1)
        return;
    if (QwtPainter::roundingAlignment(painter)) {
        for (QPointF& p : line)
            p = QPointF(qRound(p.x()), qRound(p.y()));
    }
    if (testPaintAttribute(QwtPlotCurve::ClipPolygons)) {
        const qreal pw = std::max(qreal(1.0), painter->pen().widthF());
        const QRectF clipRect = canvasRect.adjusted(-pw, -pw, pw, pw);
        line = QwtClipper::clipPolygonF(clipRect, line, false);
    }
    QwtPainter::drawPolyline(painter, line);
}

NearestSample findNearestSample(const QwtSeriesData<QPointF>& data, const QwtScaleMap& xMap,
                                const QwtScaleMap& yMap, const QPoint& pos, qint64 bound2)
{
    NearestSample best;
    best.distance2 = bound2;
    const int size = static_cast<int>(data.size());
    if (size <= 0)
        return best;

    // Strictly nearer wins; on a tie the lower index of this curve wins.
    auto consider = [&](int i, double x, double y) {
        if (!std::isfinite(x) || !std::isfinite(y))
            return;
        const qint64 dx = scopePixel(xMap, x) - pos.x();
        const qint64 dy = scopePixel(yMap, y) - pos.y();
        const qint64 d2 = dx * dx + dy * dy;
        if (d2 < best.distance2 || (d2 == best.distance2 && best.index >= 0 && i < best.index)) {
            best.distance2 = d2;
            best.index = i;
        }
    };

    const auto* scope = dynamic_cast<const ScopeCurveData*>(&data);
    if (!scope || !scope->isSortedX()) {
        for (int i = 0; i < size; ++i) {
            const QPointF s = data.sample(static_cast<size_t>(i));
            consider(i, s.x(), s.y());
        }
        return best;
    }

    // x is sorted, so pixel columns are monotonic in the index: start at the
    // block under the cursor and walk outwards while a block can still hold
    // a sample at least as near (its bounding box is no farther).
    const double* xs = scope->xData().constData();
    const double* ys = scope->yData().constData();
    const int blocks = scope->blockCount();
    const double cursorX = xMap.invTransform(pos.x());
    int start = static_cast<int>(std::lower_bound(xs, xs + size, cursorX) - xs);
    start = std::clamp(start, 0, size - 1) / ScopeCurveData::kBlockSize;
    start = std::clamp(start, 0, blocks - 1);

    enum class Visit { Scanned, Skipped, Beyond };
    auto visit = [&](int b) {
        const int i0 = b * ScopeCurveData::kBlockSize;
        const int i1 = std::min(size, i0 + ScopeCurveData::kBlockSize) - 1;
        const int pxA = scopePixel(xMap, xs[i0]);
        const int pxB = scopePixel(xMap, xs[i1]);
        const qint64 gapX = std::max<qint64>({0, std::min(pxA, pxB) - pos.x(), pos.x() - std::max(pxA, pxB)});
        if (gapX * gapX > best.distance2)
            return Visit::Beyond;
        double lo = 0.0, hi = 0.0;
        if (!scope->blockYRange(b, lo, hi))
            return Visit::Skipped;
        const int pyA = scopePixel(yMap, lo);
        const int pyB = scopePixel(yMap, hi);
        const qint64 gapY = std::max<qint64>({0, std::min(pyA, pyB) - pos.y(), pos.y() - std::max(pyA, pyB)});
        if (gapX * gapX + gapY * gapY > best.distance2)
            return Visit::Skipped;
        for (int i = i0; i <= i1; ++i)
            consider(i, xs[i], ys[i]);
        return Visit::Scanned;
    };

    bool left = true, right = true;
    for (int step = 0; left || right; ++step) {
        if (right) {
            const int b = start + step;
            right = b < blocks && visit(b) != Visit::Beyond;
        }
        if (left && step > 0) {
            const int b = start - step;
            left = b >= 0 && visit(b) != Visit::Beyond;
        } else if (step == 0 && start == 0) {
            left = false;
        }
    }
    return best;
}
