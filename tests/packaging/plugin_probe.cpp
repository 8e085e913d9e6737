// Loads every plug-in of a plug-in folder the way the program does and
// prints its class name; exits non-zero when one does not load or when
// fewer than the expected number are there.
//   vx_plugin_probe <plugins folder> <expected count>
#include <QCoreApplication>
#include <QDir>
#include <QPluginLoader>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    if (argc != 3) {
        out << "usage: vx_plugin_probe <plugins folder> <expected count>\n";
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const int expected = QString::fromLatin1(argv[2]).toInt();
    int loaded = 0;
    bool failed = false;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        QPluginLoader loader(dir.filePath(name));
        QObject* instance = loader.instance();
        if (!instance) {
            out << "FAILED " << name << ": " << loader.errorString() << "\n";
            failed = true;
            continue;
        }
        out << "loaded " << name << " " << instance->metaObject()->className() << "\n";
        ++loaded;
    }
    if (loaded != expected) {
        out << "expected " << expected << " plug-ins, loaded " << loaded << "\n";
        failed = true;
    }
    return failed ? 1 : 0;
}
