#include "VXPlugin_ScriptWidget.h"

#include "VX_Prod.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTextCodec>

#include <string>

VXPlugin_ScriptWidget::VXPlugin_ScriptWidget(QWidget* parent)
    : QWidget(parent)
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("VXPlugin_ScriptWidget"));
    resize(400, 300);
    setWindowTitle(tr("VXPlugin_ScriptWidget"));

    m_pBtnImport = new QPushButton(this);
    m_pBtnImport->setObjectName(QStringLiteral("ScriptPlugin_btn_ImportScript"));
    m_pBtnImport->setGeometry(QRect(130, 100, 93, 28));
    m_pBtnImport->setText(tr("Import Script"));

    QMetaObject::connectSlotsByName(this);
    connect(m_pBtnImport, &QPushButton::clicked, this, &VXPlugin_ScriptWidget::slotImportScriptFile);
}

VXPlugin_ScriptWidget::~VXPlugin_ScriptWidget() = default;

QString VXPlugin_ScriptWidget::chooseScriptFile()
{
    return QFileDialog::getOpenFileName(this, tr("Open File"), QStringLiteral("."),
                                        tr("json(*.json)"));
}

void VXPlugin_ScriptWidget::warn(const QString& text)
{
    QMessageBox::warning(this, tr("Warning"), text, QMessageBox::Ok);
}

void VXPlugin_ScriptWidget::slotImportScriptFile()
{
    const QString fileName = chooseScriptFile();
    if (fileName.isEmpty() || !QFile::exists(fileName))
        return;

    // Opening a pipe or a device would block, or read without end.
    const QFileInfo info(fileName);
    QFile file(fileName);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        warn(tr("ERROR:Cannot read the script file !"));
        return;
    }

    if (info.suffix() != QLatin1String("json")) {
        warn(tr("ERROR:Unsupported file formats !"));
        file.close();
        return;
    }

    if (file.size() > kMaxScriptBytes) {
        warn(tr("ERROR:Script file larger than 16 MiB !"));
        file.close();
        return;
    }
    // At most one byte past the limit, so a file that grew after the size
    // check cannot slip through either.
    const QByteArray bytes = file.read(kMaxScriptBytes + 1);
    const bool readFailed = file.error() != QFileDevice::NoError || (bytes.isEmpty() && file.size() > 0);
    file.close();
    if (readFailed) {
        warn(tr("ERROR:Cannot read the script file !"));
        return;
    }
    if (bytes.size() > kMaxScriptBytes) {
        warn(tr("ERROR:Script file larger than 16 MiB !"));
        return;
    }

    const std::string script(bytes.constData(), static_cast<size_t>(bytes.size()));
    if (VX_StartScript(script) != 0) {
        // The controller refused it, did not answer, or the text could not
        // be sent at all; success shows nothing.
        QString text = tr("ERROR:The controller did not accept the script !");
        const QString reason = notSendableReason(bytes);
        if (!reason.isEmpty())
            text += QLatin1Char('\n') + reason;
        warn(text);
    }
}

QString VXPlugin_ScriptWidget::notSendableReason(const QByteArray& bytes)
{
    // XML-RPC carries the script as XML text: UTF-8 without NUL characters.
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        return tr("The file holds a NUL byte (at offset %1), so it cannot be sent as text.").arg(nul);
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    // A sequence cut off at the end is kept back as "remaining", not counted.
    if (state.invalidChars > 0 || state.remainingChars > 0)
        return tr("The file is not UTF-8 text, so it cannot be sent as text.");
    return QString();
}
