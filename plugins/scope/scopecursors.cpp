#include "scopecursors.h"

#include "scopeanalysis.h"
#include "scopecurvedata.h"

#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_widget_overlay.h>
#include <qwt_scale_div.h>
#include <qwt_scale_map.h>
#include <qwt_scale_widget.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>

#include <cmath>
#include <limits>

class ScopeCursorOverlay : public QwtWidgetOverlay
{
public:
    ScopeCursorOverlay(QWidget* canvas, const ScopeCursors* cursors)
        : QwtWidgetOverlay(canvas), m_cursors(cursors)
    {
        // Clicks on a line still reach the canvas and its pickers.
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void drawOverlay(QPainter* painter) const override
    {
        const QColor colours[2] = {QColor(200, 30, 30), QColor(30, 60, 200)};
        const QwtScaleMap map = m_cursors->m_plot->canvasMap(QwtPlot::xBottom);
        QFont font = painter->font();
        font.setBold(true);
        painter->setFont(font);
        for (int c = 0; c < 2; ++c) {
            const double x = map.transform(m_cursors->m_t[c]);
            if (!std::isfinite(x) || x < -1 || x > width() + 1)
                continue;
            const bool active = c == int(m_cursors->m_active);
            painter->setPen(QPen(colours[c], active ? 2.0 : 1.2, Qt::DashLine));
            painter->drawLine(QLineF(x, 0, x, height()));
            painter->setPen(colours[c]);
            painter->drawText(QPointF(x + 4, painter->fontMetrics().ascent() + 2),
                              QString::fromLatin1(c == 0 ? "A" : "B"));
        }
    }

private:
    const ScopeCursors* m_cursors;
};

ScopeCursors::ScopeCursors(QwtPlot* plot)
    : QObject(plot), m_plot(plot), m_canvas(plot->canvas())
{
    m_overlay = new ScopeCursorOverlay(plot->canvas(), this);
    m_overlay->hide();
    plot->canvas()->installEventFilter(this);
    connect(plot->axisWidget(QwtPlot::xBottom), &QwtScaleWidget::scaleDivChanged, this, &ScopeCursors::redraw);
}

ScopeCursors::~ScopeCursors() = default;

void ScopeCursors::setOn(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    m_dragging = false;
    if (on && !m_placed) {
        const QwtScaleDiv& div = m_plot->axisScaleDiv(QwtPlot::xBottom);
        const double lo = div.lowerBound(), hi = div.upperBound();
        m_t[A] = snap(lo + (hi - lo) / 3.0);
        m_t[B] = snap(lo + 2.0 * (hi - lo) / 3.0);
        m_placed = true;
    }
    if (on) {
        // The arrow keys reach the canvas only with the focus.
        m_plot->canvas()->setFocusPolicy(Qt::StrongFocus);
        m_plot->canvas()->setFocus(Qt::OtherFocusReason);
    }
    updateMarkers();
    emit toggled(on);
    emit changed();
}

void ScopeCursors::setPosition(Cursor c, double t)
{
    if (!std::isfinite(t))
        return;
    m_t[c] = t;
    m_placed = true;
    updateMarkers();
    emit changed();
}

void ScopeCursors::setActive(Cursor c)
{
    if (c == m_active)
        return;
    m_active = c;
    updateMarkers();
    emit changed();
}

const ScopeCurveData* ScopeCursors::reference() const
{
    for (const QwtPlotItem* item : m_plot->itemList(QwtPlotItem::Rtti_PlotCurve)) {
        const auto* curve = static_cast<const ScopeCurve*>(item);
        if (!curve->isVisible() || curve->dataSize() == 0)
            continue;
        if (const ScopeCurveData* data = curve->scopeData())
            return data;
    }
    return nullptr;
}

double ScopeCursors::snap(double t) const
{
    const ScopeCurveData* data = reference();
    if (!data || !data->isSortedX())
        return t;
    const long i = scopeanalysis::nearestIndex(data->xSeries().chunked(), t);
    return i < 0 ? t : data->xAt(int(i));
}

bool ScopeCursors::step(int steps)
{
    const ScopeCurveData* data = reference();
    if (!data || !data->isSortedX() || steps == 0)
        return false;
    const ScopeChunkedValues times = data->xSeries().chunked();
    const double inf = std::numeric_limits<double>::infinity();
    double t = m_t[m_active];
    bool moved = false;
    for (int n = 0; n < std::abs(steps); ++n) {
        // The next sample strictly after (before) the cursor, so a cursor
        // between two samples first lands on its neighbour.
        const ScopeIndexRange r = steps > 0 ? scopeanalysis::indexRange(times, std::nextafter(t, inf), inf)
                                            : scopeanalysis::indexRange(times, -inf, std::nextafter(t, -inf));
        if (r.empty())
            break;
        t = times.at(steps > 0 ? r.first : r.last);
        moved = true;
    }
    if (moved)
        setPosition(m_active, t);
    return moved;
}

void ScopeCursors::placeNearer(int pixelX)
{
    const QwtScaleMap map = m_plot->canvasMap(QwtPlot::xBottom);
    const double t = snap(map.invTransform(pixelX));
    if (!m_dragging) {
        // The cursor nearer on screen follows the pointer.
        const double da = std::abs(map.transform(m_t[A]) - pixelX);
        const double db = std::abs(map.transform(m_t[B]) - pixelX);
        m_active = da <= db ? A : B;
    }
    setPosition(m_active, t);
}

bool ScopeCursors::eventFilter(QObject* watched, QEvent* event)
{
    // Compared, not asked of the plot: the canvas also sends events while
    // the plot is being destroyed.
    if (!m_on || watched != m_canvas)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ShiftModifier)) {
            m_plot->canvas()->setFocus(Qt::MouseFocusReason);
            placeNearer(e->pos().x());
            m_dragging = true;
            return true; // not the zoomer's: its drag is the plain left button
        }
        break;
    }
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (m_dragging && (e->buttons() & Qt::LeftButton))
            placeNearer(e->pos().x());
        break; // the tracker follows the pointer as before
    }
    case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (m_dragging && e->button() == Qt::LeftButton) {
            m_dragging = false;
            return true;
        }
        break;
    }
    case QEvent::KeyPress: {
        auto* e = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
        if (mods != Qt::NoModifier)
            break;
        switch (e->key()) {
        case Qt::Key_Left:
            step(-1);
            return true; // the pickers would move the mouse pointer
        case Qt::Key_Right:
            step(1);
            return true;
        case Qt::Key_A:
            setActive(A);
            return true;
        case Qt::Key_B:
            setActive(B);
            return true;
        default:
            break;
        }
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void ScopeCursors::updateMarkers()
{
    m_overlay->setVisible(m_on);
    if (m_on)
        m_overlay->updateOverlay();
}

void ScopeCursors::redraw()
{
    if (m_on)
        m_overlay->updateOverlay();
}
