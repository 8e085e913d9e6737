// "Save plot as image…": a context menu on the scope plot that writes what
// the plot shows, legend included, as PNG, SVG or PDF through Qwt's
// renderer. It rides on the plot as an event filter, so the page's form and
// the plot's own mouse handling stay as they are.
//
// The right button belongs to both: while the plot is zoomed in, a right
// click on the canvas zooms out (the zoomer's own gesture) and the menu
// stays closed; at the zoom base, where there is nothing to zoom out of, it
// opens the menu. Shift + right click and the keyboard's menu key open the
// menu at any zoom, so a zoomed view can be saved as it is.
#pragma once

#include <QByteArray>
#include <QMessageBox>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QContextMenuEvent;
class QMenu;
class QwtPlot;

namespace scopeplotimage {

enum class Format { Png, Svg, Pdf };

// The format a file name asks for by its suffix (any case); none for other
// suffixes.
std::optional<Format> formatOf(const QString& fileName);
QString suffixOf(Format format);

// The plot drawn as an image file's bytes, at the plot's size on screen.
// Empty (with `error` set) when drawing failed.
QByteArray render(QwtPlot* plot, Format format, QString* error = nullptr);

// Renders and writes the file; it replaces an existing file only once the
// new one is complete. False with `error` set when that failed.
bool save(QwtPlot* plot, const QString& fileName, Format format, QString* error = nullptr);

} // namespace scopeplotimage

class ScopePlotImageMenu : public QObject
{
    Q_OBJECT

public:
    // Filters the plot's context-menu events; a child of the plot.
    explicit ScopePlotImageMenu(QwtPlot* plot);

    // Finds the page's plot (a QwtPlot child) and attaches the menu to it;
    // nullptr when the page has no plot.
    static ScopePlotImageMenu* attach(QWidget* page);

    QwtPlot* plot() const { return m_plot; }

    // Seams for tests. The dialog gets parent, caption, proposed name, filter
    // list and the selected filter (in and out); the menu runner shows the
    // menu at a global position and answers the chosen action.
    std::function<QString(QWidget*, const QString&, const QString&, const QString&, QString*)> saveFileDialog;
    std::function<void(QMessageBox::Icon, const QString& title, const QString& text)> messageBox;
    std::function<QAction*(QMenu*, const QPoint&)> runMenu;

public slots:
    // Asks for a file and writes the image.
    void saveImage();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // True when the event is a plain right click on a zoomed-in canvas.
    bool rightClickZoomsOut(const QContextMenuEvent& event) const;

    QwtPlot* m_plot;
};
