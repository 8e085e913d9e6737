// "Spectrum": a window of its own with the amplitude spectrum of one curve
// of the scope plot between the cursors A and B (the visible time range
// while they are off), linear or in dB, with zoom, a tracker, the five
// largest peaks and the plot's image export.
#pragma once

#include "scopeanalysis.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QwtPlot;
class QwtPlotCurve;
class QwtPlotPicker;
class QwtPlotZoomer;
class QwtScope;
class ScopeCursors;
class ScopePlotImageMenu;

class ScopeSpectrumWindow : public QWidget
{
    Q_OBJECT

public:
    ScopeSpectrumWindow(QwtScope* scope, ScopeCursors* cursors, QWidget* parent = nullptr);
    ~ScopeSpectrumWindow() override;

    const ScopeSpectrum& spectrum() const { return m_spectrum; }
    QwtPlot* plot() const { return m_plot; }
    QComboBox* curveChoice() const { return m_curveChoice; }
    QCheckBox* decibels() const { return m_decibels; }
    // The message line (errors, notes, the range).
    QString message() const;
    ScopePlotImageMenu* imageMenu() const { return m_imageMenu; }

public slots:
    // Refills the curve choice from the visible curves, keeping the choice.
    void refreshCurves();
    // Works the spectrum out again from the plot as it is now.
    void update();

private:
    void draw(bool keepZoom);

    QwtScope* m_scope;
    ScopeCursors* m_cursors;
    ScopeSpectrum m_spectrum;
    QComboBox* m_curveChoice;
    QCheckBox* m_decibels;
    QPushButton* m_update;
    QPushButton* m_saveImage;
    QLabel* m_message;
    QLabel* m_peaks;
    QwtPlot* m_plot;
    QwtPlotCurve* m_curve;
    QwtPlotZoomer* m_zoomer;
    QwtPlotPicker* m_tracker;
    ScopePlotImageMenu* m_imageMenu;
    QString m_unit;
};
