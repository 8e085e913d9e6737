#include "scopespectrumwindow.h"

#include "qwtscope.h"
#include "scopecurvedata.h"
#include "scopecursors.h"
#include "scopeplotimage.h"

#include <qwt_picker_machine.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_picker.h>
#include <qwt_plot_zoomer.h>
#include <qwt_scale_div.h>
#include <qwt_text.h>

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Shows frequency and amplitude of the bin under the pointer.
class SpectrumTracker : public QwtPlotPicker
{
public:
    SpectrumTracker(QWidget* canvas, const ScopeSpectrum* spectrum, const QCheckBox* decibels, const QString* unit)
        : QwtPlotPicker(QwtPlot::xBottom, QwtPlot::yLeft, QwtPicker::VLineRubberBand, QwtPicker::AlwaysOn, canvas),
          m_spectrum(spectrum), m_decibels(decibels), m_unit(unit)
    {
        setStateMachine(new QwtPickerTrackerMachine());
        setRubberBandPen(QPen(QColor(0, 0, 0, 100), 1, Qt::DotLine));
        setTrackerPen(QPen(Qt::black));
    }

protected:
    QwtText trackerTextF(const QPointF& pos) const override
    {
        const ScopeSpectrum& s = *m_spectrum;
        if (!s.ok() || s.frequency.isEmpty() || !(s.binWidth > 0.0))
            return QwtText();
        const long k = std::lround(pos.x() / s.binWidth);
        if (k < 0 || k >= s.frequency.size())
            return QwtText();
        const double a = s.amplitude[int(k)];
        const QString amplitude = m_decibels->isChecked()
                                      ? QStringLiteral("%1 dB").arg(scopeanalysis::number(scopeanalysis::decibels(a)))
                                      : QStringLiteral("%1 %2").arg(scopeanalysis::number(a), *m_unit);
        QwtText text(QStringLiteral("%1 Hz\n%2").arg(scopeanalysis::number(s.frequency[int(k)]), amplitude));
        text.setBackgroundBrush(QBrush(QColor(255, 255, 255, 200)));
        return text;
    }

private:
    const ScopeSpectrum* m_spectrum;
    const QCheckBox* m_decibels;
    const QString* m_unit;
};

} // namespace

ScopeSpectrumWindow::ScopeSpectrumWindow(QwtScope* scope, ScopeCursors* cursors, QWidget* parent)
    : QWidget(parent, Qt::Window), m_scope(scope), m_cursors(cursors)
{
    setObjectName(QStringLiteral("ScopePlugin_spectrum"));
    setWindowTitle(tr("Spectrum"));
    resize(900, 560);

    auto* layout = new QVBoxLayout(this);
    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(tr("Curve:"), this));
    m_curveChoice = new QComboBox(this);
    m_curveChoice->setObjectName(QStringLiteral("ScopePlugin_spectrumCurve"));
    m_curveChoice->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    controls->addWidget(m_curveChoice);
    m_decibels = new QCheckBox(tr("dB"), this);
    m_decibels->setObjectName(QStringLiteral("ScopePlugin_spectrumDb"));
    controls->addWidget(m_decibels);
    m_update = new QPushButton(tr("Update"), this);
    m_update->setToolTip(tr("Work the spectrum out again from the plot as it is now"));
    controls->addWidget(m_update);
    m_saveImage = new QPushButton(tr("Save Image…"), this);
    controls->addWidget(m_saveImage);
    controls->addStretch(1);
    layout->addLayout(controls);

    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    layout->addWidget(m_message);

    auto* body = new QHBoxLayout;
    m_plot = new QwtPlot(this);
    m_plot->setCanvasBackground(QBrush(QColor(250, 250, 250)));
    auto* grid = new QwtPlotGrid;
    grid->setMajorPen(QPen(QBrush(Qt::gray), 0, Qt::DotLine));
    grid->attach(m_plot);
    m_plot->setAxisTitle(QwtPlot::xBottom, tr("frequency (Hz)"));
    auto* curve = new ScopeCurve(tr("amplitude"));
    curve->setPen(QPen(QColor(20, 80, 160), 1.5));
    curve->attach(m_plot);
    m_curve = curve;
    body->addWidget(m_plot, 1);
    m_peaks = new QLabel(this);
    m_peaks->setObjectName(QStringLiteral("ScopePlugin_spectrumPeaks"));
    m_peaks->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_peaks->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_peaks->setMinimumWidth(200);
    body->addWidget(m_peaks);
    layout->addLayout(body, 1);

    m_zoomer = new QwtPlotZoomer(m_plot->canvas(), true);
    m_zoomer->setRubberBandPen(QPen(Qt::darkGreen));
    m_tracker = new SpectrumTracker(m_plot->canvas(), &m_spectrum, m_decibels, &m_unit);
    m_imageMenu = new ScopePlotImageMenu(m_plot);

    connect(m_update, &QPushButton::clicked, this, &ScopeSpectrumWindow::update);
    connect(m_curveChoice, QOverload<int>::of(&QComboBox::activated), this, &ScopeSpectrumWindow::update);
    connect(m_decibels, &QCheckBox::toggled, this, [this] { draw(false); });
    connect(m_saveImage, &QPushButton::clicked, m_imageMenu, &ScopePlotImageMenu::saveImage);
}

ScopeSpectrumWindow::~ScopeSpectrumWindow() = default;

QString ScopeSpectrumWindow::message() const
{
    return m_message->text();
}

void ScopeSpectrumWindow::refreshCurves()
{
    const int chosen = m_curveChoice->currentData().toInt();
    const bool had = m_curveChoice->count() > 0;
    m_curveChoice->clear();
    for (QwtPlotCurve* item : m_scope->attachedCurves()) {
        if (!item->isVisible() || item->dataSize() == 0)
            continue;
        m_curveChoice->addItem(item->title().text(), m_scope->slotOf(item));
    }
    const int i = m_curveChoice->findData(chosen);
    if (had && i >= 0)
        m_curveChoice->setCurrentIndex(i);
}

void ScopeSpectrumWindow::update()
{
    m_spectrum = ScopeSpectrum();
    double from = 0.0, to = 0.0;
    if (m_cursors->isOn()) {
        from = std::min(m_cursors->position(ScopeCursors::A), m_cursors->position(ScopeCursors::B));
        to = std::max(m_cursors->position(ScopeCursors::A), m_cursors->position(ScopeCursors::B));
    } else {
        const QwtScaleDiv& div = m_scope->axisScaleDiv(QwtPlot::xBottom);
        from = std::min(div.lowerBound(), div.upperBound());
        to = std::max(div.lowerBound(), div.upperBound());
    }
    const int slot = m_curveChoice->count() > 0 ? m_curveChoice->currentData().toInt() : -1;
    const ScopeCurve* curve = m_scope->curve(slot);
    const ScopeCurveData* data = curve && curve->plot() ? curve->scopeData() : nullptr;
    m_unit = m_scope->curveInfo(slot).strUnit;
    QString title = tr("Spectrum");
    if (!data || data->size() == 0) {
        m_spectrum.error = tr("No curve with samples to analyse.");
    } else {
        title = tr("Spectrum of %1").arg(curve->title().text());
        std::vector<double> t, v;
        if (data->isSortedX()) {
            ScopeChunkedValues times = data->xSeries().chunked();
            times.size = data->size();
            const ScopeIndexRange r = scopeanalysis::indexRange(times, from, to);
            if (!r.empty()) {
                t.reserve(r.last - r.first + 1);
                v.reserve(r.last - r.first + 1);
                for (std::size_t i = r.first; i <= r.last; ++i) {
                    t.push_back(data->xAt(int(i)));
                    v.push_back(data->yAt(int(i)));
                }
            }
        } else {
            for (int i = 0; i < int(data->size()); ++i) {
                const double x = data->xAt(i);
                if (x >= from && x <= to) {
                    t.push_back(x);
                    v.push_back(data->yAt(i));
                }
            }
        }
        m_spectrum = scopeanalysis::spectrum(t.data(), v.data(), t.size());
    }
    setWindowTitle(title);
    const QString range = (m_cursors->isOn() ? tr("A..B: %1 – %2 ms") : tr("Visible range: %1 – %2 ms"))
                              .arg(scopeanalysis::number(from), scopeanalysis::number(to));
    QString text = range;
    if (!m_spectrum.ok()) {
        text += QStringLiteral(". ") + m_spectrum.error;
    } else {
        text += QStringLiteral(". ")
                + tr("%1 samples at %2 Hz, Hann window, resolution %3 Hz.")
                      .arg(m_spectrum.samples)
                      .arg(scopeanalysis::number(m_spectrum.sampleRate), scopeanalysis::number(m_spectrum.binWidth));
        if (!m_spectrum.note.isEmpty())
            text += QLatin1Char(' ') + m_spectrum.note;
    }
    m_message->setText(text);
    draw(false);
}

void ScopeSpectrumWindow::draw(bool keepZoom)
{
    const bool db = m_decibels->isChecked();
    m_plot->setAxisTitle(QwtPlot::yLeft, db ? tr("amplitude (dB re 1 %1)").arg(m_unit)
                                            : tr("amplitude (%1)").arg(m_unit));
    QVector<double> x = m_spectrum.frequency, y = m_spectrum.amplitude;
    if (db) {
        for (double& a : y)
            a = scopeanalysis::decibels(a);
    }
    auto* curve = static_cast<ScopeCurve*>(m_curve);
    curve->setScopeSamples(x, y);

    QString peaks = QStringLiteral("<b>%1</b><table>").arg(tr("Largest peaks"));
    peaks += QStringLiteral("<tr><th align=left>Hz</th><th align=left>%1</th></tr>")
                 .arg(db ? QStringLiteral("dB") : m_unit.toHtmlEscaped());
    for (const ScopeSpectrumPeak& p : m_spectrum.peaks) {
        peaks += QStringLiteral("<tr><td>%1&nbsp;&nbsp;</td><td>%2</td></tr>")
                     .arg(scopeanalysis::number(p.frequency),
                          scopeanalysis::number(db ? scopeanalysis::decibels(p.amplitude) : p.amplitude));
    }
    peaks += QStringLiteral("</table>");
    if (m_spectrum.ok() && m_spectrum.peaks.isEmpty())
        peaks += tr("No peak above 0 Hz.");
    m_peaks->setText(peaks);

    if (!keepZoom) {
        double lo = 0.0, hi = 1.0;
        double yLo = 0.0, yHi = 1.0;
        if (!x.isEmpty()) {
            hi = std::max(x.last(), 1e-9);
            const auto [minIt, maxIt] = std::minmax_element(y.begin(), y.end());
            yLo = db ? std::max(*minIt, *maxIt - 160.0) : 0.0;
            yHi = *maxIt > yLo ? *maxIt + (*maxIt - yLo) * 0.05 : yLo + 1.0;
        }
        m_plot->setAxisScale(QwtPlot::xBottom, lo, hi);
        m_plot->setAxisScale(QwtPlot::yLeft, yLo, yHi);
        m_plot->replot();
        m_zoomer->setZoomBase(true);
    } else {
        m_plot->replot();
    }
}
