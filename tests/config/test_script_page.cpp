// The script page against the controller simulator: which files are sent
// (a case-sensitive "json" suffix), that they arrive whole and unchanged,
// and what the user is told when a file or the controller refuses.
#include "GuiTestSupport.h"
#include "SimProcess.h"
#include "VX_Ports.h"
#include "VX_Prod.h"
#include "VXPlugin_ScriptWidget.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QLineEdit>

#include <sys/stat.h>

using vxtest::MessageBoxCatcher;

namespace {

// Loopback addresses of this suite (127.0.4.30 .. 127.0.4.49).
const char* const kSendAddress = "127.0.4.30";
const char* const kRefusingAddress = "127.0.4.31";
const char* const kDialogAddress = "127.0.4.32";
const char* const kUnreachableAddress = "127.0.4.33";

// The page with its file dialog replaced by a fixed answer.
class ScriptPage : public VXPlugin_ScriptWidget
{
public:
    QString answer;
    int dialogs = 0;

protected:
    QString chooseScriptFile() override
    {
        ++dialogs;
        return answer;
    }
};

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// What the simulator last accepted as a script; nullopt when it got none
// since the log was removed.
struct ScriptLog
{
    QString path;
    bool received() const { return QFileInfo::exists(path); }
    QByteArray bytes() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    void clear() const { QFile::remove(path); }
};

// UTF-8 text with characters XML must escape.
const QByteArray kScript =
    "{\n  \"name\": \"Palettieren \xc3\xa4\xc3\xb6\xc3\xbc \xe6\xb5\x8b\xe8\xaf\x95\",\n"
    "  \"steps\": [\"MoveJ <P1>\", \"MoveL P2 & P3\"],\n\t\"speed\": 0.5\n}\n";

} // namespace

TEST(ScriptPage, SuffixRuleDecidesWhatIsSent)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const ScriptLog log{dir.filePath("received.txt")};
    vxtest::SimProcess sim(kSendAddress, {"--log-scripts", log.path.toStdString()});
    ASSERT_TRUE(sim.ok()) << sim.error();
    VXRPC_InitClient(kSendAddress, vx::kRpcPort, vx::kCommandPort);

    struct Case { const char* name; QByteArray content; bool sent; } cases[] = {
        {"s.json", kScript, true},
        {"x.tar.json", "{\"tar\": true}", true},
        {"w.json", "{\r\n  \"from\": \"Windows\"\r\n}\r\n", true},
        {"e.json", "", true},                       // an empty script is still a script
        {"a.JSON", kScript, false},                 // the suffix test is case-sensitive
        {"b.Json", kScript, false},
        {"c.txt", kScript, false},
        {"noext", kScript, false},
        {"json", kScript, false},                   // a name without a dot has no suffix
        {"d.json.bak", kScript, false},
        {"f.jsonx", kScript, false},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(c.name);
        ASSERT_TRUE(writeFile(path, c.content)) << c.name;
        log.clear();
        ScriptPage page;
        page.answer = path;
        MessageBoxCatcher boxes;
        QTest::mouseClick(page.findChild<QPushButton*>("ScriptPlugin_btn_ImportScript"), Qt::LeftButton);
        EXPECT_EQ(page.dialogs, 1) << c.name;
        EXPECT_EQ(log.received(), c.sent) << c.name;
        if (c.sent) {
            EXPECT_EQ(log.bytes(), c.content) << c.name << ": the controller gets the file's bytes unchanged";
            EXPECT_TRUE(boxes.boxes().empty()) << c.name;
        } else {
            ASSERT_EQ(boxes.boxes().size(), 1u) << c.name;
            EXPECT_EQ(boxes.boxes()[0].title, "Warning");
            EXPECT_EQ(boxes.boxes()[0].text, "ERROR:Unsupported file formats !");
            EXPECT_EQ(boxes.boxes()[0].icon, QMessageBox::Warning);
        }
    }
}

TEST(ScriptPage, LargeScriptArrivesWholeAndOversizedIsRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const ScriptLog log{dir.filePath("received.txt")};
    vxtest::SimProcess sim(kSendAddress, {"--log-scripts", log.path.toStdString()});
    ASSERT_TRUE(sim.ok()) << sim.error();
    VXRPC_InitClient(kSendAddress, vx::kRpcPort, vx::kCommandPort);

    // A large but plausible script: 1 MiB of numbered lines.
    QByteArray large;
    for (int i = 0; large.size() < (1 << 20); ++i)
        large += "  {\"step\": " + QByteArray::number(i) + ", \"cmd\": \"MoveJ\"},\n";
    const QString largePath = dir.filePath("large.json");
    ASSERT_TRUE(writeFile(largePath, large));
    ScriptPage page;
    MessageBoxCatcher boxes;
    page.answer = largePath;
    log.clear();
    page.slotImportScriptFile();
    EXPECT_TRUE(boxes.boxes().empty());
    ASSERT_TRUE(log.received());
    EXPECT_EQ(log.bytes(), large);

    // One byte over the limit: refused before anything is read or sent.
    const QString hugePath = dir.filePath("huge.json");
    {
        QFile f(hugePath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(VXPlugin_ScriptWidget::kMaxScriptBytes + 1));
    }
    log.clear();
    page.answer = hugePath;
    page.slotImportScriptFile();
    EXPECT_FALSE(log.received());
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].title, "Warning");
    EXPECT_TRUE(boxes.boxes()[0].text.startsWith("ERROR:")) << boxes.boxes()[0].text.toStdString();
    EXPECT_TRUE(boxes.boxes()[0].text.contains("16 MiB")) << boxes.boxes()[0].text.toStdString();
}

TEST(ScriptPage, ScriptAtTheLimitIsNotRefused)
{
    // The simulator's own request limit is below 16 MiB of script, so the
    // limit itself is checked against an unreachable controller: the page
    // sends it and reports only that the controller did not take it.
    VXRPC_InitClient(kUnreachableAddress, vx::kRpcPort, vx::kCommandPort);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("limit.json");
    ASSERT_TRUE(writeFile(path, QByteArray(int(VXPlugin_ScriptWidget::kMaxScriptBytes), ' ')));
    ScriptPage page;
    page.answer = path;
    MessageBoxCatcher boxes;
    page.slotImportScriptFile();
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, "ERROR:The controller did not accept the script !");
}

TEST(ScriptPage, CancelledMissingAndUnreadableFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const ScriptLog log{dir.filePath("received.txt")};
    vxtest::SimProcess sim(kSendAddress, {"--log-scripts", log.path.toStdString()});
    ASSERT_TRUE(sim.ok()) << sim.error();
    VXRPC_InitClient(kSendAddress, vx::kRpcPort, vx::kCommandPort);

    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.json"));
    const QString fifo = dir.filePath("pipe.json");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);

    struct Case { QString answer; bool warned; } cases[] = {
        {QString(), false},                          // dialog cancelled
        {dir.filePath("gone.json"), false},          // vanished after the choice
        {dir.filePath("folder.json"), true},         // not a file
        {fifo, true},                                // would block the window on open
    };
    for (const auto& c : cases) {
        log.clear();
        ScriptPage page;
        page.answer = c.answer;
        MessageBoxCatcher boxes;
        page.slotImportScriptFile();
        EXPECT_FALSE(log.received()) << c.answer.toStdString();
        ASSERT_EQ(boxes.boxes().size(), c.warned ? 1u : 0u) << c.answer.toStdString();
        if (c.warned) {
            EXPECT_EQ(boxes.boxes()[0].title, "Warning");
            EXPECT_EQ(boxes.boxes()[0].text, "ERROR:Cannot read the script file !");
        }
    }
}

// A script the controller did not take is never shown as started: refused,
// unreachable, or bytes that cannot travel as XML-RPC text (with the reason).
TEST(ScriptPage, ScriptNotAcceptedIsReported)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const ScriptLog log{dir.filePath("received.txt")};
    vxtest::SimProcess refusing(kRefusingAddress, {"--refuse-scripts"});
    ASSERT_TRUE(refusing.ok()) << refusing.error();
    vxtest::SimProcess accepting(kSendAddress, {"--log-scripts", log.path.toStdString()});
    ASSERT_TRUE(accepting.ok()) << accepting.error();
    const QString notAccepted = "ERROR:The controller did not accept the script !";

    struct Case { const char* address; QByteArray content; const char* reason; } cases[] = {
        {kRefusingAddress, kScript, nullptr},
        {kUnreachableAddress, kScript, nullptr},
        {kSendAddress, "{\"name\": \"latin-1 \xe9\"}", "not UTF-8"},
        {kSendAddress, "{\"name\": \"cut \xe6\xb5", "not UTF-8"},   // a character cut off at the end
        {kSendAddress, QByteArray("{\"a\": 1}\0\n", 10), "NUL byte (at offset 8)"},
        {kSendAddress, kScript, ""},                                  // sent: nothing shown
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath("s.json");
        ASSERT_TRUE(writeFile(path, c.content));
        log.clear();
        VXRPC_InitClient(c.address, vx::kRpcPort, vx::kCommandPort);
        ScriptPage page;
        page.answer = path;
        MessageBoxCatcher boxes;
        page.slotImportScriptFile();
        const bool sent = c.reason && !*c.reason;
        EXPECT_EQ(log.received(), sent) << c.address << " " << c.content.toStdString();
        if (sent) {
            EXPECT_TRUE(boxes.boxes().empty());
            continue;
        }
        ASSERT_EQ(boxes.boxes().size(), 1u) << c.address << " " << c.content.toStdString();
        EXPECT_EQ(boxes.boxes()[0].title, "Warning");
        EXPECT_EQ(boxes.boxes()[0].icon, QMessageBox::Warning);
        const QString text = boxes.boxes()[0].text;
        if (c.reason) {
            EXPECT_TRUE(text.startsWith(notAccepted + "\n")) << text.toStdString();
            EXPECT_TRUE(text.contains(c.reason)) << text.toStdString();
        } else {
            EXPECT_EQ(text, notAccepted) << c.address;
        }
    }
}

TEST(ScriptPage, RealFileDialogAsksForJsonFromTheWorkingFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const ScriptLog log{dir.filePath("received.txt")};
    const QString path = dir.filePath("chosen.json");
    ASSERT_TRUE(writeFile(path, kScript));
    vxtest::SimProcess sim(kDialogAddress, {"--log-scripts", log.path.toStdString()});
    ASSERT_TRUE(sim.ok()) << sim.error();
    VXRPC_InitClient(kDialogAddress, vx::kRpcPort, vx::kCommandPort);

    for (bool choose : {false, true}) {
        log.clear();
        VXPlugin_ScriptWidget page;
        QString title, directory;
        QStringList filters;
        QTimer poll;
        poll.setInterval(10);
        bool seen = false;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QFileDialog*>(w);
                if (!dialog || !dialog->isVisible())
                    continue;
                // Types the file's full name into the dialog as a user would.
                auto* nameEdit = dialog->findChild<QLineEdit*>("fileNameEdit");
                if (seen) {
                    if (dialog->selectedFiles() == QStringList{path})
                        static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
                    else if (nameEdit)
                        nameEdit->setText(path);
                    return;
                }
                seen = true;
                title = dialog->windowTitle();
                directory = dialog->directory().absolutePath();
                filters = dialog->nameFilters();
                if (choose && nameEdit)
                    nameEdit->setText(path);
                else
                    dialog->reject();
            }
        });
        poll.start();
        QTimer::singleShot(10000, [] {
            // A dialog that never showed up must not hang the suite.
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QFileDialog*>(w))
                    dialog->reject();
        });
        MessageBoxCatcher boxes;
        page.slotImportScriptFile();
        poll.stop();
        EXPECT_TRUE(boxes.boxes().empty());
        EXPECT_EQ(title, "Open File");
        EXPECT_EQ(directory, QDir::current().absolutePath());
        EXPECT_EQ(filters, QStringList({"json(*.json)"}));
        EXPECT_EQ(log.received(), choose);
        if (choose) {
            EXPECT_EQ(log.bytes(), kScript);
        }
    }
}
