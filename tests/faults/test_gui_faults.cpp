// The whole program against a controller that drops the dashboard during a
// scope run: the main window with the real plug-ins, driven through its own
// widgets. The run stops, the lamp goes gray, and once the address is
// confirmed again the link and the scope work again.
#include "DriveSupport.h"
#include "SimProcess.h"
#include "VXToolsMain.h"
#include "VX_Prod.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <qwt_plot.h>
#include <qwt_plot_curve.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using drive::check;
using drive::waitFor;

namespace {

// Answers modal dialogs as they come: message boxes are noted and closed,
// others get the next queued handler.
class ModalDriver : public QObject
{
public:
    ModalDriver()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }
    void then(std::function<void(QWidget*)> act) { m_actions.push_back(std::move(act)); }
    bool idle() const { return m_actions.empty() && !QApplication::activeModalWidget(); }
    QStringList messages;

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages << box->text();
            box->accept();
        } else if (!m_actions.empty()) {
            auto act = m_actions.front();
            m_actions.erase(m_actions.begin());
            act(modal);
        }
    }
    QTimer m_timer;
    std::vector<std::function<void(QWidget*)>> m_actions;
};

std::function<void(QWidget*)> confirmAddress(const QString& address)
{
    return [address](QWidget* modal) {
        if (auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("le_ZPSIP")))
            edit->setText(address);
        if (auto* ok = modal->findChild<QAbstractButton*>(QStringLiteral("btn_SetZPSIP")))
            ok->click();
    };
}

QAbstractButton* button(QWidget* root, const char* name)
{
    return root->findChild<QAbstractButton*>(QLatin1String(name));
}

} // namespace

TEST(ProgramFaults, DashboardClosedDuringAScopeRunThenAddressConfirmedAgain)
{
    vxtest::SimProcess sim("127.0.5.10");
    ASSERT_TRUE(sim.ok()) << sim.error();
    QTemporaryDir programDir;
    ASSERT_TRUE(programDir.isValid());
    const QString plugins = QDir(QString::fromLocal8Bit(qgetenv("VX_BIN_DIR"))).absoluteFilePath(QStringLiteral("plugins"));
    ASSERT_TRUE(QFile::link(plugins, programDir.filePath(QStringLiteral("plugins"))));

    ModalDriver modals;
    modals.then(confirmAddress(QString::fromStdString(sim.address())));
    MainWindow window(nullptr, programDir.path());
    auto* lamp = window.findChild<QPushButton*>(QStringLiteral("btn_light"));
    ASSERT_NE(lamp, nullptr);
    const QString gray = lamp->styleSheet();
    window.resize(1400, 800);
    window.show();

    ASSERT_TRUE(waitFor([&] { return modals.idle() && lamp->styleSheet() != gray; }, 30000))
        << "the lamp never left gray after the address was confirmed";
    const QString green = lamp->styleSheet();

    QWidget* page = button(&window, "ScopePlugin_btn_Setting");
    while (page && page->metaObject()->indexOfSlot("OnStartScope()") < 0)
        page = page->parentWidget();
    ASSERT_NE(page, nullptr) << "the scope plug-in did not load from " << plugins.toStdString();
    for (int j = 1; j <= 2; ++j)
        ASSERT_TRUE(check(page, "KDLX_Scope_tree_SetComponent", QStringLiteral("J%1").arg(j)));
    ASSERT_TRUE(check(page, "KDLX_Scope_tree_SetLink", QStringLiteral("Actual ACS")));
    button(page, "KDLX_Scope_btn_SetOK")->click();
    auto* exportButton = button(page, "ScopePlugin_btn_ExportScope");
    button(page, "ScopePlugin_btn_StartScope")->click();
    EXPECT_FALSE(exportButton->isEnabled()) << "export is locked while the scope runs";
    waitFor([] { return false; }, 600);

    // The controller drops the dashboard connection.
    ASSERT_TRUE(sim.command("close-dash"));
    EXPECT_TRUE(waitFor([&] { return exportButton->isEnabled() && lamp->styleSheet() == gray; }, 30000))
        << "the run did not stop or the lamp stayed green";
    EXPECT_TRUE(modals.messages.isEmpty()) << modals.messages.join('\n').toStdString();

    // The user confirms the address again: link and scope are back.
    modals.then(confirmAddress(QString::fromStdString(sim.address())));
    QTimer::singleShot(0, &window, [&] { QMetaObject::invokeMethod(&window, "slot_NetworkConfigTriggered"); });
    ASSERT_TRUE(waitFor([&] { return modals.idle() && lamp->styleSheet() == green; }, 30000));
    auto* plot = page->findChild<QwtPlot*>();
    ASSERT_NE(plot, nullptr);
    auto curves = [&] {
        std::vector<QwtPlotCurve*> all;
        for (QwtPlotItem* item : plot->itemList())
            if (auto* curve = dynamic_cast<QwtPlotCurve*>(item))
                all.push_back(curve);
        return all;
    };
    auto most = [&] {
        size_t n = 0;
        for (QwtPlotCurve* curve : curves())
            n = std::max(n, curve->dataSize());
        return n;
    };
    button(page, "ScopePlugin_btn_StartScope")->click();
    // The scope samples again after reconnecting (however slowly the machine
    // runs: the wait is a hang detector).
    EXPECT_TRUE(waitFor([&] { return most() > 300; }, 30000)) << "the scope did not sample after reconnecting";
    button(page, "ScopePlugin_btn_StopScope")->click();
    ASSERT_TRUE(exportButton->isEnabled());

    // Its curves hold the samples in rising time order.
    for (QwtPlotCurve* curve : curves()) {
        double previous = -1e300;
        for (size_t i = 0; i < curve->dataSize(); ++i) {
            const double t = curve->sample(i).x();
            ASSERT_GT(t, previous) << "sample " << i << " of " << curve->title().text().toStdString();
            previous = t;
        }
    }
    window.close();
}

TEST(ProgramFaults, ControllerThatNeverAnswersFreesTheWindowAndShowsZeros)
{
    vxtest::SimProcess sim("127.0.5.11", {"--rpc-mode", "silent"});
    ASSERT_TRUE(sim.ok()) << sim.error();
    QTemporaryDir programDir;
    ASSERT_TRUE(programDir.isValid());
    const QString plugins = QDir(QString::fromLocal8Bit(qgetenv("VX_BIN_DIR"))).absoluteFilePath(QStringLiteral("plugins"));
    ASSERT_TRUE(QFile::link(plugins, programDir.filePath(QStringLiteral("plugins"))));

    ModalDriver modals;
    modals.then(confirmAddress(QString::fromStdString(sim.address())));
    MainWindow window(nullptr, programDir.path());
    window.show();
    ASSERT_TRUE(waitFor([&] { return modals.idle(); }, 10000));

    auto* get = button(&window, "btn_GetHomeEndat");
    ASSERT_NE(get, nullptr) << "the configuration plug-in did not load";
    std::vector<QLineEdit*> fields;
    for (int j = 1; j <= 6; ++j) {
        auto* edit = window.findChild<QLineEdit*>(QStringLiteral("le_CurEncode_J%1").arg(j));
        ASSERT_NE(edit, nullptr);
        edit->setText(QStringLiteral("777"));
        fields.push_back(edit);
    }
    // Get reads the encoders and then the origin: two calls, each given up
    // after the link's time-out, and the window is free again after them.
    QElapsedTimer blocked;
    blocked.start();
    get->click();
    const qint64 ms = blocked.elapsed();
    EXPECT_LT(ms, 2 * (qint64(vx::kRpcCallTimeoutMs) + 2500));
    for (QLineEdit* edit : fields)
        EXPECT_EQ(edit->text().toInt(), 0) << edit->objectName().toStdString() << ": " << edit->text().toStdString();
    window.close();
}
