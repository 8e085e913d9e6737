// Curve data for the scope plot. The page hands over 36 curves of up to a
// million samples every few hundred milliseconds, so the data reads the
// store's shared chunks (or the implicitly shared vectors it is given) in
// place instead of copying them into points, takes ranges from per-block
// summaries, and drawing reduces each pixel column to first/min/max/last so
// that every peak stays visible at any sample count.
#pragma once

#include <qwt_plot_curve.h>
#include <qwt_series_data.h>

#include <QColor>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <QLineF>
#include <QPolygonF>
#include <QRectF>
#include <QVector>

#include "scopeanalysis.h"
#include "scopesamplestore.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

class QwtScaleMap;
class ScopeColumnCache;

// One column of curve values as the plot reads it: chunks of
// ScopeChunk::kSize values with their hierarchy of finite minima and maxima.
// It either views a QVector (sharing it, summaries computed once) or a
// snapshot of the sample store (sharing its chunks). Values are read relative
// to an origin (timeOnAxis), which is how the time base starts at 0.
class ScopeSeries
{
public:
    static constexpr std::size_t kChunkSize = ScopeChunk::kSize;

    ScopeSeries() = default;
    explicit ScopeSeries(const QVector<double>& values, bool summarise = true);
    explicit ScopeSeries(std::shared_ptr<const ScopeColumnSnapshot> snapshot, double offset = 0.0);

    std::size_t size() const { return m_size; }
    // Position of value 0 in the first chunk; blocks are counted from the
    // start of that chunk.
    std::size_t head() const { return m_head; }
    double at(std::size_t i) const
    {
        const std::size_t pos = m_head + i;
        return timeOnAxis(m_chunks[pos / kChunkSize][pos % kChunkSize], m_offset);
    }
    const QVector<double>& vector() const { return m_vector; }
    double offset() const { return m_offset; }
    // Where the values come from: value i is row firstRow() + i of source()
    // (see ScopeColumnSnapshot; a vector is a source of its own, from row 0).
    // Two series with the same source agree on every row both hold.
    std::uint64_t source() const { return m_source; }
    std::uint64_t firstRow() const { return m_firstRow; }
    // The values as the measuring code reads them; valid while this series
    // (or a copy of it) lives.
    ScopeChunkedValues chunked() const
    {
        ScopeChunkedValues v;
        v.chunks = m_chunks.data();
        v.summaries = m_summaries.empty() ? nullptr : m_summaries.data();
        v.head = m_head;
        v.size = m_size;
        v.offset = m_offset;
        return v;
    }

    // Finite range of the values first..last (offset applied), none when
    // there is none. Read from the summaries where there are any: a few
    // entries whatever the length of the stretch.
    std::optional<ScopeRange> range(std::size_t first, std::size_t last) const;

    // Asks for the memory that a range beginning or ending at value i reads
    // (the values of its block and the summary entries beside it), so that drawing
    // column after column overlaps the waits for memory instead of taking
    // them one by one.
    void prefetch(std::size_t i) const
    {
        // Prefetches count as free of side effects, so the compiler would
        // drop a call of this function altogether; the empty volatile asm
        // keeps it.
        asm volatile("");
        if (i >= m_size)
            return;
        const std::size_t pos = m_head + i;
        const std::size_t c = pos / kChunkSize;
        const std::size_t offset = pos % kChunkSize;
        // The values of i's block (two cache lines): both ranges meeting at
        // i read their ends there.
        const double* block = m_chunks[c] + offset / ScopeChunkSummary::kBlockSize * ScopeChunkSummary::kBlockSize;
        __builtin_prefetch(block);
        __builtin_prefetch(block + ScopeChunkSummary::kBlockSize - 1);
        if (m_summaries.empty())
            return;
        const ScopeChunkSummary& summary = *m_summaries[c];
        for (std::size_t level = 0; level < ScopeChunkSummary::kLevels; ++level)
            __builtin_prefetch(summary.siblings(level, offset));
    }

    // Where the pixel columns of a drawing begin, worked out once for all
    // curves that share this series as their x (see ScopeCurveData).
    const std::shared_ptr<ScopeColumnCache>& columnCache() const { return m_columnCache; }

private:

    std::vector<const double*> m_chunks;
    std::vector<const ScopeChunkSummary*> m_summaries; // empty without summaries
    // The whole-chunk entries of the first m_wholeCount chunks side by side
    // (see ScopeColumnSnapshot::whole); the others are read from m_summaries.
    const ScopeChunkSummary::Entry* m_whole = nullptr;
    std::size_t m_wholeCount = 0;
    std::size_t m_head = 0;
    std::size_t m_size = 0;
    double m_offset = 0.0;
    std::uint64_t m_source = 0; // 0: unknown
    std::uint64_t m_firstRow = 0;
    // Owners of what the pointers above point into.
    QVector<double> m_vector;
    std::shared_ptr<const ScopeColumnSnapshot> m_snapshot;
    std::shared_ptr<std::vector<ScopeChunkSummary>> m_ownSummaries;
    std::shared_ptr<std::vector<ScopeChunkSummary::Entry>> m_ownWhole;
    std::shared_ptr<ScopeColumnCache> m_columnCache;
};

class ScopeCurveData : public QwtSeriesData<QPointF>
{
public:
    // Samples per block of the nearest-sample search: a whole number of the
    // summaries' blocks, so a block's range is a few summary entries.
    static constexpr int kBlockSize = 64;
    static_assert(kBlockSize % int(ScopeChunkSummary::kBlockSize) == 0 && ScopeChunk::kSize % kBlockSize == 0,
                  "search blocks are made of summary blocks and tile a chunk");

    ScopeCurveData() = default;
    // Keeps both vectors (shared, not copied). The curve has as many samples
    // as the shorter of the two.
    ScopeCurveData(const QVector<double>& x, const QVector<double>& y);
    // Reads both series in place; sortedX is the caller's knowledge that x
    // never decreases (it is checked only when not known).
    ScopeCurveData(const ScopeSeries& x, const ScopeSeries& y, bool sortedX);

    size_t size() const override;
    QPointF sample(size_t i) const override;
    QRectF boundingRect() const override;  // over the finite samples

    // The vectors given to the first constructor; empty otherwise.
    const QVector<double>& xData() const { return m_xs.vector(); }
    const QVector<double>& yData() const { return m_ys.vector(); }
    double xAt(int i) const { return m_xs.at(std::size_t(i)); }
    const ScopeSeries& xSeries() const { return m_xs; }
    double yAt(int i) const { return m_ys.at(std::size_t(i)); }
    const ScopeSeries& ySeries() const { return m_ys; }

    // x is finite and never decreases from one sample to the next.
    bool isSortedX() const { return m_sortedX; }
    // Smallest and largest finite y; none when there is none.
    std::optional<ScopeRange> finiteYRange() const;

    // Index range [first, last] of the samples needed to draw x1..x2 on a
    // sorted curve: the samples inside plus one neighbour on each side, so
    // lines leaving the visible range are kept. Empty (first > last) when
    // no sample is needed.
    std::pair<int, int> drawRange(double x1, double x2) const;

    // Blocks of kBlockSize positions aligned with y's chunks, block 0
    // holding sample 0: the first and last block may hold fewer samples.
    int blockCount() const;
    int blockOf(int i) const { return (blockShift() + i) / kBlockSize; }
    int blockFirst(int block) const;
    int blockLast(int block) const;
    // Finite y range of a block, none when it holds no finite y.
    std::optional<ScopeRange> blockYRange(int block) const;
    // Finite y range of the samples first..last, none when there is none.
    std::optional<ScopeRange> yRange(int first, int last) const;

private:
    void summarise();
    int blockShift() const { return int(m_ys.head() % std::size_t(kBlockSize)); }

    ScopeSeries m_xs;
    ScopeSeries m_ys;
    int m_size = 0;
    bool m_sortedX = true;
    bool m_hasFiniteY = false;
    QRectF m_bounds;
    double m_minY = 0.0;
    double m_maxY = 0.0;
};

// What a drawing of a curve found in its pixel columns, kept for the next
// drawing: the rows of each column's samples (numbered in the y values'
// source), their finite range and the first and last finite value. A running
// scope redraws a window that moved by a few hundred rows; the columns whose
// rows are the same as last time are drawn from here instead of reading the
// values again, which for a long window are memory long out of the caches.
struct ScopeColumnMemo
{
    struct Column
    {
        std::uint64_t first = 0, last = 0;
        double low = 0.0, high = 0.0;     // low > high: nothing finite
        double firstY = 0.0, lastY = 0.0; // offset applied, as yAt() reads them
        // Non-finite values before the first finite one and after the last.
        std::uint32_t skipFirst = 0, skipLast = 0;
    };
    std::uint64_t source = 0;
    double offset = 0.0;
    std::vector<Column> columns; // rising rows
};

// What a ScopeCurve paints in one drawing: its column spans as whole-pixel
// rectangles in one opaque or translucent colour, with the lines that
// bridge columns without samples; or, with at most one sample per column,
// the polyline through every sample.
struct ScopeCurvePaint
{
    std::vector<QRect> rects;
    QColor color;
    QVector<QLineF> links;
    QPolygonF line;
    bool polyline = false;
    QRectF clipRect; // links and polyline are clipped to it when `clip`
    bool clip = false;
    QPen pen;                 // the lines' pen
    bool antialiased = false; // the lines' render hint
};

// Paints the layers as painting them one after the other would, first to
// last, but stores every pixel of their rectangles once: the last layer
// that covers a pixel gives its colour. Many curves over one band then cost
// the band's pixels, not the curves' times as many. The pixel columns that
// a layer's bridging lines reach are painted layer by layer, lines
// included, as before. Only where a direct pixel fill applies (a raster
// image, opaque colours, no transformation but a whole-pixel shift, one
// clip rectangle) and no layer is a polyline; false, with nothing drawn,
// otherwise.
bool fillOpaqueLayers(QPainter* painter, const std::vector<const ScopeCurvePaint*>& layers);

// A plot curve over ScopeCurveData whose line drawing decimates per pixel
// column. Curves with other data, or with unsorted x, draw every sample.
// The columns of each drawing are kept for the next (see ScopeColumnMemo).
class ScopeCurve : public QwtPlotCurve
{
public:
    explicit ScopeCurve(const QString& title = QString());

    // Shares x and y with the caller.
    void setScopeSamples(const QVector<double>& x, const QVector<double>& y);
    // Reads the series in place (see ScopeCurveData).
    void setScopeSeries(const ScopeSeries& x, const ScopeSeries& y, bool sortedX);
    // nullptr when the curve holds other data.
    const ScopeCurveData* scopeData() const;
    // Drops the columns kept from the last drawing: the next one reads every
    // column's values.
    void forgetColumns();

    // What drawLines paints of from..to with `pen` (the columns kept are
    // used and replaced as by a drawing); `alignToPixels` rounds the
    // polyline as the painter would.
    ScopeCurvePaint sketchPaint(const QPen& pen, bool alignToPixels, const QwtScaleMap& xMap,
                                const QwtScaleMap& yMap, const QRectF& canvasRect, int from, int to) const;
    // Paints what sketchPaint gave.
    static void paint(QPainter* painter, const ScopeCurvePaint& paint);

protected:
    void drawLines(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                   const QRectF& canvasRect, int from, int to) const override;

private:
    // Drawing is const to Qwt, and an image export may draw from another thread.
    struct Kept
    {
        std::mutex mutex;
        ScopeColumnMemo columns;
    };
    std::unique_ptr<Kept> m_kept = std::make_unique<Kept>();
};

// What drawLines paints for the samples from..to, in paint-device
// coordinates. With at most one sample per pixel column (or unsorted x) it is
// the polyline through every sample. With more, each pixel column becomes a
// vertical span from its lowest to its highest sample, stretched to meet the
// last sample of the column before, so every peak is drawn and the cost
// follows the canvas width, not the sample count; lines bridge columns
// without samples. Non-finite samples are left out. With a memo, columns
// whose rows it holds take their range from it, and it is replaced by this
// drawing's columns; the sketch is the same with or without.
struct ScopeCurveSketch
{
    QPolygonF line;
    QVector<QRectF> spans;  // x = column, width 1, y = top row, height = bottom - top
    QVector<QLineF> links;
};
ScopeCurveSketch scopeCurveSketch(const QwtSeriesData<QPointF>& data, const QwtScaleMap& xMap,
                                  const QwtScaleMap& yMap, int from, int to, ScopeColumnMemo* memo = nullptr);

// Nearest sample to a canvas position, measured in whole pixels as the
// tracker sees them. Ties go to the lower index. Only samples strictly
// nearer than bound2 (a squared distance) are considered, so a result
// means "nearer than bound".
struct NearestSample
{
    int index = -1;
    qint64 distance2 = std::numeric_limits<qint64>::max();
};
NearestSample findNearestSample(const QwtSeriesData<QPointF>& data, const QwtScaleMap& xMap,
                                const QwtScaleMap& yMap, const QPoint& pos,
                                qint64 bound2 = std::numeric_limits<qint64>::max());

// A sample value mapped to a whole pixel, clamped far outside any canvas so
// that huge values never overflow the rounding.
int scopePixel(const QwtScaleMap& map, double value);
