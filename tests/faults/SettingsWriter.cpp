// Writes the program's INI file the way the main window does, over and over,
// until it is killed: "ZPS/IP" and "ZPS/PORT" plus the About dialog's keys,
// all carrying the same round number, so a reader can tell a whole file
// from a torn one.
#include <QCoreApplication>
#include <QSettings>
#include <QString>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    // Never outlive the test that started it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() == 1)
        return 3;
    const std::time_t end = std::time(nullptr) + 120;
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    std::puts("writing");
    std::fflush(stdout);
    for (long round = 1; std::time(nullptr) < end; ++round) {
        QSettings ini(path, QSettings::IniFormat);
        const QString n = QString::number(round);
        ini.setValue(QStringLiteral("ZPS/IP"), QStringLiteral("10.0.%1.%2").arg(round % 250).arg(round % 7));
        ini.setValue(QStringLiteral("ZPS/PORT"), static_cast<int>(round));
        for (int k = 0; k < 20; ++k)
            ini.setValue(QStringLiteral("VersionInfo/Key%1").arg(k), QString(200, QLatin1Char('a' + k % 26)) + n);
        ini.sync();
    }
    return 0;
}
