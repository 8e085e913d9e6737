#include "scopedatatracker.h"

#include "qwtscope.h"
#include "scopecurvedata.h"

#include <qwt_picker_machine.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_map.h>

#include <QDebug>
#include <QPainter>
#include <QThread>

#include <cmath>

namespace {

QString hex16(quintptr value)
{
    return QStringLiteral("%1").arg(static_cast<qulonglong>(value), 16, 16, QLatin1Char('0'));
}

QString currentThreadHex()
{
    return hex16(reinterpret_cast<quintptr>(QThread::currentThreadId()));
}

} // namespace

ScopeDataTracker::ScopeDataTracker(QWidget* canvas, QwtScope* plot)
    : QwtPlotPicker(QwtPlot::xBottom, QwtPlot::yLeft, QwtPicker::UserRubberBand, QwtPicker::ActiveOnly, canvas),
      m_plot(plot)
{
    setStateMachine(new QwtPickerTrackerMachine());
    connect(this, QOverload<const QPoint&>::of(&QwtPicker::moved), this,
            [this](const QPoint& pos) { calcClosestPoint(pos); });
    connect(plot, &QwtPlot::itemAttached, this,
            [this](QwtPlotItem* item, bool on) { onItemAttached(item, on); });
}

ScopeDataTracker::~ScopeDataTracker() = default;

bool ScopeDataTracker::hasValidHit() const
{
    return m_closest.curve && m_closest.index >= 0 &&
           static_cast<size_t>(m_closest.index) < m_closest.curve->dataSize();
}

void ScopeDataTracker::clearClosestPoint()
{
    m_closest = ClosestPoint();
}

void ScopeDataTracker::onItemAttached(QwtPlotItem* item, bool on)
{
    // Compare addresses only: a curve being destroyed is no longer a curve.
    if (!on && item && item == static_cast<QwtPlotItem*>(m_closest.curve))
        clearClosestPoint();
}

void ScopeDataTracker::calcClosestPoint(const QPoint& pos)
{
    const QwtPlotItemList curves = m_plot->itemList(QwtPlotItem::Rtti_PlotCurve);
    if (curves.isEmpty())
        return;

    QwtPlotCurve* const previous = m_closest.curve;
    const QwtScaleMap xMap = m_plot->canvasMap(xAxis());
    const QwtScaleMap yMap = m_plot->canvasMap(yAxis());

    qint64 best2 = std::numeric_limits<qint64>::max();
    int bestCurve = -1;
    ClosestPoint hit;
    for (int n = 0; n < curves.size(); ++n) {
        auto* curve = static_cast<QwtPlotCurve*>(curves.at(n));
        if (!curve->isVisible())
            continue;
        // Only a strictly nearer sample replaces the hit of an earlier curve.
        const NearestSample nearest = findNearestSample(*curve->data(), xMap, yMap, pos, best2);
        if (nearest.index < 0)
            continue;
        best2 = nearest.distance2;
        bestCurve = n;
        hit.curve = curve;
        hit.index = nearest.index;
        hit.distance = std::sqrt(static_cast<double>(nearest.distance2));
    }
    if (bestCurve < 0)
        clearClosestPoint();
    else
        m_closest = hit;

    qDebug().noquote() << QStringLiteral("mouseMove 0x%1 cur 0x%2 index:%3")
                              .arg(currentThreadHex(), hex16(reinterpret_cast<quintptr>(m_closest.curve)))
                              .arg(m_closest.index);

    if (hasValidHit() && m_closest.curve != previous) {
        QPen pen = m_closest.curve->pen();
        pen.setWidth(1);
        setRubberBandPen(pen);
        // The slot the curve really sits in names its unit, also when slots
        // were attached out of order.
        m_plot->setUnitTitle(m_plot->slotOf(m_closest.curve));
    }
}

QwtText ScopeDataTracker::trackerTextF(const QPointF& pos) const
{
    Q_UNUSED(pos);
    if (!hasValidHit())
        return QwtText();

    const QPointF sample = m_closest.curve->sample(static_cast<size_t>(m_closest.index));
    const QString color = QColor(69, 252, 16).name();
    const QString size = QStringLiteral("6");
    QString html = QStringLiteral("<p align=\"left\"><font color=\"%1\" size=\"%2\">&nbsp;%3</font><br>")
                       .arg(color, size, m_closest.curve->title().text());
    html += QStringLiteral("<font color=\"%1\" size=\"%2\">&nbsp;&nbsp;x:%3</font><br>")
                .arg(color, size, QString::number(sample.x(), 'g'));
    html += QStringLiteral("<font color=\"%1\" size=\"%2\">&nbsp;&nbsp;y:%3</font></p>")
                .arg(color, size, QString::number(sample.y(), 'f', 3));

    QwtText text(html, QwtText::AutoText);
    text.setColor(Qt::black);
    text.setBorderPen(QPen(QColor(15, 76, 117), 2));
    text.setBackgroundBrush(QBrush(QColor(0, 31, 51, 100)));
    text.setBorderRadius(5.0);
    return text;
}

QRect ScopeDataTracker::trackerRect(const QFont& font) const
{
    QRect rect = QwtPlotPicker::trackerRect(font);
    qDebug().noquote() << QStringLiteral("trackerF  0x%1").arg(currentThreadHex());
    // Without a hit there is no text and no box; growing the empty rectangle
    // would leave a stray 10 x 10 area at the canvas corner.
    if (rect.isEmpty())
        return rect;
    rect.adjust(-5, -5, 5, 5);
    rect.adjust(20, -10, 20, -10);
    return rect;
}

void ScopeDataTracker::drawRubberBand(QPainter* painter) const
{
    if (!isActive() || rubberBand() == QwtPicker::NoRubberBand || rubberBandPen().style() == Qt::NoPen)
        return;
    const QPolygon points = pickedPoints();
    if (!hasValidHit() || points.isEmpty())
        return;

    const QPoint p = points.last();
    const QPointF sample = m_closest.curve->sample(static_cast<size_t>(m_closest.index));
    const int row = scopePixel(m_plot->canvasMap(yAxis()), sample.y());
    painter->drawRect(QRect(p.x() - 5, row - 5, 10, 10));

    const QPen previous = painter->pen();
    painter->setPen(QPen(QColor(0, 0, 0, 100), 3, Qt::DotLine));
    painter->drawLine(p.x(), 0, p.x(), m_plot->height());
    painter->setPen(previous);
}

void ScopeDataTracker::widgetMousePressEvent(QMouseEvent* event)
{
    // Picking follows movement alone; clicks belong to the zoomer.
    Q_UNUSED(event);
}

void ScopeDataTracker::widgetMouseReleaseEvent(QMouseEvent* event)
{
    Q_UNUSED(event);
}
