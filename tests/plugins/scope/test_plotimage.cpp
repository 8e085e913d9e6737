// "Save plot as image…" on the scope page's plot: the context menu reaches
// the dialog seam, the file holds a real PNG, SVG or PDF of the plot with its
// legend, and failures are reported the page's way.
#include "VXPlugin_Scope.h"
#include "VXPluginContract.h"
#include "qwtscope.h"
#include "scopeplotimage.h"

#include <gtest/gtest.h>

#include <qwt_plot_canvas.h>
#include <qwt_plot_zoomer.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QPluginLoader>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <QXmlStreamReader>

#include <memory>

namespace {

class PlotImage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        page = std::make_unique<VXPlugin_Scope>();
        page->resize(1137, 620);
        page->show();
        QwtScope* plot = page->plot();
        _ST_ScopeAxisInfo info;
        info.nIndex = 49;
        info.nSubIndex = 0;
        info.eLink = LINK_ActualACS;
        info.strUnit = QStringLiteral("ACS(deg)");
        plot->setCurveInfo(0, QStringLiteral("J1 Actual ACS"), info);
        QVector<double> x, y;
        for (int i = 0; i < 200; ++i) {
            x << i;
            y << (i % 50) * 0.1;
        }
        double lo = 0, hi = 0;
        plot->setCurveSamples(0, x, y, lo, hi);
        plot->replot();

        menu = ScopePlotImageMenu::attach(page.get());
        ASSERT_NE(menu, nullptr);
        menu->runMenu = [this](QMenu* m, const QPoint&) -> QAction* {
            ++menusShown;
            for (QAction* a : m->actions())
                if (a->text() == QStringLiteral("Save plot as image…"))
                    return a;
            return nullptr;
        };
        menu->saveFileDialog = [this](QWidget*, const QString& caption, const QString& proposed, const QString& filter,
                                      QString* selected) {
            dialogCaption = caption;
            proposedName = proposed;
            filters = filter.split(";;");
            if (!selectFilter.isEmpty())
                *selected = selectFilter;
            return answer;
        };
        menu->messageBox = [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
            messages << QStringLiteral("%1|%2|%3").arg(int(icon)).arg(title, text);
        };
    }

    // A right click on the canvas, as a user makes it.
    void rightClick()
    {
        QWidget* canvas = page->plot()->canvas();
        const QPoint at(canvas->width() / 2, canvas->height() / 2);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, canvas->mapToGlobal(at));
        QApplication::sendEvent(canvas, &event);
    }

    QByteArray written(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    std::unique_ptr<VXPlugin_Scope> page;
    ScopePlotImageMenu* menu = nullptr;
    QTemporaryDir dir;
    QString answer;
    QString selectFilter;
    QString dialogCaption;
    QString proposedName;
    QStringList filters;
    QStringList messages;
    int menusShown = 0;
};

TEST_F(PlotImage, RightClickWritesEachFormat)
{
    struct Case
    {
        const char* file;
        std::function<void(const QByteArray&)> check;
    };
    const QSize plotSize = page->plot()->size();
    const Case cases[] = {
        {"plot.png",
         [&](const QByteArray& bytes) {
             QImage image;
             ASSERT_TRUE(image.loadFromData(bytes, "PNG"));
             EXPECT_EQ(image.size(), plotSize);
             // Something besides the background was drawn.
             const QRgb corner = image.pixel(0, 0);
             int differing = 0;
             for (int yy = 0; yy < image.height(); yy += 4)
                 for (int xx = 0; xx < image.width(); xx += 4)
                     differing += image.pixel(xx, yy) != corner;
             EXPECT_GT(differing, 100);
         }},
        {"plot.SVG",
         [](const QByteArray& bytes) {
             QXmlStreamReader xml(bytes);
             bool svgRoot = false;
             while (!xml.atEnd())
                 if (xml.readNext() == QXmlStreamReader::StartElement && !svgRoot)
                     svgRoot = xml.name() == QLatin1String("svg");
             EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
             EXPECT_TRUE(svgRoot);
             EXPECT_TRUE(QSvgRenderer(bytes).isValid());
             // The legend is part of the picture.
             EXPECT_TRUE(bytes.contains("J1 Actual ACS"));
         }},
        {"plot.pdf",
         [](const QByteArray& bytes) {
             EXPECT_TRUE(bytes.startsWith("%PDF-"));
             EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        answer = dir.filePath(QLatin1String(c.file));
        rightClick();
        const QByteArray bytes = written(answer);
        ASSERT_FALSE(bytes.isEmpty());
        c.check(bytes);
        // For a look at the pictures: VX_PLOT_IMAGE_DIR keeps a copy.
        const QString keep = qEnvironmentVariable("VX_PLOT_IMAGE_DIR");
        if (!keep.isEmpty()) {
            QFile::remove(keep + "/" + c.file);
            QFile::copy(answer, keep + "/" + c.file);
        }
    }
    EXPECT_EQ(menusShown, 3);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_TRUE(proposedName.startsWith("VX_Scope_") && proposedName.endsWith(".png"));
    EXPECT_EQ(filters.size(), 3);
}

TEST_F(PlotImage, ANameWithoutSuffixTakesTheChosenFilters)
{
    rightClick(); // learn the filter texts
    ASSERT_EQ(filters.size(), 3);
    selectFilter = filters[2];
    answer = dir.filePath("bare");
    rightClick();
    EXPECT_TRUE(written(answer + ".pdf").startsWith("%PDF-"));
    EXPECT_FALSE(QFile::exists(answer));
}

TEST_F(PlotImage, FailuresAreWarnedAndCancelIsSilent)
{
    struct Case
    {
        const char* name;
        QString path;
        const char* text; // nullptr: no message
    };
    const Case cases[] = {
        {"cancelled", QString(), nullptr},
        {"folder that does not exist", dir.filePath("missing/plot.png"), "ERROR:Cannot write file"},
        {"unsupported suffix", dir.filePath("plot.jpg"), "ERROR:Unsupported file formats !"},
    };
    QDir(dir.path()).mkdir("taken.png");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        answer = c.path;
        rightClick();
        if (!c.text) {
            EXPECT_TRUE(messages.isEmpty());
            continue;
        }
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].startsWith(QStringLiteral("%1|Warning|%2").arg(int(QMessageBox::Warning)).arg(c.text)))
            << messages[0].toStdString();
        // A file that cannot be written says why on a second line.
        if (QByteArray(c.text).startsWith("ERROR:Cannot write")) {
            const QStringList lines = messages[0].split('\n');
            EXPECT_EQ(lines.size(), 2) << messages[0].toStdString();
            EXPECT_FALSE(lines.last().trimmed().isEmpty());
        }
    }
    // A directory where the file should go cannot be replaced.
    messages.clear();
    answer = dir.filePath("taken.png");
    rightClick();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("ERROR:Cannot write file"));
    EXPECT_FALSE(QFile::exists(dir.filePath("plot.jpg")));
}

TEST_F(PlotImage, AnExistingImageIsReplacedOnlyByAComplete)
{
    const QString path = dir.filePath("keep.png");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    answer = path;
    rightClick();
    QImage image;
    EXPECT_TRUE(image.loadFromData(written(path), "PNG"));
}

// The right button through the window, as the windowing system delivers it
// (the menu event comes with the press, the zoomer acts on the release):
// zoomed in, a right click zooms out and no menu opens; at the zoom base it
// opens the menu; Shift + right click and the menu key open it at any zoom
// and leave the zoom alone.
TEST_F(PlotImage, RightButtonZoomsOutWhileZoomedElseOpensTheMenu)
{
    QWindow* window = page->windowHandle();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QWidget* canvas = page->plot()->canvas();
    QwtPlotZoomer* zoomer = page->plot()->zoomer();
    const QPoint centre = canvas->mapTo(page.get(), canvas->rect().center());
    int clicks = 0;
    // Each click lands a little apart, so two never make a double click.
    auto rightClick = [&](Qt::KeyboardModifiers modifiers) {
        ++clicks;
        QTest::mouseClick(window, Qt::RightButton, modifiers, centre + QPoint(40 * (clicks % 3) - 40, 0));
    };
    auto zoomIn = [&] {
        const QPoint from = centre - QPoint(100, 60);
        const QPoint to = centre + QPoint(100, 60);
        QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(window, (from + to) / 2);
        QTest::mouseMove(window, to);
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, to);
    };
    const QRectF base = zoomer->zoomBase();

    zoomIn();
    ASSERT_EQ(zoomer->zoomRectIndex(), 1u);
    ASSERT_NE(zoomer->zoomRect(), base);
    rightClick(Qt::NoModifier);
    EXPECT_EQ(zoomer->zoomRectIndex(), 0u);
    EXPECT_EQ(zoomer->zoomRect(), base);
    EXPECT_EQ(menusShown, 0);

    rightClick(Qt::NoModifier);
    EXPECT_EQ(menusShown, 1);
    EXPECT_EQ(zoomer->zoomRectIndex(), 0u);

    zoomIn();
    ASSERT_EQ(zoomer->zoomRectIndex(), 1u);
    rightClick(Qt::ShiftModifier);
    EXPECT_EQ(menusShown, 2);
    EXPECT_EQ(zoomer->zoomRectIndex(), 1u);
    QContextMenuEvent key(QContextMenuEvent::Keyboard, canvas->rect().center(),
                          canvas->mapToGlobal(canvas->rect().center()));
    QApplication::sendEvent(canvas, &key);
    EXPECT_EQ(menusShown, 3);
    EXPECT_EQ(zoomer->zoomRectIndex(), 1u);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(PlotImage, AttachingTwiceGivesOneMenu)
{
    EXPECT_EQ(ScopePlotImageMenu::attach(page.get()), menu);
    EXPECT_EQ(page->plot()->findChildren<ScopePlotImageMenu*>().size(), 1);
    QWidget plain;
    EXPECT_EQ(ScopePlotImageMenu::attach(&plain), nullptr);
}

TEST(PlotImagePlugin, ThePluginsPageCarriesTheMenu)
{
    QPluginLoader loader(qEnvironmentVariable("VX_BIN_DIR") + "/plugins/libVXPlugin_Scope.so");
    auto* plugin = qobject_cast<QDesignerCustomWidgetInterface*>(loader.instance());
    ASSERT_NE(plugin, nullptr) << loader.errorString().toStdString();
    std::unique_ptr<QWidget> page(plugin->createWidget(nullptr));
    ASSERT_NE(page, nullptr);
    // The plug-in's classes are its own copies: look them up by name.
    int menus = 0;
    for (QObject* o : page->findChildren<QObject*>())
        menus += QByteArray(o->metaObject()->className()) == "ScopePlotImageMenu";
    EXPECT_EQ(menus, 1);
    page.reset();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
