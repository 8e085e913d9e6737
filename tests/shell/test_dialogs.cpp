// The address dialog, the About dialog, the custom menu's painting and the
// plug-in contract's Designer text and metadata.
#include "aboutdialog.h"
#include "CustomMenu.h"
#include "GuiHelpers.h"
#include "SimProcess.h"
#include "VX_Ports.h"
#include "VX_Prod.h"
#include "VXPage_ZPSIPPortConfig.h"
#include "VXPluginContract.h"

#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEngine>
#include <QPainter>
#include <QPluginLoader>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QImage logoOf(QDialog& d)
{
    return d.findChild<QLabel*>(QStringLiteral("lb_mainLogo"))->pixmap(Qt::ReturnByValue).toImage().convertToFormat(
        QImage::Format_ARGB32);
}

QString text(QWidget& d, const char* name)
{
    auto* label = d.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

// What the label shows for an image file: the file read into a pixmap, as the
// dialog does. (A pixmap may keep premultiplied pixels, whose round trip
// rounds differently on different processors; both sides take the same path.)
QImage shownAs(const QString& path)
{
    return QPixmap(path).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool sameRgb(QRgb a, const QColor& b)
{
    return qRed(a) == b.red() && qGreen(a) == b.green() && qBlue(a) == b.blue();
}

// Records the texts a widget paints, each run with its pen colour and where it
// starts: what the style asks for, whatever fonts the machine has (with none,
// no glyph reaches the pixels at all).
class TextRecorder : public QPaintDevice
{
public:
    struct Run
    {
        QString text;
        QColor pen;
        QPointF at;
    };
    QVector<Run> runs;

    // The last run of `text`: the one painted over any etched shadow of it.
    Run last(const QString& text) const
    {
        for (int i = runs.size() - 1; i >= 0; --i)
            if (runs[i].text == text)
                return runs[i];
        return Run{};
    }
    QPaintEngine* paintEngine() const override { return &m_engine; }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth:
        case PdmHeight:
            return 2000;
        case PdmWidthMM:
        case PdmHeightMM:
            return 529;
        case PdmNumColors:
            return INT_MAX;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 96;   // the four resolutions
        }
    }

private:
    struct Engine : QPaintEngine
    {
        explicit Engine(QVector<Run>& r) : QPaintEngine(AllFeatures), runs(r) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState& s) override
        {
            if (s.state() & DirtyPen)
                pen = s.pen().color();
            if (s.state() & DirtyTransform)
                transform = s.transform();
        }
        void drawTextItem(const QPointF& p, const QTextItem& item) override
        {
            runs.push_back({item.text(), pen, transform.map(p)});
        }
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawPath(const QPainterPath&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        Type type() const override { return User; }
        QVector<Run>& runs;
        QColor pen;
        QTransform transform;
    };
    mutable Engine m_engine{runs};
};

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { shelltest::stopModalDrivers(); }
    void addressDialogForm();
    void addressDialogResults_data();
    void addressDialogResults();

    void aboutDefaultsWithControllerDown();
    void aboutTextsFromIni();
    void aboutLogoFallbacks_data();
    void aboutLogoFallbacks();
    void aboutLogoShownWhole_data();
    void aboutLogoShownWhole();
    void aboutVersionsFromController();
    void aboutCloseAndLanguageChange();
    void firmwareDigits_data();
    void firmwareDigits();

    void mergeColors_data();
    void mergeColors();
    void styleMetricsAndOwnership();
    void menuPainting();

    void domXml();
    void pluginMetadataAndInstance();
};

void TestDialogs::addressDialogForm()
{
    VXPage_ZPSIPPortConfig d(QStringLiteral("192.168.1.5"));
    QCOMPARE(d.size(), QSize(378, 236));
    QCOMPARE(d.windowTitle(), QStringLiteral("VXTools ZPS Connect"));
    const struct { const char* name; QRect geometry; const char* text; } widgets[] = {
        {"label", QRect(14, 100, 51, 25), "ZPS IP:"},
        {"le_ZPSIP", QRect(80, 100, 200, 25), "192.168.1.5"},
        {"btn_SetZPSIP", QRect(290, 100, 75, 25), "SetZPSIP"},
        {"btn_Cancel", QRect(290, 170, 75, 31), "Cancel"},
    };
    for (const auto& w : widgets) {
        QWidget* widget = d.findChild<QWidget*>(QString::fromLatin1(w.name));
        QVERIFY2(widget, w.name);
        QCOMPARE(widget->geometry(), w.geometry);
        QCOMPARE(widget->property("text").toString(), QString::fromLatin1(w.text));
    }
    auto* edit = d.findChild<QLineEdit*>(QStringLiteral("le_ZPSIP"));
    QCOMPARE(edit->minimumSize(), QSize(200, 25));
    QCOMPARE(edit->maximumSize(), QSize(200, 25));
    auto* set = d.findChild<QPushButton*>(QStringLiteral("btn_SetZPSIP"));
    QCOMPARE(set->minimumHeight(), 25);
    QCOMPARE(set->maximumHeight(), 25);
}

void TestDialogs::addressDialogResults_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("address");
    QTest::newRow("confirm a new address") << "10.0.0.1" << "10.0.0.2" << "btn_SetZPSIP" << 1 << "10.0.0.2";
    QTest::newRow("confirm keeps spaces") << "" << " 10.0.0.3 " << "btn_SetZPSIP" << 1 << " 10.0.0.3 ";
    QTest::newRow("confirm empty text") << "10.0.0.1" << "" << "btn_SetZPSIP" << 1 << "";
    QTest::newRow("confirm no address form") << "" << "robot" << "btn_SetZPSIP" << 1 << "robot";
    QTest::newRow("cancel keeps the old one") << "10.0.0.1" << "10.0.0.9" << "btn_Cancel" << 0 << "10.0.0.1";
}

void TestDialogs::addressDialogResults()
{
    QFETCH(QString, given);
    QFETCH(QString, typed);
    QFETCH(QString, button);
    QFETCH(int, result);
    QFETCH(QString, address);
    VXPage_ZPSIPPortConfig d(given);
    shelltest::onNextModal([&](QWidget* modal) {
        // Typed as a user types over the address proposed (an empty field:
        // one Backspace).
        auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("le_ZPSIP"));
        if (typed.isEmpty())
            QTest::keyClick(edit, Qt::Key_Backspace);
        else
            QTest::keyClicks(edit, typed);
        modal->findChild<QPushButton*>(button)->click();
    });
    QCOMPARE(d.exec(), result);
    QCOMPARE(d.zpsIp(), address);
}

void TestDialogs::aboutDefaultsWithControllerDown()
{
    VXRPC_InitClient("127.0.2.250", vx::kRpcPort, vx::kCommandPort);   // nobody listens there
    QTemporaryDir dir;
    AboutDialog d(dir.filePath(QStringLiteral("VXTools.ini")), nullptr, dir.path());
    QVERIFY(d.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(d.minimumSize(), QSize(740, 550));
    QCOMPARE(d.maximumSize(), QSize(740, 550));
    QCOMPARE(text(d, "lb_dlgTitle"), QStringLiteral("About"));
    QCOMPARE(text(d, "lb_versionTip"), QStringLiteral("VXTool Version " VX_TEST_VERSION));
    QCOMPARE(text(d, "lb_ZPSversionTip"), QStringLiteral("ZPS Version 0.0"));
    QCOMPARE(text(d, "lb_BoxversionTip"), QStringLiteral("Box Version 0.0.0"));
    QCOMPARE(text(d, "lb_AlgorithmversionTip"), QStringLiteral("Algorithm Version 0"));
    QCOMPARE(text(d, "lb_FirmwareversionTip"), QStringLiteral("Firmware Version 0x00000000"));
    // The product's own texts: present, and about VXTools.
    QVERIFY(text(d, "lb_programName").contains(QStringLiteral("VXTools")));
    QVERIFY(!text(d, "lb_copyright").isEmpty());
    QVERIFY(!text(d, "lb_warning").isEmpty());
    QVERIFY(text(d, "lb_companyWebSite").startsWith(QStringLiteral("<html><head/><body><p><a href='")));
    QCOMPARE(logoOf(d), shownAs(QStringLiteral(":/VXTools/norvane")));
    auto* warning = d.findChild<QLabel*>(QStringLiteral("lb_warning"));
    QCOMPARE(warning->alignment(), Qt::AlignTop);
    QVERIFY(warning->wordWrap());
    QCOMPARE(d.findChild<QLabel*>(QStringLiteral("lb_programName"))->alignment(), Qt::AlignCenter);
    QCOMPARE(d.findChild<QLabel*>(QStringLiteral("lb_dlgTitle"))->font().pointSize(), 18);
    QCOMPARE(d.findChild<QLabel*>(QStringLiteral("lb_dlgTitle"))->styleSheet(),
             QStringLiteral("background-color: rgb(0, 170, 255);"));
    QVERIFY(d.findChild<QLabel*>(QStringLiteral("lb_companyWebSite"))->openExternalLinks());
    QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("btn_close"))->text(), QStringLiteral("Close"));
    QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("btn_close"))->font().pointSize(), 9);
}

void TestDialogs::aboutTextsFromIni()
{
    VXRPC_InitClient("127.0.2.250", vx::kRpcPort, vx::kCommandPort);
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("VXTools.ini"));
    {
        QSettings s(ini, QSettings::IniFormat);
        s.setValue("VersionInfo/ProgramName", "Arm Service Tool");
        s.setValue("VersionInfo/CompanyWebSite", "https://robots.example.com/a?b=1");
        s.setValue("VersionInfo/Copyright", "(c) Example Robotics");
        s.setValue("VersionInfo/Warning", "Stay clear of the arm.");
    }
    AboutDialog d(ini, nullptr, dir.path());
    QCOMPARE(text(d, "lb_programName"), QStringLiteral("Arm Service Tool"));
    QCOMPARE(text(d, "lb_copyright"), QStringLiteral("(c) Example Robotics"));
    QCOMPARE(text(d, "lb_warning"), QStringLiteral("Stay clear of the arm."));
    QCOMPARE(text(d, "lb_companyWebSite"),
             QStringLiteral("<html><head/><body><p><a href='https://robots.example.com/a?b=1'><span style=' "
                            "text-decoration: underline; color : #0000ff; '>https://robots.example.com/a?b=1"
                            "</span></a></p></body></html>"));
}

void TestDialogs::aboutLogoFallbacks_data()
{
    QTest::addColumn<QString>("logoName");   // INI value
    QTest::addColumn<bool>("makeFile");      // whether image/<name> exists
    QTest::addColumn<bool>("own");           // whether the own logo is expected
    QTest::newRow("existing file replaces the product logo") << "mine.png" << true << true;
    QTest::newRow("missing file") << "absent.png" << false << false;
    QTest::newRow("empty name with an image folder") << "" << true << false;
}

void TestDialogs::aboutLogoFallbacks()
{
    QFETCH(QString, logoName);
    QFETCH(bool, makeFile);
    QFETCH(bool, own);
    VXRPC_InitClient("127.0.2.250", vx::kRpcPort, vx::kCommandPort);
    QTemporaryDir dir;
    QImage mine(24, 12, QImage::Format_ARGB32);
    mine.fill(QColor(10, 200, 30));
    if (makeFile) {
        QVERIFY(QDir().mkpath(dir.filePath("image")));
        QVERIFY(mine.save(dir.filePath(QStringLiteral("image/mine.png"))));
    }
    const QString ini = dir.filePath(QStringLiteral("VXTools.ini"));
    {
        QSettings s(ini, QSettings::IniFormat);
        s.setValue("VersionInfo/LogoImageName", logoName);
    }
    AboutDialog d(ini, nullptr, dir.path());
    const QImage shown = logoOf(d);
    QVERIFY(!shown.isNull());
    QCOMPARE(shown, shownAs(own ? dir.filePath(QStringLiteral("image/mine.png")) : QStringLiteral(":/VXTools/norvane")));
}

void TestDialogs::aboutLogoShownWhole_data()
{
    QTest::addColumn<QSize>("ownLogo");   // empty: the product logo
    QTest::addColumn<int>("warningRepeats");
    QTest::newRow("product logo, short warning") << QSize() << 1;
    // Texts that need more height than the fixed dialog has, whatever the font.
    QTest::newRow("product logo, long warning") << QSize() << 40;
    QTest::newRow("wide own logo is scaled down") << QSize(1600, 200) << 1;
    QTest::newRow("tall own logo is scaled down") << QSize(120, 400) << 40;
    QTest::newRow("small own logo stays as it is") << QSize(50, 20) << 40;
}

// The logo label holds its whole picture once the fixed-size dialog has laid
// out, however much room its texts ask for; a picture too big for the room
// of the product logo is shown smaller, with its proportions.
void TestDialogs::aboutLogoShownWhole()
{
    QFETCH(QSize, ownLogo);
    QFETCH(int, warningRepeats);
    VXRPC_InitClient("127.0.2.250", vx::kRpcPort, vx::kCommandPort);
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("VXTools.ini"));
    {
        QSettings s(ini, QSettings::IniFormat);
        s.setValue("VersionInfo/Warning", QString("Stay clear of the arm while it moves. ").repeated(warningRepeats));
        if (ownLogo.isValid()) {
            QImage mine(ownLogo, QImage::Format_ARGB32);
            mine.fill(QColor(10, 200, 30));
            QVERIFY(QDir().mkpath(dir.filePath("image")));
            QVERIFY(mine.save(dir.filePath(QStringLiteral("image/mine.png"))));
            s.setValue("VersionInfo/LogoImageName", "mine.png");
        }
    }
    AboutDialog d(ini, nullptr, dir.path());
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    auto* label = d.findChild<QLabel*>(QStringLiteral("lb_mainLogo"));
    const QSize shown = label->pixmap(Qt::ReturnByValue).size();
    const QSize original = ownLogo.isValid() ? ownLogo : QSize(400, 86);
    QCOMPARE(shownAs(QStringLiteral(":/VXTools/norvane")).size(), QSize(400, 86));
    const int roomWidth = 740 - 2 * 11;
    if (original.width() <= roomWidth && original.height() <= AboutDialog::kLogoHeight) {
        QCOMPARE(shown, original);
    } else {
        QVERIFY(shown.width() <= roomWidth && shown.height() <= AboutDialog::kLogoHeight);
        QVERIFY(shown.width() == roomWidth || shown.height() == AboutDialog::kLogoHeight);
        const double ratio = double(original.width()) / original.height();
        QVERIFY(qAbs(double(shown.width()) / shown.height() - ratio) < 0.05 * ratio);
    }
    QVERIFY2(label->contentsRect().width() >= shown.width() && label->contentsRect().height() >= shown.height(),
             qPrintable(QStringLiteral("label %1 x %2 for a %3 x %4 logo")
                            .arg(label->contentsRect().width())
                            .arg(label->contentsRect().height())
                            .arg(shown.width())
                            .arg(shown.height())));
    QVERIFY(d.rect().contains(label->geometry()));
}

void TestDialogs::aboutVersionsFromController()
{
    vxtest::SimProcess sim("127.0.2.30");
    QVERIFY2(sim.ok(), sim.error().c_str());
    VXRPC_InitClient("127.0.2.30", vx::kRpcPort, vx::kCommandPort);
    int v[7] = {-9, -9, -9, -9, -9, -9, -9};
    QCOMPARE(VXRPC_ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]), 0);
    QTemporaryDir dir;
    AboutDialog d(dir.filePath(QStringLiteral("VXTools.ini")), nullptr, dir.path());
    QCOMPARE(text(d, "lb_ZPSversionTip"), QStringLiteral("ZPS Version %1.%2").arg(v[0]).arg(v[1]));
    QCOMPARE(text(d, "lb_BoxversionTip"), QStringLiteral("Box Version %1.%2.%3").arg(v[2]).arg(v[3]).arg(v[4]));
    QCOMPARE(text(d, "lb_AlgorithmversionTip"), QStringLiteral("Algorithm Version %1").arg(v[5]));
    QCOMPARE(text(d, "lb_FirmwareversionTip"),
             QStringLiteral("Firmware Version 0x") + AboutDialog::firmwareDigits(v[6]));
    // The simulator's firmware number is not zero: the line must not show eight zeros.
    QVERIFY(v[6] != 0);
    QVERIFY(!text(d, "lb_FirmwareversionTip").endsWith(QStringLiteral("00000000")));
    VXRPC_InitClient("127.0.2.250", vx::kRpcPort, vx::kCommandPort);
}

void TestDialogs::aboutCloseAndLanguageChange()
{
    VXRPC_InitClient("127.0.2.250", vx::kRpcPort, vx::kCommandPort);
    QTemporaryDir dir;
    AboutDialog d(dir.filePath(QStringLiteral("VXTools.ini")), nullptr, dir.path());
    auto* title = d.findChild<QLabel*>(QStringLiteral("lb_dlgTitle"));
    title->setText(QStringLiteral("changed"));
    QEvent change(QEvent::LanguageChange);
    QApplication::sendEvent(&d, &change);
    QCOMPARE(title->text(), QStringLiteral("About"));

    shelltest::onNextModal([](QWidget* modal) {
        modal->findChild<QPushButton*>(QStringLiteral("btn_close"))->click();
    });
    QElapsedTimer t;
    t.start();
    d.exec();
    QVERIFY(t.elapsed() < 60000);   // a hang detector: the driver's click ended it
    QVERIFY(!d.isVisible());
}

void TestDialogs::firmwareDigits_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("digits");
    QTest::newRow("zero") << 0 << "00000000";
    QTest::newRow("ten") << 10 << "0000000A";
    QTest::newRow("0x12345678") << 305419896 << "12345678";
    QTest::newRow("largest") << 0x7fffffff << "7FFFFFFF";
    QTest::newRow("mixed letters") << 0xabcdef << "00ABCDEF";
    QTest::newRow("negative keeps its sign") << -26 << "00000-1A";
    QTest::newRow("most negative") << int(0x80000000) << "-80000000";
}

void TestDialogs::firmwareDigits()
{
    QFETCH(int, value);
    QFETCH(QString, digits);
    QCOMPARE(AboutDialog::firmwareDigits(value), digits);
}

void TestDialogs::mergeColors_data()
{
    QTest::addColumn<QColor>("a");
    QTest::addColumn<QColor>("b");
    QTest::addColumn<int>("p");
    QTest::addColumn<QColor>("merged");
    QTest::newRow("item and selection, half") << QColor(244, 244, 244) << QColor(40, 148, 255) << 50
                                              << QColor(142, 196, 249);
    QTest::newRow("all of a") << QColor(1, 2, 3) << QColor(200, 100, 50) << 100 << QColor(1, 2, 3);
    QTest::newRow("all of b") << QColor(1, 2, 3) << QColor(200, 100, 50) << 0 << QColor(200, 100, 50);
    // Each term is divided on its own: 33*255/100 = 84, 255*67/100 = 170.
    QTest::newRow("integer division per term") << QColor(255, 255, 255) << QColor(255, 255, 255) << 33
                                                << QColor(254, 254, 254);
}

void TestDialogs::mergeColors()
{
    QFETCH(QColor, a);
    QFETCH(QColor, b);
    QFETCH(int, p);
    QFETCH(QColor, merged);
    QCOMPARE(CCustomStyle::mergeColors(a, b, p), merged);
}

void TestDialogs::styleMetricsAndOwnership()
{
    QPointer<QStyle> style;
    {
        CCustomMenu menu(QStringLiteral("Tools"));
        QCOMPARE(menu.objectName(), QStringLiteral("CustomMenu"));
        QCOMPARE(menu.title(), QStringLiteral("Tools"));
        QVERIFY(menu.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(menu.windowFlags() & Qt::Popup);
        QVERIFY(menu.testAttribute(Qt::WA_TranslucentBackground));
        style = menu.style();
        QVERIFY(qobject_cast<CCustomStyle*>(style.data()));
        QCOMPARE(style->pixelMetric(QStyle::PM_SmallIconSize), 50);
        QCOMPARE(style->pixelMetric(QStyle::PM_MenuPanelWidth), 1);
        QCOMPARE(style->pixelMetric(QStyle::PM_ButtonMargin), QApplication::style()->pixelMetric(QStyle::PM_ButtonMargin));
        // Each menu has a style of its own.
        CCustomMenu other;
        QVERIFY(other.style() != menu.style());
        QVERIFY(QApplication::style() != menu.style());
    }
    QVERIFY(style.isNull());   // gone with its menu

    QWidget host;
    CCustomMenu* sub = createCustomMenu(&host, QIcon(QPixmap(8, 8)), QStringLiteral("Sub"));
    QCOMPARE(sub->parent(), &host);
    QCOMPARE(host.actions().value(0), sub->menuAction());
    QVERIFY(!sub->icon().isNull());
}

void TestDialogs::menuPainting()
{
    CCustomMenu menu;
    // Large bold text: tall rows and wide labels.
    QFont font = menu.font();
    font.setPixelSize(26);
    font.setBold(true);
    menu.setFont(font);
    QPixmap red(32, 32);
    red.fill(QColor(255, 0, 0));
    QAction* iconItem = menu.addAction(QIcon(red), QStringLiteral("About"));
    QAction* disabled = menu.addAction(QStringLiteral("Disabled"));
    disabled->setEnabled(false);
    QAction* separator = menu.addSeparator();
    separator->setText(QStringLiteral("Group"));
    QAction* shortcut = menu.addAction(QStringLiteral("Open\tCtrl+O"));
    QAction* plain = menu.addAction(QStringLiteral("Plain"));
    menu.popup(QPoint(50, 50));
    QVERIFY(QTest::qWaitForWindowExposed(&menu));

    const QColor bg = CCustomStyle::itemBackground;
    const QColor blue = CCustomStyle::selectedBackground;

    // Selected: the blue bar with dark text on it.
    menu.setActiveAction(iconItem);
    QImage img = menu.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QRect r = menu.actionGeometry(iconItem);
    QVERIFY(sameRgb(img.pixel(r.right() - 2, r.center().y()), blue));
    QVERIFY(sameRgb(img.pixel(menu.actionGeometry(plain).right() - 2, menu.actionGeometry(plain).center().y()), bg));
    // The 32 x 32 icon, asked for at 50 x 50, stays 32 wide, centred in its column.
    // The menu reserves the icon size plus 4 for its icon column.
    const int k = qMax(menu.style()->pixelMetric(QStyle::PM_SmallIconSize) + 4, 20);
    int redRun = 0, firstRed = -1;
    for (int x = r.left(); x <= r.right(); ++x)
        if (sameRgb(img.pixel(x, r.center().y()), QColor(255, 0, 0))) {
            ++redRun;
            if (firstRed < 0)
                firstRed = x;
        }
    QCOMPARE(redRun, 32);
    QVERIFY2(qAbs((firstRed + 16) - (r.left() + 4 + k / 2)) <= 1, qPrintable(QString::number(firstRed)));
    TextRecorder painted;
    menu.render(&painted);
    QCOMPARE(painted.last(QStringLiteral("About")).pen, CCustomStyle::itemText);

    // Disabled and hovered: never the blue bar; grey text.
    menu.setActiveAction(disabled);
    img = menu.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    r = menu.actionGeometry(disabled);
    QVERIFY(sameRgb(img.pixel(r.right() - 2, r.center().y()), bg));
    painted.runs.clear();
    menu.render(&painted);
    QCOMPARE(painted.last(QStringLiteral("Disabled")).pen, CCustomStyle::disabledText);

    // Separator with text: the line starts after the text's gap.
    r = menu.actionGeometry(separator);
    const int cy = r.top() + r.height() / 2;
    QVERIFY(sameRgb(img.pixel(r.right() - 6, cy), CCustomStyle::separatorLine));
    const int textWidth = menu.fontMetrics().horizontalAdvance(QStringLiteral("Group"));
    QVERIFY(sameRgb(img.pixel(r.left() + 5 + textWidth + 2, cy), bg));
    QVERIFY(sameRgb(img.pixel(r.left() + 5 + textWidth + 5 + 2, cy), CCustomStyle::separatorLine));
    const qreal groupAt = painted.last(QStringLiteral("Group")).at.x();
    QVERIFY2(groupAt >= r.left() + 5 && groupAt <= r.left() + 5 + textWidth, qPrintable(QString::number(groupAt)));

    // Shortcut: drawn right of the label area, not inside it.
    r = menu.actionGeometry(shortcut);
    const int labelEnd = r.left() + k + 7 + menu.fontMetrics().horizontalAdvance(QStringLiteral("Open")) + 4;
    const TextRecorder::Run keys = painted.last(QStringLiteral("Ctrl+O"));
    QCOMPARE(keys.pen, CCustomStyle::itemText);
    QVERIFY2(keys.at.x() > labelEnd && r.contains(keys.at.toPoint()), qPrintable(QString::number(keys.at.x())));
    QVERIFY(sameRgb(img.pixel(labelEnd + 4, r.center().y()), bg));
    menu.close();
}

void TestDialogs::domXml()
{
    QCOMPARE(vx::pluginDomXml(QStringLiteral("VXPlugin_Scope")),
             QStringLiteral("<widget class=\"VXPlugin_Scope\" name=\"vXPlugin_Scope\">\n"
                            " <property name=\"geometry\">\n"
                            "  <rect>\n"
                            "   <x>0</x>\n"
                            "   <y>0</y>\n"
                            "   <width>100</width>\n"
                            "   <height>100</height>\n"
                            "  </rect>\n"
                            " </property>\n"
                            "</widget>\n"));
    const QStringList lines = vx::pluginDomXml(QStringLiteral("VXPlugin_Config")).split('\n');
    QCOMPARE(lines.size(), 11);   // ten lines, each ending with a line feed
    QCOMPARE(lines.first(), QStringLiteral("<widget class=\"VXPlugin_Config\" name=\"vXPlugin_Config\">"));
    QCOMPARE(lines.last(), QString());
}

void TestDialogs::pluginMetadataAndInstance()
{
    QPluginLoader loader(QDir(shelltest::fixtureDir()).filePath(QStringLiteral("fixture_p15.so")));
    const QJsonObject meta = loader.metaData();
    QCOMPARE(meta.value("IID").toString(), QStringLiteral("org.qt-project.Qt.QDesignerCustomWidgetInterface"));
    QCOMPARE(meta.value("className").toString(), QStringLiteral("VXFixturePlugin"));
    // Qt 5.15's moc leaves an empty "MetaData" object out altogether.
    QVERIFY(meta.value("MetaData").toObject().isEmpty());
    // "debug" follows the kind of build the plug-in comes from.
#ifdef QT_NO_DEBUG
    const bool debugBuild = false;
#else
    const bool debugBuild = true;
#endif
    QCOMPARE(meta.value("debug").toBool(), debugBuild);
    // The Qt the plug-in was built with, to the minor version (as Qt 5.15 records it).
    QCOMPARE(meta.value("version").toInt() & 0xffff00, int(QT_VERSION) & 0xffff00);
    QObject* root = loader.instance();
    QVERIFY(root);
    QCOMPARE(loader.instance(), root);   // one entry object per library
    QVERIFY(root->inherits("QDesignerCustomWidgetInterface"));
    auto* contract = qobject_cast<QDesignerCustomWidgetInterface*>(root);
    QVERIFY(contract);
    QCOMPARE(contract->whatsThis(), QStringLiteral("15"));
    QVERIFY(!contract->isInitialized());
    contract->initialize(nullptr);
    QVERIFY(contract->isInitialized());
    QCOMPARE(contract->codeTemplate(), QString());
}

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
