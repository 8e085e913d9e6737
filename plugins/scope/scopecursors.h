// The A/B measuring cursors of the scope plot: two vertical lines at times
// tA and tB. The zoomer keeps the plain left drag and the right button, the
// tracker keeps plain mouse movement; the cursors take only
//   Shift + left click / drag   the nearer cursor goes to the pointer,
//   Left / Right arrow          the chosen cursor steps one sample,
//   A, B                        chooses the cursor the arrows move,
// on the canvas, while they are on. Positions snap to the samples of the
// first visible curve (the page's curves share one time base).
#pragma once

#include <QObject>

class QwtWidgetOverlay;
class QwtPlot;
class ScopeCurveData;

class ScopeCursors : public QObject
{
    Q_OBJECT

public:
    enum Cursor { A = 0, B = 1 };

    // Filters the plot canvas's events; a child of the plot. Create it after
    // the zoomer and tracker, so it sees the canvas's events first.
    explicit ScopeCursors(QwtPlot* plot);
    ~ScopeCursors() override;

    bool isOn() const { return m_on; }
    // Switching on with no position yet puts A and B at a third and two
    // thirds of the visible time range.
    void setOn(bool on);

    double position(Cursor c) const { return m_t[c]; }
    void setPosition(Cursor c, double t);
    Cursor active() const { return m_active; }
    void setActive(Cursor c);

    // Moves the active cursor to the next sample after (steps > 0) or
    // before (steps < 0) its position, one sample per step; stays at the
    // ends. False when there is no sample to step to.
    bool step(int steps);

    // The curve data whose samples the cursors snap to: the first visible
    // curve with samples; nullptr when there is none.
    const ScopeCurveData* reference() const;

    // Redraws the lines after the scales changed (zoom, new data).
    void redraw();

    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // A position, the active cursor or on/off changed.
    void changed();
    void toggled(bool on);

private:
    void placeNearer(int pixelX);
    double snap(double t) const;
    void updateMarkers();
    friend class ScopeCursorOverlay;

    QwtPlot* m_plot;
    QObject* m_canvas; // never dereferenced in the filter
    // Drawn over the canvas, so moving a cursor never redraws the curves.
    QwtWidgetOverlay* m_overlay;
    double m_t[2] = {0.0, 0.0};
    bool m_placed = false;
    bool m_on = false;
    bool m_dragging = false;
    Cursor m_active = A;
};
