// Drives a whole VXTools session in one process, the way a user would: the
// main window with the real plug-ins, the controller address confirmed in its
// dialog, 36 scope channels chosen and the scope started; then, for a full
// session, stop, export, import, the About dialog and closing the window.
// Prints the resident memory at intervals. Used by scripts/longrun.sh and
// scripts/leakcheck.sh.
//
//   vx_session ADDRESS SECONDS [INTERVAL_S] [--full]
#include "ResidentMemory.h"
#include "DriveSupport.h"
#include "VXToolsMain.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <cstring>
#include <functional>
#include <unistd.h>

using drive::check;
using drive::waitFor;

namespace {

using vxtest::residentMegabytes;

// What to do with the next modal dialogs: a queue of handlers, each given
// the modal widget once it shows.
std::vector<std::function<void(QWidget*)>> g_modalActions;
QString g_lastMessage;

void driveModals()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        g_lastMessage = box->text();
        std::fprintf(stderr, "message: %s\n", qPrintable(box->text()));
        box->accept();
        return;
    }
    if (g_modalActions.empty())
        return;
    auto act = g_modalActions.front();
    g_modalActions.erase(g_modalActions.begin());
    act(modal);
}

QWidget* scopePage(QWidget* window)
{
    auto* setting = window->findChild<QWidget*>(QStringLiteral("ScopePlugin_btn_Setting"));
    for (QWidget* w = setting; w; w = w->parentWidget())
        if (w->metaObject()->indexOfSlot("OnStartScope()") >= 0)
            return w;
    return nullptr;
}

void fileDialogAnswer(const QString& path)
{
    g_modalActions.push_back([path](QWidget* modal) {
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ADDRESS SECONDS [INTERVAL_S] [--full]\n", argv[0]);
        return 2;
    }
    const QString address = QString::fromLatin1(argv[1]);
    const int seconds = std::atoi(argv[2]);
    const int interval = argc > 3 && argv[3][0] != '-' ? std::max(1, std::atoi(argv[3])) : 10;
    bool full = false;
    for (int i = 3; i < argc; ++i)
        full = full || std::strcmp(argv[i], "--full") == 0;

    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    QTemporaryDir programDir;
    const char* bin = std::getenv("VX_BIN_DIR");
    const QString plugins = QDir(QString::fromLocal8Bit(bin ? bin : ".")).absoluteFilePath(QStringLiteral("plugins"));
    if (!programDir.isValid() || !QFile::link(plugins, programDir.filePath(QStringLiteral("plugins")))) {
        std::fprintf(stderr, "cannot prepare a program folder with %s\n", qPrintable(plugins));
        return 1;
    }

    QTimer modals;
    QObject::connect(&modals, &QTimer::timeout, driveModals);
    modals.start(30);

    // The address dialog opens on the window's first tick.
    g_modalActions.push_back([address](QWidget* modal) {
        if (auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("le_ZPSIP")))
            edit->setText(address);
        if (auto* ok = modal->findChild<QAbstractButton*>(QStringLiteral("btn_SetZPSIP")))
            ok->click();
    });

    const double baseline = residentMegabytes();
    auto* window = new MainWindow(nullptr, programDir.path());
    window->resize(1500, 850);
    window->show();
    QWidget* page = scopePage(window);
    if (!page) {
        std::fprintf(stderr, "no scope page (plug-ins from %s)\n", qPrintable(plugins));
        return 1;
    }
    if (!waitFor([] { return g_modalActions.empty() && !QApplication::activeModalWidget(); }, 10000)) {
        std::fprintf(stderr, "the address dialog did not come\n");
        return 1;
    }

    // 36 channels: six joints times six link quantities.
    for (int j = 1; j <= 6; ++j)
        check(page, "KDLX_Scope_tree_SetComponent", QStringLiteral("J%1").arg(j));
    for (const char* l : {"Target ACS", "Actual ACS", "Actual FilACS", "Target Cur", "Actual Cur", "FilCur"})
        check(page, "KDLX_Scope_tree_SetLink", QString::fromUtf8(l));
    if (auto* ok = page->findChild<QAbstractButton*>(QStringLiteral("KDLX_Scope_btn_SetOK")))
        ok->click();
    QMetaObject::invokeMethod(page, "OnStartScope");

    std::printf("baseline %.1f MB, after set-up %.1f MB\n%8s %10s\n", baseline, residentMegabytes(),
                "time_s", "rss_MB");
    std::fflush(stdout);
    QElapsedTimer clock;
    clock.start();
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] {
        std::printf("%8.1f %10.1f\n", clock.elapsed() / 1000.0, residentMegabytes());
        std::fflush(stdout);
        if (clock.elapsed() >= seconds * 1000LL)
            app.quit();
    });
    report.start(interval * 1000);
    app.exec();
    report.stop();

    int rc = 0;
    if (full) {
        QMetaObject::invokeMethod(page, "OnStopScope");
        const QString file = programDir.filePath(QStringLiteral("session.csv"));
        fileDialogAnswer(file);
        QMetaObject::invokeMethod(page, "slotExportScopeFile");
        waitFor([] { return !QApplication::activeModalWidget(); }, 5000);
        const qint64 size = QFileInfo(file).size();
        std::printf("exported %lld bytes\n", static_cast<long long>(size));
        if (size <= 0)
            rc = 1;
        fileDialogAnswer(file);
        QMetaObject::invokeMethod(page, "slotImportScopeFile");
        waitFor([] { return !QApplication::activeModalWidget(); }, 5000);
        g_modalActions.push_back([](QWidget* modal) { static_cast<QDialog*>(modal)->accept(); });
        QMetaObject::invokeMethod(window, "slot_AboutTriggered");
        waitFor([] { return !QApplication::activeModalWidget(); }, 5000);
        std::printf("full session done\n");
    }
    window->close();
    delete window;
    return rc;
}
