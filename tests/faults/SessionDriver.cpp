// Drives a whole VXTools session in one process, the way a user would: the
// main window with the real plug-ins, the controller address confirmed in its
// dialog, 36 scope channels chosen and the scope started; then, for a full
// session, stop, export, import, the About dialog and closing the window.
// Prints the resident memory and the CPU use at intervals. Used by
// scripts/longrun.sh, scripts/longrun-memory.sh and scripts/leakcheck.sh.
//
//   vx_session ADDRESS SECONDS [INTERVAL_S] [--full] [--period MS]
//              [--own-sim] [--plant-leak]
//
// --period sets the scope's period edit before the start (999999 is the
// largest window: 1,000,000 rows at 1 kHz). --own-sim starts
// $VX_BIN_DIR/zps-sim on ADDRESS for the session. --plant-leak leaves one
// block unreleased on purpose, so a leak check can show that it finds one.
// A session that has not ended SECONDS + 120 s after its start is killed.
#include "ResidentMemory.h"
#include "SimProcess.h"
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

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <unistd.h>

using drive::check;
using drive::waitFor;

namespace {

using vxtest::cpuSeconds;
using vxtest::residentMegabytes;

// One block nobody frees, for showing that the leak check finds leaks.
void plantLeak()
{
    void* lost = std::malloc(4096);
    std::fprintf(stderr, "planted an unfreed block at %p\n", lost);
}

// What to do with the next modal dialogs: a queue of handlers, each given
// the modal widget once it shows; a handler returns false while the dialog
// is not ready for it and is then tried again on the next tick.
std::vector<std::function<bool(QWidget*)>> g_modalActions;
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
    if (g_modalActions.empty()) {
        // A dialog nobody planned for (a file dialog left open by a question
        // it asked, say) is closed, so the session always comes to its end.
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            g_lastMessage = QStringLiteral("unexpected dialog: ") + dialog->windowTitle();
            std::fprintf(stderr, "%s\n", qPrintable(g_lastMessage));
            dialog->reject();
        }
        return;
    }
    if (g_modalActions.front()(modal))
        g_modalActions.erase(g_modalActions.begin());
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
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog)
            return false;
        // As a user would: the whole path typed into the file name field.
        // (selectFile() leaves that field alone once it has the focus.)
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(path);
        else
            dialog->selectFile(path);
        if (dialog->selectedFiles() != QStringList{path})
            return false;
        // Queued: a question the dialog may ask on accepting (a message box
        // of its own) must find this timer free to answer it.
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        return true;
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
    bool full = false, ownSim = false;
    QString period;
    for (int i = 3; i < argc; ++i) {
        full = full || std::strcmp(argv[i], "--full") == 0;
        ownSim = ownSim || std::strcmp(argv[i], "--own-sim") == 0;
        if (std::strcmp(argv[i], "--plant-leak") == 0)
            plantLeak();
        if (std::strcmp(argv[i], "--period") == 0 && i + 1 < argc)
            period = QString::fromLatin1(argv[++i]);
    }
    // Whatever happens below, the session ends: SIGALRM kills it.
    alarm(unsigned(std::max(0, seconds)) + 120);

    std::unique_ptr<vxtest::SimProcess> sim;
    if (ownSim) {
        sim = std::make_unique<vxtest::SimProcess>(address.toStdString());
        if (!sim->ok()) {
            std::fprintf(stderr, "%s\n", sim->error().c_str());
            return 1;
        }
    }

    setvbuf(stdout, nullptr, _IOLBF, 0);
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
        return true;
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
    if (!period.isEmpty()) {
        auto* edit = page->findChild<QLineEdit*>(QStringLiteral("ScopePlugin_edit_PeriodTime"));
        if (!edit) {
            std::fprintf(stderr, "no period edit on the scope page\n");
            return 1;
        }
        edit->setText(period);
        std::fprintf(stderr, "period %s ms\n", qPrintable(edit->text()));
    }
    QMetaObject::invokeMethod(page, "OnStartScope");

    std::printf("baseline %.1f MB, after set-up %.1f MB\n", baseline, residentMegabytes());
    std::fflush(stdout);
    // Lines of two figures (time, resident MB) are what scripts/longrun.sh
    // reads; the CPU share of the interval follows on a line of its own.
    QElapsedTimer clock;
    clock.start();
    double lastCpu = cpuSeconds();
    qint64 lastWall = 0;
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] {
        const qint64 wall = clock.elapsed();
        const double cpu = cpuSeconds();
        std::printf("%8.1f %10.1f\n", wall / 1000.0, residentMegabytes());
        std::printf("cpu %.1f %%\n", 100.0 * (cpu - lastCpu) / std::max<double>(1e-3, (wall - lastWall) / 1000.0));
        lastCpu = cpu;
        lastWall = wall;
        std::fflush(stdout);
        if (clock.elapsed() >= seconds * 1000LL)
            app.quit();
    });
    report.start(interval * 1000);
    app.exec();
    report.stop();

    int rc = 0;
    if (full) {
        g_lastMessage.clear();
        QMetaObject::invokeMethod(page, "OnStopScope");
        const QString file = programDir.filePath(QStringLiteral("session.csv"));
        fileDialogAnswer(file);
        QMetaObject::invokeMethod(page, "slotExportScopeFile");
        waitFor([] { return !QApplication::activeModalWidget(); }, 5000);
        const qint64 size = QFileInfo(file).size();
        std::printf("exported %lld bytes\n", static_cast<long long>(size));
        if (size <= 0)
            rc = 1;
        // An answer no dialog took must not answer the next one.
        auto unanswered = [&rc](const char* step) {
            if (g_modalActions.empty())
                return;
            std::printf("the %s dialog did not come\n", step);
            g_modalActions.clear();
            rc = 1;
        };
        unanswered("save");
        fileDialogAnswer(file);
        QMetaObject::invokeMethod(page, "slotImportScopeFile");
        waitFor([] { return !QApplication::activeModalWidget(); }, 5000);
        unanswered("open");
        g_modalActions.push_back([](QWidget* modal) {
            auto* dialog = qobject_cast<QDialog*>(modal);
            if (dialog)
                dialog->accept();
            return dialog != nullptr;
        });
        QMetaObject::invokeMethod(window, "slot_AboutTriggered");
        waitFor([] { return !QApplication::activeModalWidget(); }, 5000);
        // Export and import report trouble in a message box; none may come.
        if (!g_lastMessage.isEmpty()) {
            std::printf("the session met a message: %s\n", qPrintable(g_lastMessage));
            rc = 1;
        }
        std::printf("full session done\n");
    }
    window->close();
    delete window;
    return rc;
}
