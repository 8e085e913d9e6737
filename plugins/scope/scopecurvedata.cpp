#include "scopecurvedata.h"

#include <qwt_clipper.h>
#include <qwt_painter.h>
#include <qwt_scale_map.h>

#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>

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

// The pixel columns of one drawing of a sorted x series: the runs of
// samples that fall into the same column, with the x pixel of each run's
// first and last sample. Every curve over the same x draws the same runs.
struct ScopeColumnRuns
{
    // What the runs were worked out for.
    double s1 = 0.0, s2 = 0.0, p1 = 0.0, p2 = 0.0;
    int from = 0, to = -1;
    // Added to every x pixel (see columnPhase).
    double phase = 0.0;

    std::vector<int> starts;       // first sample of each run, then to + 1
    std::vector<double> columns;   // the run's pixel column
    std::vector<double> firstX;    // x pixel of its first sample
    std::vector<double> lastX;     // and of its last

    bool fits(const QwtScaleMap& map, int f, int t) const
    {
        return s1 == map.s1() && s2 == map.s2() && p1 == map.p1() && p2 == map.p2() && from == f && to == t;
    }
};

// The runs last worked out for an x series, shared by the copies of the
// series that the curves hold. A redraw asks once per curve; only the first
// curve searches x.
class ScopeColumnCache
{
public:
    template <typename Make>
    std::shared_ptr<const ScopeColumnRuns> runs(const QwtScaleMap& map, int from, int to, Make make)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_runs || !m_runs->fits(map, from, to))
            m_runs = make();
        return m_runs;
    }

private:
    std::mutex m_mutex;
    std::shared_ptr<const ScopeColumnRuns> m_runs;
};

ScopeSeries::ScopeSeries(const QVector<double>& values, bool summarise)
    : m_size(std::size_t(values.size())), m_source(scopeNewSource()), m_vector(values),
      m_columnCache(std::make_shared<ScopeColumnCache>())
{
    const double* data = m_vector.constData();
    const std::size_t chunks = (m_size + kChunkSize - 1) / kChunkSize;
    m_chunks.reserve(chunks);
    for (std::size_t c = 0; c < chunks; ++c)
        m_chunks.push_back(data + c * kChunkSize);
    if (!summarise)
        return;
    m_ownSummaries = std::make_shared<std::vector<ScopeChunkSummary>>(chunks);
    m_ownWhole = std::make_shared<std::vector<ScopeChunkSummary::Entry>>();
    m_ownWhole->reserve(chunks);
    for (std::size_t c = 0; c < chunks; ++c) {
        ScopeChunkSummary& sum = (*m_ownSummaries)[c];
        sum.build(m_chunks[c], std::min(kChunkSize, m_size - c * kChunkSize));
        m_summaries.push_back(&sum);
        m_ownWhole->push_back(sum.all);
    }
    m_whole = m_ownWhole->data();
    m_wholeCount = chunks;
}

ScopeSeries::ScopeSeries(std::shared_ptr<const ScopeColumnSnapshot> snapshot, double offset)
    : m_offset(offset), m_snapshot(std::move(snapshot)), m_columnCache(std::make_shared<ScopeColumnCache>())
{
    if (!m_snapshot)
        return;
    m_head = m_snapshot->head;
    m_size = m_snapshot->size;
    m_source = m_snapshot->source;
    m_firstRow = m_snapshot->firstRow;
    m_chunks.reserve(m_snapshot->chunks.size());
    m_summaries.reserve(m_snapshot->chunks.size());
    for (const auto& chunk : m_snapshot->chunks) {
        m_chunks.push_back(chunk->values);
        m_summaries.push_back(&chunk->summary);
    }
    m_whole = m_snapshot->whole.data();
    m_wholeCount = std::min(m_snapshot->whole.size(), m_snapshot->chunks.size());
}

std::optional<ScopeRange> ScopeSeries::range(std::size_t first, std::size_t last) const
{
    if (m_size == 0 || first > last)
        return std::nullopt;
    last = std::min(last, m_size - 1);
    if (first > last)
        return std::nullopt;
    constexpr double inf = std::numeric_limits<double>::infinity();
    double low = inf, high = -inf;
    const bool summarised = !m_summaries.empty();
    scopeChunkedRange(
        m_head + first, m_head + last,
        [&](std::size_t c) {
            return std::make_pair(m_chunks[c], summarised ? m_summaries[c] : nullptr);
        },
        [&](std::size_t c) { return c < m_wholeCount ? &m_whole[c] : &m_summaries[c]->all; }, low, high);
    if (!(low <= high))
        return std::nullopt;
    return ScopeRange{timeOnAxis(low, m_offset), timeOnAxis(high, m_offset)};
}

ScopeCurveData::ScopeCurveData(const QVector<double>& x, const QVector<double>& y)
    : m_xs(x, false), m_ys(y, true), m_size(std::min(x.size(), y.size()))
{
    // Sorted means ascending and finite throughout; a comparison with NaN is
    // false, so NaN ends the sorted run by itself.
    const double* xs = x.constData();
    for (int i = 1; i < m_size && m_sortedX; ++i)
        m_sortedX = xs[i] >= xs[i - 1];
    summarise();
}

ScopeCurveData::ScopeCurveData(const ScopeSeries& x, const ScopeSeries& y, bool sortedX)
    : m_xs(x), m_ys(y), m_size(int(std::min(x.size(), y.size())))
{
    if (!sortedX) {
        for (int i = 1; i < m_size && m_sortedX; ++i)
            m_sortedX = xAt(i) >= xAt(i - 1);
    }
    summarise();
}

void ScopeCurveData::summarise()
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    if (m_size > 0 && !(std::isfinite(xAt(0)) && std::isfinite(xAt(m_size - 1))))
        m_sortedX = false;

    double minX = inf, maxX = -inf;
    if (m_sortedX && m_size > 0) {
        minX = xAt(0);
        maxX = xAt(m_size - 1);
    } else {
        for (int i = 0; i < m_size; ++i) {
            const double v = xAt(i);
            if (std::isfinite(v)) {
                minX = std::min(minX, v);
                maxX = std::max(maxX, v);
            }
        }
    }

    const std::optional<ScopeRange> yRange = m_size > 0 ? m_ys.range(0, std::size_t(m_size - 1)) : std::nullopt;
    m_hasFiniteY = yRange.has_value();
    if (yRange) {
        m_minY = yRange->min;
        m_maxY = yRange->max;
    }
    if (minX <= maxX && m_hasFiniteY)
        m_bounds = QRectF(minX, m_minY, maxX - minX, m_maxY - m_minY);
    else
        m_bounds = QRectF(1.0, 1.0, -2.0, -2.0);  // Qwt's "no bounds"
}

std::optional<ScopeRange> ScopeCurveData::yRange(int first, int last) const
{
    first = std::max(first, 0);
    last = std::min(last, m_size - 1);
    if (first > last)
        return std::nullopt;
    return m_ys.range(std::size_t(first), std::size_t(last));
}

size_t ScopeCurveData::size() const
{
    return static_cast<size_t>(m_size);
}

QPointF ScopeCurveData::sample(size_t i) const
{
    return QPointF(m_xs.at(i), m_ys.at(i));
}

QRectF ScopeCurveData::boundingRect() const
{
    return m_bounds;
}

std::optional<ScopeRange> ScopeCurveData::finiteYRange() const
{
    if (!m_hasFiniteY)
        return std::nullopt;
    return ScopeRange{m_minY, m_maxY};
}

namespace {

// First index in [0, size) whose x is not below (or, upper, above) value.
template <typename Less>
int searchX(const ScopeCurveData& data, int size, Less less)
{
    int lo = 0, count = size;
    while (count > 0) {
        const int step = count / 2;
        const int mid = lo + step;
        if (less(data.xAt(mid))) {
            lo = mid + 1;
            count -= step + 1;
        } else {
            count = step;
        }
    }
    return lo;
}

} // namespace

std::pair<int, int> ScopeCurveData::drawRange(double x1, double x2) const
{
    if (m_size == 0)
        return {0, -1};
    if (!m_sortedX)
        return {0, m_size - 1};
    if (x1 > x2)
        std::swap(x1, x2);
    const int first = searchX(*this, m_size, [x1](double v) { return v < x1; }) - 1;
    const int last = searchX(*this, m_size, [x2](double v) { return !(x2 < v); });
    return {std::max(first, 0), std::min(last, m_size - 1)};
}

int ScopeCurveData::blockCount() const
{
    if (m_size == 0)
        return 0;
    return blockOf(m_size - 1) + 1;
}

int ScopeCurveData::blockFirst(int block) const
{
    return std::max(0, block * kBlockSize - blockShift());
}

int ScopeCurveData::blockLast(int block) const
{
    return std::min(m_size, (block + 1) * kBlockSize - blockShift()) - 1;
}

std::optional<ScopeRange> ScopeCurveData::blockYRange(int block) const
{
    if (block < 0 || block >= blockCount())
        return std::nullopt;
    return yRange(blockFirst(block), blockLast(block));
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

void ScopeCurve::setScopeSeries(const ScopeSeries& x, const ScopeSeries& y, bool sortedX)
{
    setData(new ScopeCurveData(x, y, sortedX));
}

const ScopeCurveData* ScopeCurve::scopeData() const
{
    return dynamic_cast<const ScopeCurveData*>(data());
}

void ScopeCurve::forgetColumns()
{
    std::lock_guard<std::mutex> lock(m_kept->mutex);
    m_kept->columns = ScopeColumnMemo();
}

namespace {

// The running page reads x as stamp - oldest stamp, so between two redraws
// every x moves by the time the window moved on, and the samples of a pixel
// column change unless that time is a whole number of columns. Pixel columns
// are therefore drawn for x shifted by the part of a column that the origin
// holds beyond a whole number of columns: a column then holds the samples of
// the same stamps from one redraw to the next, and its range can be taken from
// what the curve kept (see ScopeColumnMemo). The drawing moves right by less
// than a pixel; x itself (tracker, cursors, export) is not changed.
double columnPhase(const ScopeSeries& x, const QwtScaleMap& map)
{
    const double column = (map.s2() - map.s1()) / (map.p2() - map.p1());
    if (x.offset() == 0.0 || map.transformation() || !(column > 0.0) || !std::isfinite(column))
        return 0.0;
    double phase = std::fmod(x.offset(), column) / column;
    if (phase < 0.0)
        phase += 1.0;
    return phase >= 0.0 && phase < 1.0 ? phase : 0.0;
}

// The pixel-column runs of the samples from..to of a sorted curve, from the
// cache its x series shares with the other curves when the map is linear.
std::shared_ptr<const ScopeColumnRuns> scopeColumnRuns(const ScopeCurveData& data, const QwtScaleMap& xMap,
                                                       int from, int to)
{
    auto make = [&]() {
        auto runs = std::make_shared<ScopeColumnRuns>();
        runs->s1 = xMap.s1();
        runs->s2 = xMap.s2();
        runs->p1 = xMap.p1();
        runs->p2 = xMap.p2();
        runs->from = from;
        runs->to = to;
        runs->phase = columnPhase(data.xSeries(), xMap);
        const double phase = runs->phase;
        const double columns = std::max(1.0, std::abs(xMap.p2() - xMap.p1()));
        const size_t expected = static_cast<size_t>(std::min(columns, double(to - from + 1))) + 2;
        runs->starts.reserve(expected + 1);
        runs->columns.reserve(expected);
        runs->firstX.reserve(expected);
        runs->lastX.reserve(expected);
        auto pixelOf = [&](int i) { return clampPixel(xMap.transform(data.xAt(i)) + phase); };
        // The end of each run: with evenly spaced stamps a run is as long as
        // the one before, give or take a sample, so the search starts there
        // and gallops from it (a few reads in one place instead of a
        // search over the run), then bisects.
        auto inColumn = [&](int k, double column) { return std::floor(pixelOf(k)) == column; };
        int i = from, length = 1;
        while (i <= to) {
            const double firstX = pixelOf(i);
            const double column = std::floor(firstX);
            // same: the last index known in the column; other: the first
            // known beyond it (or to + 1).
            int same = i, other = std::min(i + length, to + 1);
            if (other <= to && inColumn(other, column)) {
                for (int step = 1; other <= to && inColumn(other, column); step *= 2) {
                    same = other;
                    other = same + step;
                }
                other = std::min(other, to + 1);
            } else {
                for (int step = 1; other - step > same; step *= 2) {
                    const int probe = other - step;
                    if (inColumn(probe, column)) {
                        same = probe;
                        break;
                    }
                    other = probe;
                }
            }
            while (other - same > 1) {
                const int mid = same + (other - same) / 2;
                if (inColumn(mid, column))
                    same = mid;
                else
                    other = mid;
            }
            length = other - i;
            runs->starts.push_back(i);
            runs->columns.push_back(column);
            runs->firstX.push_back(firstX);
            runs->lastX.push_back(pixelOf(other - 1));
            i = other;
        }
        runs->starts.push_back(to + 1);
        return std::shared_ptr<const ScopeColumnRuns>(std::move(runs));
    };
    const std::shared_ptr<ScopeColumnCache>& cache = data.xSeries().columnCache();
    if (!cache || xMap.transformation())
        return make();
    return cache->runs(xMap, from, to, make);
}

} // namespace

ScopeCurveSketch scopeCurveSketch(const QwtSeriesData<QPointF>& data, const QwtScaleMap& xMap,
                                  const QwtScaleMap& yMap, int from, int to, ScopeColumnMemo* memo)
{
    ScopeCurveSketch sketch;
    const int size = static_cast<int>(data.size());
    from = std::max(from, 0);
    to = std::min(to, size - 1);
    if (from > to)
        return sketch;

    const auto* scope = dynamic_cast<const ScopeCurveData*>(&data);
    const bool sorted = scope && scope->isSortedX();
    if (sorted) {
        const auto range = scope->drawRange(xMap.s1(), xMap.s2());
        from = std::max(from, range.first);
        to = std::min(to, range.second);
        if (from > to)
            return sketch;
    }

    const int count = to - from + 1;
    const double columns = std::max(1.0, std::abs(xMap.p2() - xMap.p1()));
    if (!sorted || count <= columns) {
        sketch.line.reserve(count);
        for (int i = from; i <= to; ++i) {
            const QPointF s = data.sample(static_cast<size_t>(i));
            if (!std::isfinite(s.x()) || !std::isfinite(s.y()))
                continue;
            sketch.line.append(QPointF(clampPixel(xMap.transform(s.x())), clampPixel(yMap.transform(s.y()))));
        }
        return sketch;
    }

    // Many samples per pixel column. x is sorted, so the samples of one
    // column are a contiguous run; the runs are the same for every curve
    // over this x and are found once. Each run's y range comes from the
    // memo when it held the same rows, else from the summaries, so the cost
    // follows the canvas width, not the sample count.
    const std::shared_ptr<const ScopeColumnRuns> runs = scopeColumnRuns(*scope, xMap, from, to);
    const std::size_t runCount = runs->columns.size();
    const ScopeSeries& ys = scope->ySeries();
    ScopeColumnMemo drawn;
    drawn.source = ys.source();
    drawn.offset = ys.offset();
    drawn.columns.resize(runCount);
    const bool known = memo && ys.source() != 0 && memo->source == ys.source() &&
                       std::memcmp(&memo->offset, &drawn.offset, sizeof(double)) == 0;
    std::vector<std::size_t> unknown;  // runs whose values are read
    unknown.reserve(known ? 64 : runCount);
    for (std::size_t r = 0, k = 0; r < runCount; ++r) {
        ScopeColumnMemo::Column& column = drawn.columns[r];
        column.first = ys.firstRow() + std::uint64_t(runs->starts[r]);
        column.last = ys.firstRow() + std::uint64_t(runs->starts[r + 1] - 1);
        if (known) {
            const std::vector<ScopeColumnMemo::Column>& kept = memo->columns;
            while (k < kept.size() && kept[k].first < column.first)
                ++k;
            if (k < kept.size() && kept[k].first == column.first && kept[k].last == column.last) {
                column = kept[k];
                continue;
            }
        }
        unknown.push_back(r);
    }
    // Runs this far ahead have their memory asked for while this one is read.
    constexpr std::size_t kAhead = 12;
    for (std::size_t u = 0; u < std::min(kAhead, unknown.size()); ++u)
        ys.prefetch(static_cast<size_t>(runs->starts[unknown[u]]));
    for (std::size_t u = 0; u < unknown.size(); ++u) {
        if (u + kAhead < unknown.size())
            ys.prefetch(static_cast<size_t>(runs->starts[unknown[u + kAhead]]));
        const std::size_t r = unknown[u];
        ScopeColumnMemo::Column& column = drawn.columns[r];
        const int first = runs->starts[r];
        const int last = runs->starts[r + 1] - 1;
        const std::optional<ScopeRange> range = scope->yRange(first, last);
        if (!range) {
            column.low = std::numeric_limits<double>::infinity();
            column.high = -column.low;
            continue;  // nothing finite in this column
        }
        column.low = range->min;
        column.high = range->max;
        int a = first, b = last;
        while (!std::isfinite(scope->yAt(a)))
            ++a;
        while (!std::isfinite(scope->yAt(b)))
            --b;
        column.skipFirst = std::uint32_t(a - first);
        column.skipLast = std::uint32_t(last - b);
        column.firstY = scope->yAt(a);
        column.lastY = scope->yAt(b);
    }

    sketch.spans.reserve(static_cast<int>(runCount));
    bool hasPrevious = false;
    double previousColumn = 0.0, previousX = 0.0, previousY = 0.0;
    for (std::size_t r = 0; r < runCount; ++r) {
        const ScopeColumnMemo::Column& kept = drawn.columns[r];
        if (!(kept.low <= kept.high))
            continue;
        const double column = runs->columns[r];
        const int first = runs->starts[r];
        const int last = runs->starts[r + 1] - 1;
        auto pixelX = [&](int i) { return clampPixel(xMap.transform(scope->xAt(i)) + runs->phase); };
        const double firstX = kept.skipFirst == 0 ? runs->firstX[r] : pixelX(first + int(kept.skipFirst));
        const double firstY = clampPixel(yMap.transform(kept.firstY));
        const double rowA = clampPixel(yMap.transform(kept.low));
        const double rowB = clampPixel(yMap.transform(kept.high));
        double top = std::min(rowA, rowB), bottom = std::max(rowA, rowB);
        if (hasPrevious) {
            // The line from the column before: in the next column it is
            // (nearly) vertical, farther away it is drawn as a line.
            if (std::abs(column - previousColumn) <= 1.0) {
                top = std::min(top, previousY);
                bottom = std::max(bottom, previousY);
            } else {
                sketch.links.append(QLineF(previousX, previousY, firstX, firstY));
            }
        }
        sketch.spans.append(QRectF(column, top, 1.0, bottom - top));
        hasPrevious = true;
        previousColumn = column;
        previousX = kept.skipLast == 0 ? runs->lastX[r] : pixelX(last - int(kept.skipLast));
        previousY = clampPixel(yMap.transform(kept.lastY));
    }
    if (memo)
        *memo = std::move(drawn);
    return sketch;
}

namespace {

// The pixels of the raster image a painter draws on, where storing them
// gives exactly what the painter would draw itself: the raster engine on a
// 32-bit RGB image (a QImage, or a QPixmap such as the canvas's backing
// store), no transformation but a whole-pixel shift, full opacity,
// source-over or source composition, and at most one clip rectangle.
struct RasterTarget
{
    uchar* bits = nullptr;
    qsizetype stride = 0;
    QRect clip; // in device pixels
    int dx = 0, dy = 0;
};

// rect in device pixels, cut to the target's clip: empty (inverted) when
// outside it. Inline, as it runs for every span of every curve.
inline QRect onTarget(const RasterTarget& target, const QRect& rect)
{
    return QRect(QPoint(std::max(rect.left() + target.dx, target.clip.left()),
                        std::max(rect.top() + target.dy, target.clip.top())),
                 QPoint(std::min(rect.right() + target.dx, target.clip.right()),
                        std::min(rect.bottom() + target.dy, target.clip.bottom())));
}

bool rasterTarget(QPainter* painter, RasterTarget& target)
{
    QPaintEngine* engine = painter->paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || painter->opacity() != 1.0)
        return false;
    const QPainter::CompositionMode mode = painter->compositionMode();
    if (mode != QPainter::CompositionMode_SourceOver && mode != QPainter::CompositionMode_Source)
        return false;
    // A window's backing store has a system clip: left to the painter.
    if (!engine->systemClip().isEmpty())
        return false;
    QPaintDevice* device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return false;
    auto* image = static_cast<QImage*>(device);
    const QImage::Format format = image->format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
        format != QImage::Format_ARGB32_Premultiplied)
        return false;
    // The engine writes into the image's own buffer; a shared image would be
    // copied by the write access below and the pixels would go elsewhere.
    if (!image->isDetached())
        return false;
    const QTransform transform = painter->deviceTransform();
    if (transform.type() > QTransform::TxTranslate)
        return false;
    target.dx = static_cast<int>(transform.dx());
    target.dy = static_cast<int>(transform.dy());
    if (target.dx != transform.dx() || target.dy != transform.dy())
        return false;
    target.clip = image->rect();
    if (painter->hasClipping()) {
        const QRegion region = painter->clipRegion();
        if (region.rectCount() > 1)
            return false;
        target.clip &= region.boundingRect().translated(target.dx, target.dy);
    }
    target.bits = image->bits();
    target.stride = image->bytesPerLine();
    return true;
}

// Fills whole-pixel rectangles with an opaque colour by storing the pixels
// of the raster image being painted on. Through the painter a rectangle
// costs a call per pixel row; here a store per pixel, so the cost of tall
// column spans stays small. False, with nothing drawn, where the painter
// would draw other pixels (see RasterTarget) or the colour is not opaque.
bool fillOpaqueRects(QPainter* painter, const std::vector<QRect>& rects, const QColor& color)
{
    RasterTarget target;
    if (color.alpha() != 255 || !rasterTarget(painter, target))
        return false;
    // Opaque: the same value in all three formats.
    const quint32 value = color.rgba();
    for (const QRect& rect : rects) {
        const QRect r = onTarget(target, rect);
        if (r.isEmpty())
            continue;
        uchar* line = target.bits + r.top() * target.stride + r.left() * qsizetype(sizeof(quint32));
        const int width = r.width();
        if (width == 1) {
            // The usual case, a column span: one store per row.
            for (int rows = r.height(); rows > 0; --rows, line += target.stride)
                *reinterpret_cast<quint32*>(line) = value;
            continue;
        }
        for (int y = r.top(); y <= r.bottom(); ++y, line += target.stride) {
            auto* pixel = reinterpret_cast<quint32*>(line);
            for (int x = 0; x < width; ++x)
                pixel[x] = value;
        }
    }
    return true;
}

// The lines that bridge columns without samples, with the painter's pen.
void drawLinks(QPainter* painter, const ScopeCurvePaint& paint)
{
    for (const QLineF& link : paint.links) {
        QPolygonF segment;
        segment << link.p1() << link.p2();
        if (paint.clip)
            segment = QwtClipper::clipPolygonF(paint.clipRect, segment, false);
        QwtPainter::drawPolyline(painter, segment);
    }
}

} // namespace

bool fillOpaqueLayers(QPainter* painter, const std::vector<const ScopeCurvePaint*>& layers)
{
    RasterTarget target;
    for (const ScopeCurvePaint* layer : layers) {
        if (layer->polyline || layer->color.alpha() != 255)
            return false;
    }
    if (!rasterTarget(painter, target))
        return false;
    const QRect& clip = target.clip;
    if (clip.isEmpty())
        return true;
    // Columns a bridging line may touch (its pen's half width and a pixel of
    // antialiasing beyond its ends) keep the plain order: there a line lies
    // above its own curve's spans and below the next curves'.
    // Both masks keep their storage from one drawing to the next (per
    // thread: an image export may draw on another).
    thread_local std::vector<char> inOrder;
    inOrder.assign(std::size_t(clip.width()), 0);
    bool anyInOrder = false;
    for (const ScopeCurvePaint* layer : layers) {
        const int reach = static_cast<int>(std::ceil(std::max(qreal(1.0), layer->pen.widthF()))) + 2;
        for (const QLineF& link : layer->links) {
            const double left = std::min(link.x1(), link.x2()) + target.dx - reach;
            const double right = std::max(link.x1(), link.x2()) + target.dx + reach;
            const int from = std::max(clip.left(), static_cast<int>(std::floor(std::max(left, -1e9))));
            const int to = std::min(clip.right(), static_cast<int>(std::ceil(std::min(right, 1e9))));
            for (int x = from; x <= to; ++x)
                inOrder[std::size_t(x - clip.left())] = 1;
            anyInOrder = anyInOrder || from <= to;
        }
    }
    auto store = [&](int x, int top, int bottom, quint32 value) {
        uchar* line = target.bits + qsizetype(top) * target.stride + x * qsizetype(sizeof(quint32));
        for (int n = bottom - top + 1; n > 0; --n, line += target.stride)
            *reinterpret_cast<quint32*>(line) = value;
    };

    // One bit per pixel of the clip rectangle, column by column: set once a
    // later layer has stored the pixel. The layers go last to first, and each
    // stores only the pixels of its rectangles that no later one covers.
    const int words = (clip.height() + 63) / 64;
    thread_local std::vector<std::uint64_t> covered;
    covered.assign(std::size_t(words) * std::size_t(clip.width()), 0);
    for (auto layer = layers.rbegin(); layer != layers.rend(); ++layer) {
        const quint32 value = (*layer)->color.rgba();
        for (const QRect& rect : (*layer)->rects) {
            const QRect r = onTarget(target, rect);
            if (r.isEmpty())
                continue;
            const int top = r.top() - clip.top(), bottom = r.bottom() - clip.top();
            for (int x = r.left(); x <= r.right(); ++x) {
                if (inOrder[std::size_t(x - clip.left())])
                    continue;
                std::uint64_t* column = covered.data() + std::size_t(x - clip.left()) * std::size_t(words);
                for (int w = top / 64; w <= bottom / 64; ++w) {
                    const int from = std::max(top - w * 64, 0), to = std::min(bottom - w * 64, 63);
                    const std::uint64_t span = (to == 63 ? ~std::uint64_t(0) : (std::uint64_t(1) << (to + 1)) - 1) &
                                               ~((std::uint64_t(1) << from) - 1);
                    std::uint64_t open = span & ~column[w];
                    column[w] |= span;
                    while (open) {
                        // A run of pixels no later layer stored.
                        const int first = __builtin_ctzll(open);
                        const std::uint64_t rest = ~(open >> first);
                        const int length = rest ? __builtin_ctzll(rest) : 64 - first;
                        const int row = clip.top() + w * 64 + first;
                        store(x, row, row + length - 1, value);
                        open &= length + first >= 64 ? 0 : ~std::uint64_t(0) << (length + first);
                    }
                }
            }
        }
    }
    if (!anyInOrder)
        return true;
    // The columns in plain order: each layer's spans there, then its lines.
    for (const ScopeCurvePaint* layer : layers) {
        const quint32 value = layer->color.rgba();
        for (const QRect& rect : layer->rects) {
            const QRect r = onTarget(target, rect);
            for (int x = r.left(); x <= r.right(); ++x) {
                if (inOrder[std::size_t(x - clip.left())])
                    store(x, r.top(), r.bottom(), value);
            }
        }
        if (layer->links.isEmpty())
            continue;
        painter->save();
        painter->setPen(layer->pen);
        painter->setRenderHint(QPainter::Antialiasing, layer->antialiased);
        drawLinks(painter, *layer);
        painter->restore();
    }
    return true;
}

ScopeCurvePaint ScopeCurve::sketchPaint(const QPen& pen, bool alignToPixels, const QwtScaleMap& xMap,
                                        const QwtScaleMap& yMap, const QRectF& canvasRect, int from,
                                        int to) const
{
    ScopeCurvePaint paint;
    if (from > to)
        return paint;
    ScopeColumnMemo kept;
    {
        std::lock_guard<std::mutex> lock(m_kept->mutex);
        kept = std::move(m_kept->columns);
    }
    ScopeCurveSketch sketch = scopeCurveSketch(*data(), xMap, yMap, from, to, &kept);
    {
        std::lock_guard<std::mutex> lock(m_kept->mutex);
        m_kept->columns = std::move(kept);
    }
    const qreal pw = std::max(qreal(1.0), pen.widthF());
    paint.clipRect = canvasRect.adjusted(-pw, -pw, pw, pw);
    paint.clip = testPaintAttribute(QwtPlotCurve::ClipPolygons);
    paint.color = pen.color();
    paint.pen = pen;

    if (!sketch.line.isEmpty()) {
        if (alignToPixels) {
            for (QPointF& p : sketch.line)
                p = QPointF(qRound(p.x()), qRound(p.y()));
        }
        paint.polyline = true;
        paint.line = std::move(sketch.line);
        return paint;
    }
    paint.links = std::move(sketch.links);

    // Spans are filled as whole-pixel rectangles one pen wide: a wide pen's
    // stroker costs far more than a fill, for the same pixels.
    const QRect bounds = paint.clipRect.toAlignedRect();
    const int width = static_cast<int>(std::lround(pw));
    // A span w pixels wide overlaps the next w - 1 columns' spans, and in a
    // dense band most of that overlap is painted again. With columns in
    // rising order each pixel column is painted once instead: the union of
    // the spans that reach it, usually one interval. Same pixels, a w-th of
    // the fill.
    struct Column { int x, top, bottom; };
    // A std::vector: the merge below reads it a few times per pixel column,
    // and a QVector's element access checks its sharing every time.
    std::vector<Column> columns;
    columns.reserve(static_cast<size_t>(sketch.spans.size()));
    bool rising = width >= 1 && width <= 8;
    for (const QRectF& span : qAsConst(sketch.spans)) {
        const int top = static_cast<int>(std::floor(span.top() - pw / 2 + 0.5));
        const int bottom = static_cast<int>(std::floor(span.bottom() + pw / 2 + 0.5));
        const int x = static_cast<int>(span.x());
        if (!columns.empty() && x <= columns.back().x)
            rising = false;
        columns.push_back(Column{x, top, bottom});
    }
    const int columnCount = static_cast<int>(columns.size());
    const Column* const col = columns.data();
    std::vector<QRect>& rects = paint.rects;
    rects.reserve(static_cast<size_t>(columns.size()) * 2 + 16);
    // The part of columns x..x + w - 1, rows top..bottom - 1 inside bounds;
    // a thousand of these per curve, so the clipping is done here in place.
    const int clipLeft = bounds.left(), clipRight = bounds.right();
    const int clipTop = bounds.top(), clipBottom = bounds.bottom();
    auto add = [&](int x, int w, int top, int bottom) {
        const int left = std::max(x, clipLeft), right = std::min(x + w - 1, clipRight);
        top = std::max(top, clipTop);
        bottom = std::min(bottom - 1, clipBottom);
        if (left <= right && top <= bottom)
            rects.emplace_back(QPoint(left, top), QPoint(right, bottom));
    };
    if (!rising) {
        for (const Column& c : columns)
            add(c.x, width, c.top, c.bottom);
    } else {
        int first = 0;  // first column whose span can still reach pixel column p
        for (int n = 0; n < columnCount; ++n) {
            // Pixel columns from this span's x up to the next span's x.
            const int end = n + 1 < columnCount ? col[n + 1].x : col[n].x + width;
            for (int p = col[n].x; p < end; ++p) {
                while (col[first].x + width <= p)
                    ++first;
                if (first > n)
                    break;
                // The reaching spans' [top, bottom) intervals, merged.
                std::array<std::pair<int, int>, 8> parts;
                int count = 0;
                for (int k = first; k <= n; ++k) {
                    if (col[k].bottom <= col[k].top)
                        continue;
                    // Insertion by top: there are at most `width` of them.
                    int at = count++;
                    for (; at > 0 && parts[static_cast<size_t>(at - 1)].first > col[k].top; --at)
                        parts[static_cast<size_t>(at)] = parts[static_cast<size_t>(at - 1)];
                    parts[static_cast<size_t>(at)] = {col[k].top, col[k].bottom};
                }
                int k = 0;
                while (k < count) {
                    int top = parts[static_cast<size_t>(k)].first, bottom = parts[static_cast<size_t>(k)].second;
                    while (++k < count && parts[static_cast<size_t>(k)].first <= bottom)
                        bottom = std::max(bottom, parts[static_cast<size_t>(k)].second);
                    add(p, 1, top, bottom);
                }
            }
        }
    }
    return paint;
}

void ScopeCurve::paint(QPainter* painter, const ScopeCurvePaint& paint)
{
    if (paint.polyline) {
        QwtPainter::drawPolyline(painter, paint.clip ? QwtClipper::clipPolygonF(paint.clipRect, paint.line, false)
                                                     : paint.line);
        return;
    }
    // The spans go to the painter in one call: per-call overhead, not
    // pixels, dominates a thousand small fills per curve.
    if (!paint.rects.empty() && !fillOpaqueRects(painter, paint.rects, paint.color)) {
        painter->save();
        painter->setPen(Qt::NoPen);
        painter->setBrush(paint.color);
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->drawRects(paint.rects.data(), static_cast<int>(paint.rects.size()));
        painter->restore();
    }
    drawLinks(painter, paint);
}

void ScopeCurve::drawLines(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                           const QRectF& canvasRect, int from, int to) const
{
    paint(painter, sketchPaint(painter->pen(), QwtPainter::roundingAlignment(painter), xMap, yMap, canvasRect,
                               from, to));
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
    const int blocks = scope->blockCount();
    const double cursorX = xMap.invTransform(pos.x());
    int start = searchX(*scope, size, [cursorX](double v) { return v < cursorX; });
    start = scope->blockOf(std::clamp(start, 0, size - 1));
    start = std::clamp(start, 0, blocks - 1);

    enum class Visit { Scanned, Skipped, Beyond };
    auto visit = [&](int b) {
        const int i0 = scope->blockFirst(b);
        const int i1 = scope->blockLast(b);
        const int pxA = scopePixel(xMap, scope->xAt(i0));
        const int pxB = scopePixel(xMap, scope->xAt(i1));
        const qint64 gapX = std::max<qint64>({0, std::min(pxA, pxB) - pos.x(), pos.x() - std::max(pxA, pxB)});
        if (gapX * gapX > best.distance2)
            return Visit::Beyond;
        const std::optional<ScopeRange> range = scope->blockYRange(b);
        if (!range)
            return Visit::Skipped;
        const double lo = range->min, hi = range->max;
        const int pyA = scopePixel(yMap, lo);
        const int pyB = scopePixel(yMap, hi);
        const qint64 gapY = std::max<qint64>({0, std::min(pyA, pyB) - pos.y(), pos.y() - std::max(pyA, pyB)});
        if (gapX * gapX + gapY * gapY > best.distance2)
            return Visit::Skipped;
        for (int i = i0; i <= i1; ++i)
            consider(i, scope->xAt(i), scope->yAt(i));
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
