#include "scopeplotimage.h"

#include "scopesavename.h"

#include <qwt_plot.h>
#include <qwt_plot_zoomer.h>
#include <qwt_plot_renderer.h>

#include <QAction>
#include <QBuffer>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>

#include <array>

namespace scopeplotimage {

namespace {

// A plot that was never laid out has no useful size of its own.
QSize imageSize(const QwtPlot* plot)
{
    return plot->size().expandedTo(QSize(320, 240));
}

int resolution(const QwtPlot* plot)
{
    const int dpi = plot->logicalDpiX();
    return dpi > 0 ? dpi : 96;
}

// The reason ends up in the user's warning, so it is translated.
void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

} // namespace

std::optional<Format> formatOf(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return Format::Png;
    if (suffix == QLatin1String("svg"))
        return Format::Svg;
    if (suffix == QLatin1String("pdf"))
        return Format::Pdf;
    return std::nullopt;
}

QString suffixOf(Format format)
{
    switch (format) {
    case Format::Png:
        return QStringLiteral("png");
    case Format::Svg:
        return QStringLiteral("svg");
    case Format::Pdf:
        return QStringLiteral("pdf");
    }
    return QString();
}

QByteArray render(QwtPlot* plot, Format format, QString* error)
{
    QByteArray bytes;
    if (!plot) {
        setError(error, QCoreApplication::translate("ScopePlotImageMenu", "no plot"));
        return bytes;
    }
    const QSize size = imageSize(plot);
    const int dpi = resolution(plot);
    QwtPlotRenderer renderer;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);

    switch (format) {
    case Format::Png: {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(Qt::white);
        const int dotsPerMeter = qRound(dpi / 0.0254);
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        renderer.renderTo(plot, image);
        if (!image.save(&buffer, "PNG")) {
            setError(error, QCoreApplication::translate("ScopePlotImageMenu", "PNG encoding failed"));
            return QByteArray();
        }
        break;
    }
    case Format::Svg: {
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setResolution(dpi);
        generator.setTitle(plot->windowTitle().isEmpty() ? QStringLiteral("VXTools scope") : plot->windowTitle());
        renderer.renderTo(plot, generator);
        break;
    }
    case Format::Pdf: {
        QPdfWriter writer(&buffer);
        writer.setResolution(dpi);
        writer.setPageSize(QPageSize(QSizeF(size.width() * 25.4 / dpi, size.height() * 25.4 / dpi),
                                     QPageSize::Millimeter));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setCreator(QStringLiteral("VXTools"));
        QPainter painter;
        if (!painter.begin(&writer)) {
            setError(error, QCoreApplication::translate("ScopePlotImageMenu", "PDF output failed"));
            return QByteArray();
        }
        renderer.render(plot, &painter, QRectF(0, 0, writer.width(), writer.height()));
        painter.end();
        break;
    }
    }
    buffer.close();
    if (bytes.isEmpty())
        setError(error, QCoreApplication::translate("ScopePlotImageMenu", "nothing was drawn"));
    return bytes;
}

bool save(QwtPlot* plot, const QString& fileName, Format format, QString* error)
{
    const QByteArray bytes = render(plot, format, error);
    if (bytes.isEmpty())
        return false;
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, file.errorString());
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        setError(error, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace scopeplotimage

ScopePlotImageMenu::ScopePlotImageMenu(QwtPlot* plot)
    : QObject(plot)
    , m_plot(plot)
{
    saveFileDialog = [](QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                        QString* selected) {
        return QFileDialog::getSaveFileName(parent, caption, dir, filter, selected);
    };
    messageBox = [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
        QMessageBox box(icon, title, text, QMessageBox::Ok, m_plot);
        box.exec();
    };
    runMenu = [](QMenu* menu, const QPoint& at) { return menu->exec(at); };
    plot->installEventFilter(this);
}

ScopePlotImageMenu* ScopePlotImageMenu::attach(QWidget* page)
{
    if (!page)
        return nullptr;
    auto* plot = page->findChild<QwtPlot*>();
    if (!plot)
        return nullptr;
    if (auto* existing = plot->findChild<ScopePlotImageMenu*>(QString(), Qt::FindDirectChildrenOnly))
        return existing;
    return new ScopePlotImageMenu(plot);
}

bool ScopePlotImageMenu::rightClickZoomsOut(const QContextMenuEvent& event) const
{
    if (event.reason() != QContextMenuEvent::Mouse || (event.modifiers() & Qt::ShiftModifier))
        return false;
    QWidget* canvas = m_plot->canvas();
    if (!canvas || !canvas->rect().contains(canvas->mapFromGlobal(event.globalPos())))
        return false;
    for (QwtPlotZoomer* zoomer : canvas->findChildren<QwtPlotZoomer*>())
        if (zoomer->isEnabled() && zoomer->zoomRectIndex() > 0)
            return true;
    return false;
}

bool ScopePlotImageMenu::eventFilter(QObject* watched, QEvent* event)
{
    // Right clicks on the canvas and the legend reach the plot as well.
    if (watched != m_plot || event->type() != QEvent::ContextMenu)
        return QObject::eventFilter(watched, event);
    auto* menuEvent = static_cast<QContextMenuEvent*>(event);
    // The menu appears on the right press and would take the release away
    // from the zoomer; while zoomed in, that release is the zoom-out.
    if (rightClickZoomsOut(*menuEvent))
        return true;
    QMenu menu(m_plot);
    QAction* saveAction = menu.addAction(tr("Save plot as image…"));
    QAction* chosen = runMenu ? runMenu(&menu, menuEvent->globalPos()) : nullptr;
    if (chosen == saveAction)
        saveImage();
    return true;
}

void ScopePlotImageMenu::saveImage()
{
    using namespace scopeplotimage;
    const QStringList filters = {tr("PNG image (*.png)"), tr("SVG image (*.svg)"), tr("PDF document (*.pdf)")};
    QString selected = filters.first();
    const QString proposed = scopesavename::proposedName(suffixOf(Format::Png));
    QString fileName = saveFileDialog
                           ? saveFileDialog(m_plot, tr("Save Plot Image"), proposed,
                                            filters.join(QStringLiteral(";;")), &selected)
                           : QString();
    if (fileName.isEmpty())
        return;

    // No suffix typed: the chosen filter decides.
    const int i = std::max(0, int(filters.indexOf(selected)));
    const Format chosen = std::array<Format, 3>{Format::Png, Format::Svg, Format::Pdf}[std::size_t(i)];
    const QStringList suffixes = {suffixOf(Format::Png), suffixOf(Format::Svg), suffixOf(Format::Pdf)};
    fileName = scopesavename::withSuffix(fileName, suffixes, suffixOf(chosen), Qt::CaseInsensitive);
    const std::optional<Format> format = formatOf(fileName);
    if (!format) {
        if (messageBox)
            messageBox(QMessageBox::Warning, tr("Warning"), tr("ERROR:Unsupported file formats !"));
        return;
    }

    QString error;
    if (!save(m_plot, fileName, *format, &error) && messageBox) {
        QString text = tr("ERROR:Cannot write file %1 !").arg(QDir::toNativeSeparators(fileName));
        if (!error.isEmpty())
            text += QLatin1Char('\n') + error;
        messageBox(QMessageBox::Warning, tr("Warning"), text);
    }
}
