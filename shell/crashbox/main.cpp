// Shows the crash message of VXTools: started by the crash handler as
//   vxtools-crashbox <title> <message>
// and waited for, so the crashed process ends only after the user pressed OK.
#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString title = argc > 1 ? QString::fromUtf8(argv[1]) : QStringLiteral("dump files");
    const QString text = argc > 2 ? QString::fromUtf8(argv[2]) : QString();
    QMessageBox::critical(nullptr, title, text, QMessageBox::Ok);
    return 0;
}
