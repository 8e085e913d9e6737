// VXTools: start-up. Reads no command-line options and no environment of its own.
#include "CrashDump.h"
#include "FileVersion.h"
#include "Translation.h"
#include "VXToolsMain.h"
#include "WritablePlaces.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTranslator>
#include <QScreen>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);

    const QString appDir = QCoreApplication::applicationDirPath();
    const vx::WritablePlaces places = vx::writablePlaces(appDir);
    vx::crash::prepareDumpPathIn(places.dumpDir, vx::fileVersionText(), QDateTime::currentDateTime());
    vx::crash::setMessageProgram(appDir + QStringLiteral("/vxtools-crashbox"));
    vx::crash::installHandler();

    // Texts follow the system's language when a translation for it ships.
    QTranslator translator;
    if (vx::loadTranslation(translator, QLocale::system(), appDir))
        QCoreApplication::installTranslator(&translator);

    auto* window = new MainWindow(nullptr);

    QFile styleSheet(QStringLiteral(":/VXTools/VXTools_QSS"));
    if (styleSheet.open(QIODevice::ReadOnly)) {
        QString text = QString::fromUtf8(styleSheet.readAll());
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        window->setStyleSheet(text);
    }

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize desktop = screen->virtualSize();
        window->move((desktop.width() - window->width()) / 2, (desktop.height() - window->height()) / 2);
    }

    window->showMaximized();
    window->setRestoreGeometry(window->geometry());
    window->showMaximized();

    const int result = app.exec();
    delete window;
    return result;
}
