// Helpers for the shell's widget tests: plug-in folders made of the test
// plug-ins, and bounded driving of modal dialogs.
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace shelltest {

inline QString fixtureDir()
{
    return QString::fromLocal8Bit(qgetenv("VX_FIXTURE_DIR"));
}

// Copies test plug-ins into `pluginsDir` under new file names:
// {"c_x.so", "fixture_scope10.so"} puts fixture_scope10 there as c_x.so.
inline bool installPlugins(const QString& pluginsDir, const QList<QPair<QString, QString>>& files)
{
    if (!QDir().mkpath(pluginsDir))
        return false;
    for (const auto& f : files) {
        const QString target = QDir(pluginsDir).filePath(f.first);
        QFile::remove(target);
        if (!QFile::copy(QDir(fixtureDir()).filePath(f.second), target))
            return false;
    }
    return true;
}

// Runs `act` on the next modal widget to appear, polling every 20 ms for at
// most `ms` (generous: a loaded machine may be slow to show it). Returns at
// once; the caller waits for the effect with QTRY_* (or modalsDone()).
inline void onNextModal(std::function<void(QWidget*)> act, int ms = 30000)
{
    auto* timer = new QTimer(qApp);
    timer->setObjectName(QStringLiteral("shelltest-modal-driver"));
    const QDeadlineTimer deadline(ms);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, act, deadline] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        } else if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Whether every driver has acted (or given up) and no modal dialog is open:
// what a test waits for before it goes on, instead of a guessed pause.
inline bool modalsDone()
{
    const auto drivers = qApp->findChildren<QTimer*>(QStringLiteral("shelltest-modal-driver"));
    for (QTimer* t : drivers)
        if (t->isActive())
            return false;
    return !QApplication::activeModalWidget();
}

// Drops drivers still waiting, so one test's handler never acts on the next
// test's dialog.
inline void stopModalDrivers()
{
    const auto drivers = qApp->findChildren<QTimer*>(QStringLiteral("shelltest-modal-driver"));
    for (QTimer* t : drivers)
        delete t;
}

} // namespace shelltest
