// Curve data for the scope plot. The page hands over whole arrays every few
// hundred milliseconds (36 curves of up to a million samples), so the data
// keeps the implicitly shared vectors it is given instead of copying them
// into points, and drawing reduces each pixel column to first/min/max/last
// so that every peak stays visible at any sample count.
#pragma once

#include <qwt_plot_curve.h>
#include <qwt_series_data.h>

#include <QPoint>
#include <QLineF>
#include <QPolygonF>
#include <QRectF>
#include <QVector>

#include <limits>
#include <utility>

class QwtScaleMap;

class ScopeCurveData : public QwtSeriesData<QPointF>
{
public:
    // Samples summarised per block for the nearest-sample search.
    static constexpr int kBlockSize = 64;

    ScopeCurveData() = default;
    // Keeps both vectors (shared, not copied). The curve has as many samples
    // as the shorter of the two.
    ScopeCurveData(const QVector<double>& x, const QVector<double>& y);

    size_t size() const override;
    QPointF sample(size_t i) const override;
    QRectF boundingRect() const override;  // over the finite samples

    const QVector<double>& xData() const { return m_x; }
    const QVector<double>& yData() const { return m_y; }

    // x is finite and never decreases from one sample to the next.
    bool isSortedX() const { return m_sortedX; }
    // Smallest and largest finite y; false when there is none.
    bool finiteYRange(double& minY, double& maxY) const;

    // Index range [first, last] of the samples needed to draw x1..x2 on a
    // sorted curve: the samples inside plus one neighbour on each side, so
    // lines leaving the visible range are kept. Empty (first > last) when
    // no sample is needed.
    std::pair<int, int> drawRange(double x1, double x2) const;

    // Finite y range of block b (samples b*kBlockSize ..), false when the
    // block holds no finite y.
    bool blockYRange(int block, double& minY, double& maxY) const;
    int blockCount() const { return m_blockMin.size(); }
    // Finite y range of the samples first..last, false when there is none.
    bool yRange(int first, int last, double& minY, double& maxY) const;

private:
    QVector<double> m_x;
    QVector<double> m_y;
    int m_size = 0;
    bool m_sortedX = true;
    bool m_hasFiniteY = false;
    QRectF m_bounds;
    double m_minY = 0.0;
    double m_maxY = 0.0;
    QVector<double> m_blockMin;  // NaN for a block without finite y
    QVector<double> m_blockMax;
};

// A plot curve over ScopeCurveData whose line drawing decimates per pixel
// column. Curves with other data, or with unsorted x, draw every sample.
class ScopeCurve : public QwtPlotCurve
{
public:
    explicit ScopeCurve(const QString& title = QString());

    // Shares x and y with the caller.
    void setScopeSamples(const QVector<double>& x, const QVector<double>& y);
    // nullptr when the curve holds other data.
    const ScopeCurveData* scopeData() const;

protected:
    void drawLines(QPainter* painter, const QwtScaleMap& xMap, const QwtScaleMap& yMap,
                   const QRectF& canvasRect, int from, int to) const override;
};

// What drawLines paints for the samples from..to, in paint-device
// coordinates. With at most one sample per pixel column (or unsorted x) it is
// the polyline through every sample. With more, each pixel column becomes a
// vertical span from its lowest to its highest sample, stretched to meet the
// last sample of the column before, so every peak is drawn and the cost
// follows the canvas width, not the sample count; lines bridge columns
// without samples. Non-finite samples are left out.
struct ScopeCurveSketch
{
    QPolygonF line;
    QVector<QRectF> spans;  // x = column, width 1, y = top row, height = bottom - top
    QVector<QLineF> links;
};
ScopeCurveSketch scopeCurveSketch(const QwtSeriesData<QPointF>& data, const QwtScaleMap& xMap,
                                  const QwtScaleMap& yMap, int from, int to);

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
