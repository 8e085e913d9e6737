// The oscilloscope's drawing surface: a fixed bank of 48 curves, one per
// channel slot, with rubber-band zooming and a nearest-sample tracker.
#pragma once

#include "ScopeChannels.h"
#include "scopecurvedata.h"

#include <qwt_plot.h>
#include <qwt_plot_zoomer.h>

#include <QColor>
#include <QVector>

#include <array>

class QwtPlotGrid;
class ScopeCursors;
class ScopeDataTracker;
class QwtScope;

class Zoomer : public QwtPlotZoomer
{
public:
    Zoomer(QWidget* canvas, QwtScope* plot);
    ~Zoomer() override;

    // Public for the tests; the picker calls it when a drag ends.
    bool accept(QPolygon& polygon) const override;

private:
    QwtScope* m_plot;
};

class QwtScope : public QwtPlot
{
    Q_OBJECT

public:
    static constexpr int kCurveSlots = 48;

    explicit QwtScope(QWidget* parent = nullptr);
    ~QwtScope() override;

    bool eventFilter(QObject* object, QEvent* event) override;

    void setXAxis(double min, double max, double step);
    double timeSpan() const;
    void setYAxis(double min, double max);

    // Titles the slot's curve, attaches and shows it, and keeps the record.
    void setCurveInfo(int slot, const QString& title, const _ST_ScopeAxisInfo& info);
    _ST_ScopeAxisInfo curveInfo(int slot) const;

    // Hands x and y to the slot's curve (shared, not copied), returns the
    // curve's finite y range and widens the left axis outwards to tens when
    // the data leaves it. Empty arrays are ignored.
    void setCurveSamples(int slot, const QVector<double>& x, const QVector<double>& y,
                         double& minY, double& maxY);
    // The same for series read in place (the live window's snapshot); none
    // when the curve holds no finite y or the series were ignored.
    std::optional<ScopeRange> setCurveSeries(int slot, const ScopeSeries& x, const ScopeSeries& y, bool sortedX);
    void clearCurves();
    bool hasNoData() const;

    void refreshZoom();
    void resetZoom();

    // Left-axis title = the slot's unit, padded or cut to 12 characters.
    void setUnitTitle(int slot);

    // The curve of a slot (nullptr outside 0..47) and the slot of a curve (-1).
    ScopeCurve* curve(int slot);
    const ScopeCurve* curve(int slot) const;
    int slotOf(const QwtPlotItem* item) const;
    // Attached curves in the plot's item order.
    QList<QwtPlotCurve*> attachedCurves() const;
    // The plot item a legend entry stands for (the legend's info).
    QwtPlotItem* itemFromLegendInfo(const QVariant& itemInfo) const { return infoToItem(itemInfo); }

    Zoomer* zoomer() const { return m_zoomer; }
    ScopeDataTracker* tracker() const { return m_tracker; }

    // The remembered scales, restored at the zoom base.
    double xMin() const { return m_xMin; }
    double xMax() const { return m_xMax; }
    double xStep() const { return m_xStep; }
    double yMin() const { return m_yMin; }
    double yMax() const { return m_yMax; }

    // The A/B measuring cursors (off until switched on).
    ScopeCursors* cursors() const { return m_cursors; }

    // Items in z order as the base class draws them, except that a run of
    // scope curves next to each other in that order is sketched first and
    // its opaque column spans filled in one pass that stores each pixel once
    // (fillOpaqueLayers); the pixels are those of the curves drawn one by one.
    void drawItems(QPainter* painter, const QRectF& canvasRect, const QwtScaleMap maps[axisCnt]) const override;

private:
    std::optional<ScopeRange> fitCurveRange(const ScopeCurve& curve);

protected slots:
    void onZoomer(const QRectF& rect);

private:
    Zoomer* m_zoomer = nullptr;
    ScopeDataTracker* m_tracker = nullptr;
    ScopeCursors* m_cursors = nullptr;
    QwtPlotGrid* m_grid = nullptr;
    std::array<ScopeCurve, kCurveSlots> m_curves;
    std::array<_ST_ScopeAxisInfo, kCurveSlots> m_infos;
    double m_yMin = -10.0;
    double m_yMax = 10.0;
    double m_xMin = 0.0;
    double m_xMax = 10000.0;
    double m_xStep = 1000.0;
    double m_xSpan = 10000.0;
};

// Curve pens against the canvas. A 2-pixel line is a graphical object that
// must be seen to read the plot, and WCAG 2.1 (1.4.11, non-text contrast)
// asks 3:1 of those against their background; that is the bound used here.
constexpr double kScopeMinPenContrast = 3.0;
// WCAG relative luminance (0 black .. 1 white) and contrast ratio (1 .. 21).
double scopeRelativeLuminance(const QColor& colour);
double scopeContrastRatio(const QColor& a, const QColor& b);
// The colour itself when its contrast against the canvas reaches the bound;
// otherwise the first 5 % step towards black (white on a dark canvas) that
// reaches it.
QColor scopeReadablePenColour(const QColor& colour, const QColor& canvas);

// Outward rounding of a widened Y range: to tens, with 10 more on each side.
double scopeRoundDown(double minimum);
double scopeRoundUp(double maximum);
