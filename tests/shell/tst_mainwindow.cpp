// The main window as a plug-in host and link watcher: page order and skipping,
// the first-tick address dialog and the INI file, the lamp against the
// simulator, the disconnect signal, the maximise toggle and dragging.
#include "GuiHelpers.h"
#include "MarkingTranslator.h"
#include "SimProcess.h"
#include "VX_Ports.h"
#include "VX_Prod.h"
#include "VXToolsMain.h"

#include <QAbstractButton>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

using shelltest::installPlugins;
using shelltest::modalsDone;
using shelltest::onNextModal;

namespace {

const char kGray[] = "QPushButton{border-image:url(\":/VXTools/LED_GRAY\");}";
const char kGreen[] = "QPushButton{border-image:url(\":/VXTools/LED_GREEN\");}";

// The page buttons left to right, by their text.
QStringList pageButtonTexts(MainWindow& w)
{
    auto* row = w.findChild<QLayout*>(QStringLiteral("hl_topToolBTN"));
    QStringList texts;
    for (int i = 0; row && i < row->count(); ++i) {
        QLayout* column = row->itemAt(i)->layout();
        auto* button = column && column->count() ? qobject_cast<QToolButton*>(column->itemAt(0)->widget()) : nullptr;
        texts << (button ? button->text() : QStringLiteral("?"));
    }
    return texts;
}

QString lamp(MainWindow& w)
{
    return w.findChild<QPushButton*>(QStringLiteral("btn_light"))->styleSheet();
}

// Confirms the next address dialog with `address` (unchanged if null).
void confirmNextDialog(const char* address, QString* shown = nullptr)
{
    onNextModal([address, shown](QWidget* modal) {
        auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("le_ZPSIP"));
        if (shown && edit)
            *shown = edit->text();
        if (edit && address)
            edit->setText(QString::fromLatin1(address));
        if (auto* ok = modal->findChild<QPushButton*>(QStringLiteral("btn_SetZPSIP")))
            ok->click();
    });
}

void cancelNextDialog(QString* shown = nullptr)
{
    onNextModal([shown](QWidget* modal) {
        if (auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("le_ZPSIP")); edit && shown)
            *shown = edit->text();
        if (auto* cancel = modal->findChild<QPushButton*>(QStringLiteral("btn_Cancel")))
            cancel->click();
    });
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formAsBuilt();
    void pageOrder_data();
    void pageOrder();
    void pageButtons();
    void pageButtonWordsTranslated();
    void nothingToLoad();
    void pluginFolder_data();
    void pluginFolder();
    void pluginsBesideReleaseFolder();
    void pageSwitching();

    void firstTickWithoutIni();
    void firstTickCancelled();
    void confirmingUnchangedRewrites();
    void unwritableIniStillConnects();
    void lampFollowsLink();
    void networkActionAsksAgain();

    void aboutActionOpensDialog();
    void closeButtonClosesWindow();
    void maximiseToggle();
    void doubleClickOnTopFrame();
    void dragByTopFrame();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString programDir() const { return m_dir->path(); }
    QString pluginsDir() const { return m_dir->filePath(QStringLiteral("plugins")); }
};

void TestMainWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // No test starts with a live dashboard link left over from another.
    VX_InitDashboardClient("127.0.2.254");
    QVERIFY(!VX_IsConnectDashboard());
}

void TestMainWindow::cleanup()
{
    // A dialog left open by a failed check must not block the next test.
    shelltest::stopModalDrivers();
    while (QWidget* modal = QApplication::activeModalWidget())
        modal->close();
    m_dir.reset();
}

void TestMainWindow::formAsBuilt()
{
    MainWindow w(nullptr, programDir());
    QCOMPARE(w.windowTitle(), QStringLiteral("VXTools"));
    QCOMPARE(w.size(), QSize(1024, 800));
    QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
    auto* top = w.findChild<QFrame*>(QStringLiteral("topFrame"));
    QVERIFY(top);
    QCOMPARE(top->minimumHeight(), 64);
    QCOMPARE(top->maximumHeight(), 64);
    QCOMPARE(top->styleSheet(), QStringLiteral("QFrame{background-color: rgb(49,58,67);}"));
    auto* bottom = w.findChild<QFrame*>(QStringLiteral("bottomFrame"));
    QVERIFY(bottom && bottom->isHidden());
    QCOMPARE(bottom->styleSheet(), QStringLiteral("QFrame{background-color: rgb(207,214,220);}"));

    const struct { const char* name; const char* style; } buttons[] = {
        {"btn_Close", "QPushButton{border-image:url(\":/MainMenu/close\");}"},
        {"btn_Maximized", "QPushButton{border-image:url(\":/MainMenu/restore\");}"},
        {"btn_Minimized", "QPushButton{border-image:url(\":/MainMenu/min\");}"},
        {"btn_mainMenu", "QPushButton{ border-image:url(\":/VXTools/logo\");}"},
        {"btn_light", kGray},
    };
    for (const auto& b : buttons) {
        auto* button = w.findChild<QPushButton*>(QString::fromLatin1(b.name));
        QVERIFY2(button, b.name);
        QCOMPARE(button->size(), QSize(33, 33));
        QCOMPARE(button->text(), QString());
        QCOMPARE(button->styleSheet(), QString::fromLatin1(b.style));
    }

    auto* menuButton = w.findChild<QPushButton*>(QStringLiteral("btn_mainMenu"));
    QMenu* menu = menuButton->menu();
    QVERIFY(menu);
    QCOMPARE(menu->objectName(), QStringLiteral("CustomMenu"));
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), 2);
    QCOMPARE(actions[0]->text(), QStringLiteral("About"));
    QCOMPARE(actions[1]->text(), QStringLiteral("Network"));
    QCOMPARE(actions[1]->icon().availableSizes().value(0), QSize(32, 32));

    auto* stack = w.findChild<QStackedWidget*>(QStringLiteral("tw_mainWidgets"));
    QCOMPARE(stack->count(), 2);
    QCOMPARE(stack->widget(0)->objectName(), QStringLiteral("page"));
    QCOMPARE(stack->widget(1)->objectName(), QStringLiteral("page_2"));
    QCOMPARE(w.iniPath(), QDir(programDir()).filePath(QStringLiteral("VXTools.ini")));
}

void TestMainWindow::pageOrder_data()
{
    QTest::addColumn<QStringList>("files");     // "file name=fixture" pairs
    QTest::addColumn<QStringList>("expected");  // page buttons left to right

    QTest::newRow("by number, not by file name")
        << QStringList{"a.so=fixture_script30.so", "b.so=fixture_config20.so", "c.so=fixture_scope10.so"}
        << QStringList{"scope10", "config20", "script30"};
    QTest::newRow("15 goes between 10 and 20")
        << QStringList{"a.so=fixture_script30.so", "b.so=fixture_config20.so", "c.so=fixture_scope10.so",
                       "d.so=fixture_p15.so"}
        << QStringList{"scope10", "p15", "config20", "script30"};
    QTest::newRow("tie: the later file name wins")
        << QStringList{"m.so=fixture_config20.so", "z.so=fixture_tie20.so", "a.so=fixture_scope10.so"}
        << QStringList{"scope10", "tie20"};
    QTest::newRow("tie, files the other way round")
        << QStringList{"m.so=fixture_tie20.so", "z.so=fixture_config20.so"} << QStringList{"config20"};
    QTest::newRow("tie decided ignoring case")
        << QStringList{"B.so=fixture_tie20.so", "a.so=fixture_config20.so"} << QStringList{"tie20"};
    QTest::newRow("not a number counts as 0")
        << QStringList{"a.so=fixture_scope10.so", "b.so=fixture_word.so"} << QStringList{"word", "scope10"};
    QTest::newRow("skips what is no page plug-in")
        << QStringList{"a.so=fixture_other.so", "b.so=fixture_plain.so", "c.so=fixture_nowidget.so",
                       "d.so=fixture_config20.so"}
        << QStringList{"config20"};
}

void TestMainWindow::pageOrder()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, expected);
    QList<QPair<QString, QString>> pairs;
    for (const QString& f : files)
        pairs << qMakePair(f.section('=', 0, 0), f.section('=', 1));
    QVERIFY(installPlugins(pluginsDir(), pairs));
    MainWindow w(nullptr, programDir());
    QCOMPARE(pageButtonTexts(w), expected);
    auto* stack = w.findChild<QStackedWidget*>(QStringLiteral("tw_mainWidgets"));
    QCOMPARE(stack->count(), 2 + expected.size());
    // The first page in page order is the one shown.
    QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("page_") + expected.first());
}

void TestMainWindow::pageButtons()
{
    QVERIFY(installPlugins(pluginsDir(), {{"x.so", "fixture_scope10.so"}}));
    MainWindow w(nullptr, programDir());
    auto* button = w.findChild<QToolButton*>(QStringLiteral("lb_scope10_Text"));
    QVERIFY(button);
    QCOMPARE(button->parentWidget()->objectName(), QStringLiteral("topFrame"));
    QVERIFY(w.findChild<QLayout*>(QStringLiteral("vl_scope10")));
    QCOMPARE(button->minimumSize(), QSize(72, 64));
    QCOMPARE(button->maximumSize(), QSize(72, 64));
    QCOMPARE(button->iconSize(), QSize(72, 36));
    QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    QCOMPARE(button->toolTip(), QStringLiteral("tip scope10"));
}

// The page button's tool tip is a page name as well: it is read in the same
// language as the button's text.
void TestMainWindow::pageButtonWordsTranslated()
{
    auto marking = std::make_unique<MarkingTranslator>("MainWindow");
    QVERIFY(installPlugins(pluginsDir(), {{"x.so", "fixture_scope10.so"}}));
    MainWindow w(nullptr, programDir());
    marking.reset();
    auto* button = w.findChild<QToolButton*>(QStringLiteral("lb_scope10_Text"));
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("<scope10>"));
    QCOMPARE(button->toolTip(), QStringLiteral("<tip scope10>"));
    QCOMPARE(button->styleSheet(),
             QStringLiteral("QToolButton{background-color: rgb(49,58,67);color: rgb(255,255,255);font-size: "
                            "17px;font-family: \"Microsoft YaHei UI\";}"));
}

void TestMainWindow::nothingToLoad()
{
    // A folder full of things that are not page plug-ins, and a text file.
    QVERIFY(installPlugins(pluginsDir(), {{"a.so", "fixture_other.so"},
                                          {"b.so", "fixture_plain.so"},
                                          {"c.so", "fixture_nowidget.so"}}));
    QFile text(QDir(pluginsDir()).filePath(QStringLiteral("readme.txt")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a library\n");
    text.close();
    MainWindow w(nullptr, programDir());
    QCOMPARE(pageButtonTexts(w), QStringList());
    auto* stack = w.findChild<QStackedWidget*>(QStringLiteral("tw_mainWidgets"));
    QCOMPARE(stack->count(), 2);
    QCOMPARE(stack->currentIndex(), 0);

    // And no plugins folder at all.
    QTemporaryDir empty;
    MainWindow bare(nullptr, empty.path());
    QCOMPARE(pageButtonTexts(bare), QStringList());
}

void TestMainWindow::pluginFolder_data()
{
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<QString>("plugins");
    QTest::newRow("Release") << "/opt/vx/Release" << "/opt/vx/plugins";
    QTest::newRow("release") << "/opt/vx/release" << "/opt/vx/plugins";
    QTest::newRow("DEBUG") << "/opt/vx/DEBUG" << "/opt/vx/plugins";
    QTest::newRow("Debug, trailing slash") << "/opt/vx/Debug/" << "/opt/vx/plugins";
    QTest::newRow("bin") << "/opt/vx/bin" << "/opt/vx/bin/plugins";
    QTest::newRow("releases") << "/opt/vx/releases" << "/opt/vx/releases/plugins";
    QTest::newRow("debugger") << "/opt/debugger" << "/opt/debugger/plugins";
}

void TestMainWindow::pluginFolder()
{
    QFETCH(QString, programDir);
    QFETCH(QString, plugins);
    QCOMPARE(QDir::cleanPath(MainWindow::pluginDirectoryFor(programDir).path()), plugins);
}

void TestMainWindow::pluginsBesideReleaseFolder()
{
    QVERIFY(installPlugins(pluginsDir(), {{"a.so", "fixture_config20.so"}}));
    const QString release = m_dir->filePath(QStringLiteral("Release"));
    QVERIFY(QDir().mkpath(release));
    QVERIFY(installPlugins(release + QStringLiteral("/plugins"), {{"a.so", "fixture_script30.so"}}));
    MainWindow w(nullptr, release);
    QCOMPARE(pageButtonTexts(w), QStringList{"config20"});
}

void TestMainWindow::pageSwitching()
{
    QVERIFY(installPlugins(pluginsDir(), {{"a.so", "fixture_scope10.so"}, {"b.so", "fixture_config20.so"}}));
    MainWindow w(nullptr, programDir());
    auto* stack = w.findChild<QStackedWidget*>(QStringLiteral("tw_mainWidgets"));
    QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("page_scope10"));
    w.findChild<QToolButton*>(QStringLiteral("lb_config20_Text"))->click();
    QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("page_config20"));
    w.findChild<QToolButton*>(QStringLiteral("lb_scope10_Text"))->click();
    QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("page_scope10"));
}

void TestMainWindow::firstTickWithoutIni()
{
    const QString ini = QDir(programDir()).filePath(QStringLiteral("VXTools.ini"));
    QString shown = QStringLiteral("unset");
    bool seen = false;
    onNextModal([&](QWidget* modal) {
        seen = true;
        QCOMPARE(modal->objectName(), QStringLiteral("VXPage_ZPSIPPortConfig"));
        QCOMPARE(modal->windowTitle(), QStringLiteral("VXTools ZPS Connect"));
        QVERIFY(!modal->parentWidget());
        shown = modal->findChild<QLineEdit*>(QStringLiteral("le_ZPSIP"))->text();
        modal->findChild<QLineEdit*>(QStringLiteral("le_ZPSIP"))->setText(QStringLiteral("127.0.2.3"));
        modal->findChild<QPushButton*>(QStringLiteral("btn_SetZPSIP"))->click();
    });
    MainWindow w(nullptr, programDir());
    QVERIFY(!QFile::exists(ini));   // nothing is written before the dialog is confirmed
    QTRY_VERIFY_WITH_TIMEOUT(seen, 5000);
    QCOMPARE(shown, QString());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ini), 2000);
    QSettings s(ini, QSettings::IniFormat);
    QCOMPARE(s.value("ZPS/IP").toString(), QStringLiteral("127.0.2.3"));
    QCOMPARE(s.value("ZPS/PORT").toString(), QStringLiteral("0"));
    QCOMPARE(s.allKeys().size(), 2);
    QCOMPARE(w.zpsAddress(), QStringLiteral("127.0.2.3"));
}

void TestMainWindow::firstTickCancelled()
{
    QVERIFY(installPlugins(pluginsDir(), {{"a.so", "fixture_scope10.so"}, {"b.so", "fixture_config20.so"}}));
    const QString ini = QDir(programDir()).filePath(QStringLiteral("VXTools.ini"));
    {
        QSettings s(ini, QSettings::IniFormat);
        s.setValue("ZPS/IP", "10.9.8.7");
        s.setValue("ZPS/PORT", 1234);
    }
    const QByteArray before = readAll(ini);
    QString shown;
    cancelNextDialog(&shown);
    MainWindow w(nullptr, programDir());
    QCOMPARE(w.zpsPort(), 1234);
    QTRY_COMPARE_WITH_TIMEOUT(shown, QStringLiteral("10.9.8.7"), 5000);
    QWidget* listening = w.findChild<QWidget*>(QStringLiteral("page_scope10"));
    // Link never started: gray lamp, and the page hears about it on every tick.
    QTRY_VERIFY_WITH_TIMEOUT(listening->property("disconnects").toInt() >= 3, 5000);
    QCOMPARE(lamp(w), QString::fromLatin1(kGray));
    QCOMPARE(readAll(ini), before);
    QCOMPARE(w.zpsAddress(), QStringLiteral("10.9.8.7"));
    // The page without the slot got no connection.
    QVERIFY(!w.findChild<QWidget*>(QStringLiteral("page_config20"))->property("disconnects").isValid());
}

void TestMainWindow::confirmingUnchangedRewrites()
{
    vxtest::SimProcess sim("127.0.2.11");
    QVERIFY2(sim.ok(), sim.error().c_str());
    const QString ini = QDir(programDir()).filePath(QStringLiteral("VXTools.ini"));
    QFile f(ini);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[ZPS]\nIP=127.0.2.11\nPORT=20000\n[Other]\nkeep=1\n");
    f.close();
    QString shown;
    confirmNextDialog(nullptr, &shown);
    MainWindow w(nullptr, programDir());
    QTRY_COMPARE_WITH_TIMEOUT(shown, QStringLiteral("127.0.2.11"), 5000);
    // Both clients were pointed at the address again: the dashboard comes up.
    QTRY_COMPARE_WITH_TIMEOUT(lamp(w), QString::fromLatin1(kGreen), 5000);
    QSettings s(ini, QSettings::IniFormat);
    QCOMPARE(s.value("ZPS/IP").toString(), QStringLiteral("127.0.2.11"));
    QCOMPARE(s.value("ZPS/PORT").toInt(), 20000);
    QCOMPARE(s.value("Other/keep").toInt(), 1);
}

void TestMainWindow::unwritableIniStillConnects()
{
    vxtest::SimProcess sim("127.0.2.12");
    QVERIFY2(sim.ok(), sim.error().c_str());
    // A folder where the file should be: no write can succeed, not even as root.
    const QString ini = QDir(programDir()).filePath(QStringLiteral("VXTools.ini"));
    QVERIFY(QDir().mkpath(ini));
    confirmNextDialog("127.0.2.12");
    MainWindow w(nullptr, programDir());
    QTRY_COMPARE_WITH_TIMEOUT(lamp(w), QString::fromLatin1(kGreen), 5000);
    QVERIFY(QFileInfo(ini).isDir());
    QCOMPARE(w.zpsAddress(), QStringLiteral("127.0.2.12"));
}

void TestMainWindow::lampFollowsLink()
{
    QVERIFY(installPlugins(pluginsDir(), {{"a.so", "fixture_scope10.so"}, {"b.so", "fixture_config20.so"}}));
    auto sim = std::make_unique<vxtest::SimProcess>("127.0.2.13");
    QVERIFY2(sim->ok(), sim->error().c_str());
    confirmNextDialog("127.0.2.13");
    MainWindow w(nullptr, programDir());
    QCOMPARE(lamp(w), QString::fromLatin1(kGray));
    QTRY_COMPARE_WITH_TIMEOUT(lamp(w), QString::fromLatin1(kGreen), 5000);
    QWidget* listening = w.findChild<QWidget*>(QStringLiteral("page_scope10"));
    // While the link is up nobody is told anything.
    const int whileUp = listening->property("disconnects").toInt();
    QTest::qWait(600);
    QCOMPARE(listening->property("disconnects").toInt(), whileUp);

    sim.reset();   // the controller goes away
    QTRY_COMPARE_WITH_TIMEOUT(lamp(w), QString::fromLatin1(kGray), 5000);
    const int atDown = listening->property("disconnects").toInt();
    QTRY_VERIFY_WITH_TIMEOUT(listening->property("disconnects").toInt() >= atDown + 3, 3000);
    QVERIFY(!w.findChild<QWidget*>(QStringLiteral("page_config20"))->property("disconnects").isValid());
}

void TestMainWindow::networkActionAsksAgain()
{
    cancelNextDialog();
    MainWindow w(nullptr, programDir());
    QTRY_VERIFY_WITH_TIMEOUT(modalsDone(), 40000);   // the first tick's address dialog, cancelled
    QVERIFY(!QApplication::activeModalWidget());
    QString shown;
    confirmNextDialog("127.0.2.14", &shown);
    auto* menu = w.findChild<QPushButton*>(QStringLiteral("btn_mainMenu"))->menu();
    QAction* network = menu->actions().value(1);
    QVERIFY(network);
    QTimer::singleShot(0, network, &QAction::trigger);
    QTRY_COMPARE_WITH_TIMEOUT(w.zpsAddress(), QStringLiteral("127.0.2.14"), 5000);
    QCOMPARE(shown, QString());
    QSettings s(w.iniPath(), QSettings::IniFormat);
    QCOMPARE(s.value("ZPS/IP").toString(), QStringLiteral("127.0.2.14"));
}

void TestMainWindow::aboutActionOpensDialog()
{
    VXRPC_InitClient("127.0.2.250", vx::kRpcPort, vx::kCommandPort);
    cancelNextDialog();
    MainWindow w(nullptr, programDir());
    QTRY_VERIFY_WITH_TIMEOUT(modalsDone(), 40000);   // the first tick's address dialog, cancelled
    QString seen;
    bool parentless = false;
    onNextModal([&](QWidget* modal) {
        seen = modal->objectName();
        parentless = modal->parentWidget() == nullptr;
        if (auto* close = modal->findChild<QPushButton*>(QStringLiteral("btn_close")))
            close->click();
    });
    QAction* about = w.findChild<QPushButton*>(QStringLiteral("btn_mainMenu"))->menu()->actions().value(0);
    QTimer::singleShot(0, about, &QAction::trigger);
    QTRY_COMPARE_WITH_TIMEOUT(seen, QStringLiteral("AboutDialog"), 5000);
    QVERIFY(parentless);
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 3000);
}

void TestMainWindow::closeButtonClosesWindow()
{
    cancelNextDialog();
    MainWindow w(nullptr, programDir());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.findChild<QPushButton*>(QStringLiteral("btn_Close"))->click();
    QVERIFY(!w.isVisible());
}

void TestMainWindow::maximiseToggle()
{
    cancelNextDialog();
    MainWindow w(nullptr, programDir());
    w.setGeometry(100, 80, 900, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY_WITH_TIMEOUT(modalsDone(), 40000);   // the first tick's address dialog, cancelled
    auto* button = w.findChild<QPushButton*>(QStringLiteral("btn_Maximized"));
    const QRect normal = w.geometry();

    button->click();
    QTRY_VERIFY_WITH_TIMEOUT(w.isMaximized(), 3000);
    QCOMPARE(button->toolTip(), QStringLiteral("Restore"));
    QCOMPARE(button->styleSheet(), QStringLiteral("QPushButton{border-image:url(\":/MainMenu/restore\");}"));
    QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);

    button = w.findChild<QPushButton*>(QStringLiteral("btn_Maximized"));
    button->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isMaximized(), 3000);
    QCOMPARE(button->toolTip(), QStringLiteral("Maximize"));
    QCOMPARE(button->styleSheet(), QStringLiteral("QPushButton{border-image:url(\":/MainMenu/max\");}"));
    QTRY_COMPARE_WITH_TIMEOUT(w.geometry(), normal, 3000);
}

void TestMainWindow::doubleClickOnTopFrame()
{
    cancelNextDialog();
    MainWindow w(nullptr, programDir());
    w.setGeometry(120, 90, 800, 600);
    w.setRestoreGeometry(QRect(120, 90, 800, 600));
    w.showMaximized();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY_WITH_TIMEOUT(w.isMaximized(), 3000);
    auto* top = w.findChild<QFrame*>(QStringLiteral("topFrame"));
    QTest::mouseDClick(top, Qt::LeftButton, Qt::NoModifier, QPoint(top->width() / 2, 30));
    QTRY_VERIFY_WITH_TIMEOUT(!w.isMaximized(), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(w.geometry(), QRect(120, 90, 800, 600), 3000);
    QCOMPARE(w.findChild<QPushButton*>(QStringLiteral("btn_Maximized"))->toolTip(), QStringLiteral("Maximize"));
    QTest::mouseDClick(top, Qt::LeftButton, Qt::NoModifier, QPoint(top->width() / 2, 30));
    QTRY_VERIFY_WITH_TIMEOUT(w.isMaximized(), 3000);
    QCOMPARE(w.findChild<QPushButton*>(QStringLiteral("btn_Maximized"))->toolTip(), QStringLiteral("Restore"));
}

void TestMainWindow::dragByTopFrame()
{
    cancelNextDialog();
    MainWindow w(nullptr, programDir());
    w.setGeometry(100, 100, 800, 600);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY_WITH_TIMEOUT(modalsDone(), 40000);   // the first tick's address dialog, cancelled
    const QPoint start = w.pos();
    const QPoint grab(300, 30);   // inside the top frame
    auto send = [&](QEvent::Type type, QPoint local, QPoint global, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent e(type, local, global, button, held, Qt::NoModifier);
        QApplication::sendEvent(&w, &e);
    };
    const QPoint g0 = start + grab;
    send(QEvent::MouseButtonPress, grab, g0, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, grab, g0 + QPoint(40, 25), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(w.pos(), start + QPoint(40, 25));
    send(QEvent::MouseButtonRelease, grab, g0 + QPoint(40, 25), Qt::LeftButton, Qt::NoButton);
    // After the release the window stays put.
    send(QEvent::MouseMove, grab, g0 + QPoint(90, 90), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(w.pos(), start + QPoint(40, 25));

    // A press below the top frame does not start a drag.
    const QPoint below(300, 300);
    send(QEvent::MouseButtonPress, below, w.pos() + below, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, grab, w.pos() + grab + QPoint(10, 10), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(w.pos(), start + QPoint(40, 25));
    send(QEvent::MouseButtonRelease, below, w.pos() + below, Qt::LeftButton, Qt::NoButton);

    // Maximised, the window does not move.
    w.showMaximized();
    QTRY_VERIFY_WITH_TIMEOUT(w.isMaximized(), 3000);
    const QPoint maxPos = w.pos();
    send(QEvent::MouseButtonPress, grab, maxPos + grab, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, grab, maxPos + grab + QPoint(50, 50), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(w.pos(), maxPos);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
