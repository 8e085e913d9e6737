// Follows the mouse over the plot canvas, marks the sample nearest to the
// cursor on any visible curve and shows its title, x and y.
#pragma once

#include <qwt_plot_picker.h>
#include <qwt_text.h>

#include <limits>

class QwtPlotCurve;
class QwtPlotItem;
class QwtScope;

class ScopeDataTracker : public QwtPlotPicker
{
public:
    struct ClosestPoint
    {
        QwtPlotCurve* curve = nullptr;  // not owned
        int index = -1;
        double distance = std::numeric_limits<double>::max();
    };

    ScopeDataTracker(QWidget* canvas, QwtScope* plot);
    ~ScopeDataTracker() override;

    const ClosestPoint& closestPoint() const { return m_closest; }
    bool hasValidHit() const;
    // The box text for the current hit (empty without one).
    QwtText hitText() const { return trackerTextF(QPointF()); }

    // Runs the nearest-sample search for a canvas position.
    void calcClosestPoint(const QPoint& pos);

protected:
    void drawRubberBand(QPainter* painter) const override;
    QRect trackerRect(const QFont& font) const override;
    void widgetMousePressEvent(QMouseEvent* event) override;
    void widgetMouseReleaseEvent(QMouseEvent* event) override;
    QwtText trackerTextF(const QPointF& pos) const override;

private:
    void onItemAttached(QwtPlotItem* item, bool on);
    void clearClosestPoint();

    ClosestPoint m_closest;
    QwtScope* m_plot;
};
