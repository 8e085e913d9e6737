// The scope page on the GUI thread, with the collector switched off and the
// read cycles driven by the test: form, selection, Start and Stop, trigger,
// error stop, status line, redraw, legend, dialog placement, export, import.
#include "MarkingTranslator.h"
#include "ScopePageSupport.h"
#include "GuiHelpers.h"

#include "ScopeChannels.h"
#include "qwtscope.h"
#include "scopederiveddialog.h"

#include <qwt_legend.h>
#include <qwt_legend_label.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_div.h>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QValidator>

#include <cmath>
#include <memory>

using namespace scopetest;

namespace {

struct Message
{
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

struct DialogCall
{
    QString caption;
    QString dir;
    QString filter;
};

class ScopePage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        page = std::make_unique<VXPlugin_Scope>();
        page->setCollectorEnabled(false);
        page->setLinkCalls(link.calls());
        page->messageBox = [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
            messages.push_back({icon, title, text});
        };
        realSaveDialog = page->saveFileDialog;
        realOpenDialog = page->openFileDialog;
        page->saveFileDialog = [this](QWidget*, const QString& caption, const QString& dir, const QString& filter) {
            saveCalls.push_back({caption, dir, filter});
            return saveAnswer;
        };
        page->openFileDialog = [this](QWidget*, const QString& caption, const QString& dir, const QString& filter) {
            openCalls.push_back({caption, dir, filter});
            return openAnswer;
        };
        ASSERT_TRUE(dir.isValid());
    }

    template <typename T>
    T* child(const char* name)
    {
        T* w = page->findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    // Chooses joints x link channels in the dialog and confirms.
    void choose(std::initializer_list<int> joints, std::initializer_list<const char*> links,
                std::initializer_list<const char*> components = {})
    {
        QScopeSetting* d = page->settingDialog();
        for (int j : joints)
            ASSERT_TRUE(checkJoint(d, j));
        for (const char* l : links)
            ASSERT_TRUE(checkLink(d, QString::fromUtf8(l)));
        for (const char* c : components)
            ASSERT_TRUE(checkComponent(d, QString::fromUtf8(c)));
        confirm(d);
    }

    void armTrigger(int condition, int grabMode, const QString& threshold, bool absolute = false, int channel = 0)
    {
        child<QRadioButton>("cb_Trigger")->setChecked(true);
        child<QComboBox>("KDLX_Scope_cmb_TriggerSel")->setCurrentIndex(channel);
        child<QComboBox>("KDLX_Scope_cmb_TriggerCondition")->setCurrentIndex(condition);
        child<QComboBox>("KDLX_Scope_cmb_TriggerFS")->setCurrentIndex(grabMode);
        child<QLineEdit>("KDLX_Scope_edit_TriggerThreshold")->setText(threshold);
        child<QCheckBox>("cb_AbsoluteValue")->setChecked(absolute);
    }

    // One read cycle with the given batch, as the collector would run it.
    void cycle(std::vector<_ST_ReadScopeData> rows)
    {
        link.queueBatch(std::move(rows));
        page->readScopeOnce();
    }

    QString readFile(const QString& path)
    {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        return QString::fromUtf8(f.readAll());
    }

    void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    FakeLink link;
    std::unique_ptr<VXPlugin_Scope> page;
    std::vector<Message> messages;
    std::vector<DialogCall> saveCalls, openCalls;
    QString saveAnswer, openAnswer;
    decltype(VXPlugin_Scope::saveFileDialog) realSaveDialog;
    decltype(VXPlugin_Scope::openFileDialog) realOpenDialog;
    QTemporaryDir dir;
};

// ---- form ------------------------------------------------------------------

TEST_F(ScopePage, FormHasEveryNamedWidgetWithItsText)
{
    struct Entry
    {
        const char* name;
        const char* text;
    };
    const Entry labels[] = {{"KDLX_Scope_lb_ZPSCPUTip", "ZPS CPU:"},
                            {"KDLX_Scope_lb_ZPSCPU", "0.0"},
                            {"label_11", "%"},
                            {"KDLX_Scope_lb_ZPSMemTip", "ZPS Mem:"},
                            {"KDLX_Scope_lb_ZPSMem", "0"},
                            {"label_12", "MB"},
                            {"KDLX_Scope_lb_ReadScopeCycTip_2", "ReadScopeCycMax:"},
                            {"KDLX_Scope_lb_ReadScopeMaxCyc", "0"},
                            {"label_14", "ms"},
                            {"KDLX_Scope_lb_ReadScopeCycTip", "ReadScopeCyc:"},
                            {"KDLX_Scope_lb_ReadScopeCyc", "0"},
                            {"label_13", "ms"},
                            {"KDLX_Scope_label_PeriodTime_2", "Period Time:"},
                            {"label_10", "ms"},
                            {"KDLX_Scope_label_TrigDelay", "Trigger Delay:"},
                            {"label_17", "ms"}};
    for (const Entry& e : labels) {
        if (auto* l = child<QLabel>(e.name)) {
            EXPECT_EQ(l->text(), QString::fromUtf8(e.text)) << e.name;
        }
    }
    const Entry buttons[] = {{"ScopePlugin_btn_StartScope", "Start"},
                             {"ScopePlugin_btn_StopScope", "Stop"},
                             {"ScopePlugin_btn_ResetView", "Reset View"},
                             {"ScopePlugin_btn_Setting", "Setting"},
                             {"ScopePlugin_btn_ImportScope", "Import from File"},
                             {"ScopePlugin_btn_ExportScope", "Export to File"}};
    for (const Entry& e : buttons) {
        if (auto* b = child<QPushButton>(e.name)) {
            EXPECT_EQ(b->text(), QString::fromUtf8(e.text)) << e.name;
        }
    }
    EXPECT_EQ(child<QCheckBox>("cb_StopWhenError")->text(), "Stop when Error");
    EXPECT_EQ(child<QRadioButton>("cb_Trigger")->text(), "Trigger Condition");
    EXPECT_EQ(child<QCheckBox>("cb_AbsoluteValue")->text(), QString::fromUtf8("绝对值"));
    for (const char* frame : {"ScopePageFrame_Setting", "ScopePageFrame_QwtFrame", "ScopePageFrame_CtlPanel",
                              "ScopePageFrame_Trigger"})
        child<QFrame>(frame);
    child<QComboBox>("KDLX_Scope_cmb_TriggerSel");
    child<QLineEdit>("KDLX_Scope_edit_TriggerDelay");
    EXPECT_EQ(page->windowTitle(), "VXPlugin_Scope");
    EXPECT_EQ(page->size(), QSize(1137, 620));
    EXPECT_EQ(child<QLineEdit>("ScopePlugin_edit_PeriodTime")->text(), "10000");

    auto* conditions = child<QComboBox>("KDLX_Scope_cmb_TriggerCondition");
    ASSERT_EQ(conditions->count(), 2);
    EXPECT_EQ(conditions->itemText(0), ">");
    EXPECT_EQ(conditions->itemText(1), "<");
    auto* modes = child<QComboBox>("KDLX_Scope_cmb_TriggerFS");
    ASSERT_EQ(modes->count(), 2);
    EXPECT_EQ(modes->itemText(0), "Trigger open grab");
    EXPECT_EQ(modes->itemText(1), "Trigger end grab");
}

TEST_F(ScopePage, ThirteenSlotsInOrderAndNoSignals)
{
    const QMetaObject* mo = page->metaObject();
    EXPECT_STREQ(mo->className(), "VXPlugin_Scope");
    QStringList slotList, signalList;
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
        const QMetaMethod m = mo->method(i);
        if (m.methodType() == QMetaMethod::Slot)
            slotList << QString::fromLatin1(m.methodSignature());
        if (m.methodType() == QMetaMethod::Signal)
            signalList << QString::fromLatin1(m.methodSignature());
    }
    EXPECT_EQ(slotList, (QStringList{"setAxisInfo()", "setScopeSetting()", "onSamplingScopTextChanged(QString)",
                                  "hideItem(QVariant,bool)", "OnScopeSetting()", "OnStartScope()", "OnStopScope()",
                                  "OnResetView()", "slotImportScopeFile()", "slotExportScopeFile()",
                                  "slot_Disconnected2ZPS()", "slot_cb_StopWhenErrorClicked()",
                                  "CheckTriggerStatus()"}));
    EXPECT_TRUE(signalList.isEmpty());
}

TEST_F(ScopePage, StartsIdle)
{
    EXPECT_FALSE(page->isRunning());
    EXPECT_TRUE(page->isGrabbing());
    EXPECT_FALSE(page->isTriggerArmed());
    EXPECT_FALSE(child<QPushButton>("ScopePlugin_btn_StartScope")->isHidden());
    EXPECT_TRUE(child<QPushButton>("ScopePlugin_btn_StopScope")->isHidden());
    EXPECT_TRUE(child<QPushButton>("ScopePlugin_btn_ImportScope")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("ScopePlugin_btn_ExportScope")->isEnabled());
    EXPECT_EQ(page->period(), 10000);
    EXPECT_EQ(page->plot()->timeSpan(), 10000.0);
    EXPECT_FALSE(page->collector()->isRunning());
}

// ---- period ----------------------------------------------------------------

struct PeriodCase
{
    const char* text;
    int period;
    double step;
};

class ScopePagePeriod : public ScopePage, public ::testing::WithParamInterface<PeriodCase>
{
};

TEST_P(ScopePagePeriod, SetsTheBottomAxisWithATenMillisecondFloor)
{
    const PeriodCase& c = GetParam();
    auto* edit = child<QLineEdit>("ScopePlugin_edit_PeriodTime");
    edit->setText("777");
    edit->setText(QString::fromUtf8(c.text));
    EXPECT_EQ(page->period(), c.period);
    EXPECT_EQ(page->plot()->xMin(), 0.0);
    EXPECT_EQ(page->plot()->xMax(), double(c.period));
    EXPECT_EQ(page->plot()->xStep(), c.step);
    EXPECT_EQ(page->plot()->timeSpan(), double(c.period));
}

INSTANTIATE_TEST_SUITE_P(Texts, ScopePagePeriod,
                         ::testing::Values(PeriodCase{"5", 10, 1}, PeriodCase{"", 10, 1}, PeriodCase{"0", 10, 1},
                                           PeriodCase{"9", 10, 1}, PeriodCase{"10", 10, 1},
                                           PeriodCase{"15", 15, 1}, PeriodCase{"12345", 12345, 1234},
                                           PeriodCase{"999999", 999999, 99999}));

TEST_F(ScopePage, PeriodEditTakesOneToSixDigitsOnly)
{
    const QValidator* v = child<QLineEdit>("ScopePlugin_edit_PeriodTime")->validator();
    ASSERT_NE(v, nullptr);
    struct
    {
        QString text;
        bool acceptable;
    } cases[] = {{"1", true}, {"123456", true}, {"1234567", false}, {"-5", false}, {"1.5", false},
                 {"abc", false}, {"1e3", false}};
    for (auto& c : cases) {
        int pos = 0;
        QString t = c.text;
        EXPECT_EQ(v->validate(t, pos) == QValidator::Acceptable, c.acceptable) << c.text.toStdString();
    }
}

TEST_F(ScopePage, PeriodTrimsTheRecordingWindow)
{
    choose({1}, {"Actual ACS"});
    child<QLineEdit>("ScopePlugin_edit_PeriodTime")->setText("100");
    page->OnStartScope();
    std::vector<_ST_ReadScopeData> rows;
    for (int t = 0; t <= 300; ++t)
        rows.push_back(row(t));
    cycle(rows);
    const std::vector<double> times = page->sampleTimes();
    ASSERT_FALSE(times.empty());
    EXPECT_EQ(times.front(), 200.0);
    EXPECT_EQ(times.back(), 300.0);
    EXPECT_EQ(page->samples(0).size(), times.size());
}

// ---- selection -------------------------------------------------------------

TEST_F(ScopePage, ConfirmedSelectionAssignsSlotsAndSubscribes)
{
    choose({1, 3}, {"Target ACS", "Actual Cur"});
    ASSERT_EQ(link.sent().size(), 1u);
    EXPECT_EQ(link.sent().back(), (std::vector<int>{43, 73, 45, 75}));

    const char* titles[] = {"J1 Target ACS", "J1 Actual Cur", "J3 Target ACS", "J3 Actual Cur"};
    const int indexes[] = {43, 73, 45, 75};
    auto* box = child<QComboBox>("KDLX_Scope_cmb_TriggerSel");
    ASSERT_EQ(box->count(), 4);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(page->plot()->curveInfo(k).nIndex, indexes[k]);
        EXPECT_EQ(page->plot()->curveInfo(k).nCurve, k);
        EXPECT_EQ(page->plot()->curve(k)->title().text(), titles[k]);
        EXPECT_EQ(box->itemText(k), titles[k]);
        EXPECT_EQ(box->itemData(k).toInt(), k);
    }
    EXPECT_EQ(page->plot()->attachedCurves().size(), 4);
}

TEST_F(ScopePage, MoreThanThirtySixChannelsAreRefused)
{
    choose({1, 2, 3, 4, 5, 6}, {"Target ACS", "Actual ACS", "Actual FilACS", "TarPos PDO", "ActPos PDO",
                                 "Target JointVel"},
           {"CurFSM"});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
    EXPECT_EQ(messages[0].title, QString::fromUtf8("当前设置通道超出最大通道数"));
    EXPECT_EQ(messages[0].text, QString::fromUtf8("当前设置通道数 37 ,超出最大通道数 36 !"));
    EXPECT_TRUE(link.sent().empty()) << "nothing is sent";
    EXPECT_TRUE(page->plot()->attachedCurves().isEmpty()) << "the plot is cleared";

    auto* box = child<QComboBox>("KDLX_Scope_cmb_TriggerSel");
    EXPECT_EQ(box->count(), 37);
    // Start applies the same selection again: refused again, and the box is
    // refilled, not doubled.
    page->OnStartScope();
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(box->count(), 37);
    // Those rows reach no slot.
    cycle({row(1), row(2)});
    for (int s = 0; s < 48; ++s)
        EXPECT_TRUE(page->samples(s).empty()) << s;
}

TEST_F(ScopePage, ThirtySixChannelsAreAccepted)
{
    choose({1, 2, 3, 4, 5, 6}, {"Target ACS", "Actual ACS", "Actual FilACS", "TarPos PDO", "ActPos PDO",
                                 "Target JointVel"});
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(link.sent().size(), 1u);
    EXPECT_EQ(link.sent()[0].size(), 36u);
    page->OnStartScope();
    cycle({row(1, 100.0)});
    for (int s = 0; s < 36; ++s)
        EXPECT_EQ(page->samples(s), (std::vector<double>{100.0 + s})) << s;
}

TEST_F(ScopePage, FirstStartFillsTheEmptyTriggerBox)
{
    // Checked but never confirmed: the first Start applies it.
    ASSERT_TRUE(checkJoint(page->settingDialog(), 2));
    ASSERT_TRUE(checkLink(page->settingDialog(), "Actual ACS"));
    auto* box = child<QComboBox>("KDLX_Scope_cmb_TriggerSel");
    EXPECT_EQ(box->count(), 0);
    page->OnStartScope();
    ASSERT_EQ(box->count(), 1);
    EXPECT_EQ(box->itemText(0), "J2 Actual ACS");
    // Later Starts leave the box alone.
    box->setCurrentIndex(0);
    page->OnStopScope();
    page->OnStartScope();
    EXPECT_EQ(box->count(), 1);
}

// ---- start, stop, samples --------------------------------------------------

TEST_F(ScopePage, StartAndStopSwitchButtonsAndState)
{
    choose({1}, {"Actual ACS"});
    // At its narrowest the window keeps its width through Start and Stop.
    page->show();
    page->resize(page->minimumSizeHint().width(), page->sizeHint().height());
    QCoreApplication::processEvents();
    const int width = page->width();
    page->OnStartScope();
    EXPECT_TRUE(page->isRunning());
    EXPECT_TRUE(page->isGrabbing());
    EXPECT_TRUE(child<QPushButton>("ScopePlugin_btn_StartScope")->isHidden());
    EXPECT_FALSE(child<QPushButton>("ScopePlugin_btn_StopScope")->isHidden());
    EXPECT_FALSE(child<QPushButton>("ScopePlugin_btn_ImportScope")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("ScopePlugin_btn_ExportScope")->isEnabled());
    EXPECT_TRUE(page->collector()->runEnabled());

    page->OnStopScope();
    EXPECT_FALSE(page->isRunning());
    EXPECT_FALSE(child<QPushButton>("ScopePlugin_btn_StartScope")->isHidden());
    EXPECT_TRUE(child<QPushButton>("ScopePlugin_btn_StopScope")->isHidden());
    EXPECT_TRUE(child<QPushButton>("ScopePlugin_btn_ImportScope")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("ScopePlugin_btn_ExportScope")->isEnabled());
    EXPECT_FALSE(page->collector()->runEnabled());
    QCoreApplication::processEvents();
    EXPECT_EQ(page->width(), width);
}

TEST_F(ScopePage, RowsGoToTheirSlotsAndNullGetsNothing)
{
    choose({2}, {"Actual ACS"}, {"NULL", "CurFSM"});
    // J2 Actual ACS (slot 0), NULL (slot 1, index 0), CurFSM (slot 2).
    EXPECT_EQ(link.sent().back(), (std::vector<int>{50, 0, 1}));
    page->OnStartScope();
    cycle({row(10, 0.5), row(11, 1.5)});
    EXPECT_EQ(page->sampleTimes(), (std::vector<double>{10, 11}));
    EXPECT_EQ(page->samples(0), (std::vector<double>{0.5, 1.5}));
    EXPECT_TRUE(page->samples(1).empty());
    EXPECT_EQ(page->samples(2), (std::vector<double>{2.5, 3.5}));
    EXPECT_TRUE(page->samples(3).empty());
}

TEST_F(ScopePage, StoppedPageReadsNothing)
{
    choose({1}, {"Actual ACS"});
    link.queueBatch({row(1)});
    page->readScopeOnce();
    EXPECT_EQ(link.reads(), 0) << "no read while stopped";
    EXPECT_TRUE(page->sampleTimes().empty());
}

TEST_F(ScopePage, StartTwiceReappliesAndEmpties)
{
    choose({1}, {"Actual ACS"});
    page->OnStartScope();
    cycle({row(1), row(2)});
    EXPECT_EQ(page->sampleTimes().size(), 2u);
    const std::size_t sentBefore = link.sent().size();
    page->OnStartScope();
    EXPECT_TRUE(page->sampleTimes().empty());
    EXPECT_TRUE(page->samples(0).empty());
    EXPECT_EQ(link.sent().size(), sentBefore + 1);
}

TEST_F(ScopePage, DisconnectionStopsAndRepeatsHarmlessly)
{
    choose({1}, {"Actual ACS"});
    page->OnStartScope();
    cycle({row(1)});
    page->slot_Disconnected2ZPS();
    EXPECT_FALSE(page->isRunning());
    page->slot_Disconnected2ZPS();
    page->slot_Disconnected2ZPS();
    EXPECT_FALSE(page->isRunning());
    EXPECT_EQ(page->sampleTimes().size(), 1u) << "the recording stays";
}

TEST_F(ScopePage, NewSelectionWhileRecordingEmptiesWithoutStopping)
{
    choose({1}, {"Actual ACS"});
    page->OnStartScope();
    cycle({row(1), row(2)});
    choose({}, {}, {"CurFSM"});
    EXPECT_TRUE(page->isRunning());
    EXPECT_TRUE(page->sampleTimes().empty());
    cycle({row(3, 10.0)});
    // Slot 0 is now J1 Actual ACS and CurFSM after it.
    EXPECT_EQ(page->samples(1), (std::vector<double>{11.0}));
}

// ---- trigger ---------------------------------------------------------------

TEST_F(ScopePage, OpenGrabRecordsFromTheFiringBatchOn)
{
    choose({1}, {"Actual ACS"});
    armTrigger(0, 0, "1.5");
    page->OnStartScope();
    EXPECT_TRUE(page->isTriggerArmed());
    EXPECT_FALSE(page->isGrabbing());

    cycle(rowsWith(0, 0, {0.0, 1.5, 1.0}));
    EXPECT_TRUE(page->sampleTimes().empty()) << "at or below the threshold nothing is recorded";
    EXPECT_TRUE(page->isTriggerArmed());

    cycle(rowsWith(3, 0, {0.2, 1.6, 0.1}));
    EXPECT_EQ(page->samples(0), (std::vector<double>{0.2, 1.6, 0.1})) << "the whole firing batch";
    EXPECT_FALSE(page->isTriggerArmed());
    EXPECT_TRUE(page->isGrabbing());

    cycle(rowsWith(6, 0, {-5.0}));
    EXPECT_EQ(page->samples(0).size(), 4u) << "and every later batch";
}

TEST_F(ScopePage, AbsoluteValueFiresOnANegativeValue)
{
    choose({1}, {"Actual ACS"});
    armTrigger(0, 0, "1.5", /*absolute*/ true);
    page->OnStartScope();
    cycle(rowsWith(0, 0, {-2.0}));
    EXPECT_EQ(page->samples(0), (std::vector<double>{-2.0}));
    EXPECT_FALSE(page->isTriggerArmed());
}

TEST_F(ScopePage, EndGrabStopsRecordingButKeepsRunning)
{
    choose({1}, {"Actual ACS"});
    armTrigger(1, 1, "0");
    page->OnStartScope();
    EXPECT_TRUE(page->isGrabbing());
    cycle(rowsWith(0, 0, {1.0, 0.0, 2.0}));
    EXPECT_EQ(page->samples(0).size(), 3u);
    cycle(rowsWith(3, 0, {5.0, -0.1, 5.0}));
    EXPECT_EQ(page->samples(0).size(), 3u) << "the firing batch is not recorded";
    EXPECT_FALSE(page->isGrabbing());
    cycle(rowsWith(6, 0, {5.0}));
    EXPECT_EQ(page->samples(0).size(), 3u);
    EXPECT_TRUE(page->isRunning());
}

TEST_F(ScopePage, TriggerIsOneShotUntilTheNextStart)
{
    choose({1}, {"Actual ACS"});
    armTrigger(0, 1, "1.5");
    page->OnStartScope();
    cycle(rowsWith(0, 0, {2.0}));
    EXPECT_FALSE(page->isTriggerArmed());
    EXPECT_FALSE(page->isGrabbing());
    page->OnStopScope();
    EXPECT_TRUE(page->isGrabbing());
    page->OnStartScope();
    EXPECT_TRUE(page->isTriggerArmed());
    cycle(rowsWith(1, 0, {0.0}));
    EXPECT_EQ(page->samples(0).size(), 1u);
}

TEST_F(ScopePage, TriggerOnTheSecondChannelReadsItsColumn)
{
    choose({1, 2}, {"Actual ACS"});
    armTrigger(0, 0, "100", false, /*channel*/ 1);
    page->OnStartScope();
    // Column 0 crosses, column 1 does not.
    auto rows = rowsWith(0, 0, {500.0});
    cycle(rows);
    EXPECT_TRUE(page->sampleTimes().empty());
    cycle(rowsWith(1, 1, {101.0}));
    EXPECT_EQ(page->sampleTimes().size(), 1u);
}

TEST_F(ScopePage, EmptyTriggerBoxNeverFires)
{
    // No channel chosen: the box is empty, its position -1; a row's time
    // stamp must not be taken for a value.
    armTrigger(0, 0, "1.5", false, -1);
    page->OnStartScope();
    EXPECT_EQ(child<QComboBox>("KDLX_Scope_cmb_TriggerSel")->currentIndex(), -1);
    EXPECT_EQ(page->triggerSnapshot().channel, -1);
    cycle({row(1.0e6), row(2.0e6)});
    EXPECT_TRUE(page->isTriggerArmed());
    EXPECT_FALSE(page->isGrabbing());
}

TEST_F(ScopePage, TriggerSnapshotFollowsTheControls)
{
    choose({1, 2}, {"Actual ACS"});
    child<QComboBox>("KDLX_Scope_cmb_TriggerSel")->setCurrentIndex(1);
    child<QComboBox>("KDLX_Scope_cmb_TriggerCondition")->setCurrentIndex(1);
    child<QComboBox>("KDLX_Scope_cmb_TriggerFS")->setCurrentIndex(1);
    child<QLineEdit>("KDLX_Scope_edit_TriggerThreshold")->setText("-2.5");
    child<QLineEdit>("KDLX_Scope_edit_TriggerDelay")->setText("40");
    child<QCheckBox>("cb_AbsoluteValue")->setChecked(true);
    const ScopeTriggerSetting s = page->triggerSnapshot();
    EXPECT_EQ(s.channel, 1);
    EXPECT_EQ(s.channelData, 1);
    EXPECT_EQ(s.condition, TriggerCondition::Below);
    EXPECT_EQ(s.grabMode, GrabMode::End);
    EXPECT_EQ(s.threshold, -2.5);
    EXPECT_EQ(s.delay, 40.0);
    EXPECT_TRUE(s.absoluteValue);
    child<QLineEdit>("KDLX_Scope_edit_TriggerThreshold")->setText("");
    EXPECT_EQ(page->triggerSnapshot().threshold, 0.0) << "empty text reads 0";
}

// The grab modes are shown in the user's language; the page goes by the
// chosen position, and the catalogue keeps the fixed texts.
TEST(ScopePageLanguage, GrabModesAreTranslatedOnScreenAndChosenByPosition)
{
    MarkingTranslator marking("ScopeChannels");
    VXPlugin_Scope page;
    auto* modes = page.findChild<QComboBox*>("KDLX_Scope_cmb_TriggerFS");
    ASSERT_NE(modes, nullptr);
    ASSERT_EQ(modes->count(), 2);
    EXPECT_EQ(modes->itemText(0), "<Trigger open grab>");
    EXPECT_EQ(modes->itemText(1), "<Trigger end grab>");
    EXPECT_EQ(TriggerGrabModes(), QStringList({"Trigger open grab", "Trigger end grab"}));
    modes->setCurrentIndex(1);
    EXPECT_EQ(page.triggerSnapshot().grabMode, GrabMode::End);
}

TEST_F(ScopePage, TriggerEditsTakePointDecimalsInAnyLocale)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    VXPlugin_Scope german;
    QLocale::setDefault(saved);
    for (const char* name : {"KDLX_Scope_edit_TriggerThreshold", "KDLX_Scope_edit_TriggerDelay"}) {
        const QValidator* v = german.findChild<QLineEdit*>(name)->validator();
        ASSERT_NE(v, nullptr) << name;
        int pos = 0;
        QString point = "-1.5", comma = "1,5";
        EXPECT_EQ(v->validate(point, pos), QValidator::Acceptable) << name;
        EXPECT_NE(v->validate(comma, pos), QValidator::Acceptable) << name;
    }
}

TEST_F(ScopePage, TriggerRadioCanBeSwitchedOffAgain)
{
    auto* rb = child<QRadioButton>("cb_Trigger");
    rb->click();
    EXPECT_TRUE(rb->isChecked());
    rb->click();
    EXPECT_FALSE(rb->isChecked());
}

// ---- status line, redraw, error stop --------------------------------------

TEST_F(ScopePage, StatusLineShowsLoadAndCycleTimes)
{
    choose({1}, {"Actual ACS"});
    link.setLoad(12.3456, 2048 + 512);
    page->OnStartScope();
    cycle({row(1)});
    ASSERT_TRUE(waitFor([&] { return child<QLabel>("KDLX_Scope_lb_ZPSCPU")->text() == "12.346"; }));
    EXPECT_EQ(child<QLabel>("KDLX_Scope_lb_ZPSMem")->text(), "2.500");
    QThread::msleep(30);
    cycle({row(2)});
    ASSERT_TRUE(waitFor([&] { return child<QLabel>("KDLX_Scope_lb_ReadScopeCyc")->text().toInt() >= 30; }));
    EXPECT_GE(child<QLabel>("KDLX_Scope_lb_ReadScopeMaxCyc")->text().toInt(),
              child<QLabel>("KDLX_Scope_lb_ReadScopeCyc")->text().toInt());
}

TEST_F(ScopePage, NoReplyDropsTheLoadFiguresToZero)
{
    choose({1}, {"Actual ACS"});
    link.setLoad(50.0, 4096);
    page->OnStartScope();
    cycle({});
    ASSERT_TRUE(waitFor([&] { return child<QLabel>("KDLX_Scope_lb_ZPSCPU")->text() == "50.000"; }));
    // A stand-in that leaves the outputs alone, as the link library does when
    // no reply came.
    ScopeLinkCalls silent = link.calls();
    silent.readScopeData = [](double*, uint32_t*, std::vector<_ST_ReadScopeData>*) { return 0; };
    page->setLinkCalls(silent);
    page->readScopeOnce();
    ASSERT_TRUE(waitFor([&] { return child<QLabel>("KDLX_Scope_lb_ZPSCPU")->text() == "0.000"; }));
    EXPECT_EQ(child<QLabel>("KDLX_Scope_lb_ZPSMem")->text(), "0.000");
}

TEST_F(ScopePage, LeftAxisFitsAroundZeroAndTheData)
{
    // Slot 0 is "NULL" (no samples); slot 1 holds values between 5 and 7.
    choose({}, {}, {"NULL", "CurFSM"});
    page->OnStartScope();
    std::vector<_ST_ReadScopeData> rows = rowsWith(100, 1, {5.0, 6.0, 7.0});
    cycle(rows);
    page->feedPlot();
    EXPECT_NEAR(page->plot()->yMin(), -0.035, 1e-9);
    EXPECT_NEAR(page->plot()->yMax(), 7.035, 1e-9);
    // The plot starts at 0.
    const ScopeCurve* c = page->plot()->curve(1);
    ASSERT_EQ(c->dataSize(), 3u);
    EXPECT_EQ(c->sample(0), QPointF(0, 5));
    EXPECT_EQ(c->sample(2), QPointF(2, 7));
    EXPECT_EQ(page->plot()->curve(0)->dataSize(), 0u);
}

TEST_F(ScopePage, LeftAxisOfAFlatLineIsAtLeastAHundredthHigh)
{
    choose({1}, {"Actual ACS"});
    page->OnStartScope();
    cycle(rowsWith(0, 0, {3.0, 3.0}));
    page->feedPlot();
    // Slot 0 replaces low and high: 3..3, so the half height is raised to 0.01.
    EXPECT_NEAR(page->plot()->yMin(), 2.99, 1e-9);
    EXPECT_NEAR(page->plot()->yMax(), 3.01, 1e-9);
}

TEST_F(ScopePage, StopWhenErrorStopsOnTheSecondSighting)
{
    choose({1}, {"Actual ACS"});
    child<QCheckBox>("cb_StopWhenError")->click();
    EXPECT_TRUE(page->stopWhenError());
    // Sightings far apart still count: error, quiet, quiet, quiet, error.
    link.queueErrorFlags({1, 0, 0, 0, 1}, 0);
    page->OnStartScope();
    ASSERT_TRUE(waitFor([&] { return !page->isRunning(); }, 10000));
    EXPECT_EQ(link.flagReads(), 5);
    EXPECT_EQ(page->errorCount(), 0);
}

TEST_F(ScopePage, ErrorCountStartsAfreshAfterStop)
{
    choose({1}, {"Actual ACS"});
    child<QCheckBox>("cb_StopWhenError")->click();
    link.queueErrorFlags({1}, 0);
    page->OnStartScope();
    ASSERT_TRUE(waitFor([&] { return link.flagReads() >= 2; }, 10000));
    EXPECT_EQ(page->errorCount(), 1);
    page->OnStopScope();
    EXPECT_EQ(page->errorCount(), 0);
    link.queueErrorFlags({1}, 0);
    page->OnStartScope();
    const int before = link.flagReads();
    ASSERT_TRUE(waitFor([&] { return link.flagReads() >= before + 3; }, 10000));
    EXPECT_TRUE(page->isRunning()) << "one sighting since the last stop";
}

TEST_F(ScopePage, WithoutStopWhenErrorTheFlagsAreNotRead)
{
    choose({1}, {"Actual ACS"});
    link.queueErrorFlags({}, 1);
    page->OnStartScope();
    cycle({row(1)});
    ASSERT_TRUE(waitFor([&] { return page->plot()->curve(0)->dataSize() == 1; }));
    QThread::msleep(450);
    QCoreApplication::processEvents();
    EXPECT_EQ(link.flagReads(), 0);
    EXPECT_TRUE(page->isRunning());
}

// ---- legend and dialog -----------------------------------------------------

TEST_F(ScopePage, CheckedLegendEntryHidesItsCurveUntilStart)
{
    choose({1, 2}, {"Actual ACS"});
    auto* legend = qobject_cast<QwtLegend*>(page->plot()->legend());
    ASSERT_NE(legend, nullptr);
    QwtPlotCurve* second = page->plot()->curve(1);
    const QList<QWidget*> widgets = legend->legendWidgets(page->plot()->itemToInfo(second));
    ASSERT_EQ(widgets.size(), 1);
    auto* label = qobject_cast<QwtLegendLabel*>(widgets[0]);
    ASSERT_NE(label, nullptr);
    // A click toggles the entry, as the user does it.
    QTest::mouseClick(label, Qt::LeftButton);
    EXPECT_TRUE(label->isChecked());
    EXPECT_FALSE(second->isVisible());
    EXPECT_TRUE(page->plot()->curve(0)->isVisible());
    QTest::mouseClick(label, Qt::LeftButton);
    EXPECT_TRUE(second->isVisible());

    QTest::mouseClick(label, Qt::LeftButton);
    EXPECT_FALSE(second->isVisible());
    page->OnStartScope();
    EXPECT_TRUE(page->plot()->curve(1)->isVisible()) << "Start shows every curve";
    EXPECT_TRUE(label->isChecked()) << "the check mark stays";
}

TEST_F(ScopePage, SettingShowsTheDialogCentredAndNonModal)
{
    // Five sixths of the page, capped at 600 x 800, unless the dialog's
    // texts need more; centred on the page. Both sizes follow what the texts
    // need with the fonts at hand, so they are read, not assumed.
    auto wanted = [&](QScopeSetting* d) {
        return QSize(std::min(page->width() * 5 / 6, 600), std::min(page->height() * 5 / 6, 800))
            .expandedTo(d->minimumSizeHint());
    };
    page->resize(1137, 620);
    page->move(100, 50);
    page->show();
    page->OnScopeSetting();
    QScopeSetting* d = page->settingDialog();
    ASSERT_TRUE(waitFor([&] { return d->isVisible(); }));
    EXPECT_FALSE(d->isModal());
    EXPECT_EQ(d->size(), wanted(d));
    const QPoint expected = page->mapToGlobal(QPoint(0, 0))
                            + QPoint((page->width() - d->width()) / 2, (page->height() - d->height()) / 2);
    EXPECT_EQ(d->pos(), expected);
    EXPECT_TRUE(page->isEnabled());
    d->hide();

    page->resize(600, 1200);
    page->OnScopeSetting();
    EXPECT_EQ(d->size(), wanted(d));
    EXPECT_EQ(d->height(), 800) << "capped at 800 high";
    d->hide();
}

// ---- export ----------------------------------------------------------------

TEST_F(ScopePage, ExportWithoutDataWarns)
{
    page->slotExportScopeFile();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    EXPECT_EQ(messages[0].title, "Warning");
    EXPECT_EQ(messages[0].text, "ERROR:Empty ScopeData!");
    EXPECT_TRUE(saveCalls.empty());
}

TEST_F(ScopePage, ExportWritesThePlottedDataExactly)
{
    choose({1, 2}, {"Actual ACS"});
    page->OnStartScope();
    std::vector<_ST_ReadScopeData> rows;
    for (int i = 0; i < 3; ++i) {
        _ST_ReadScopeData r = row(1000.0 + i * 0.5);
        r.values[0] = 12.5 + i;
        r.values[1] = 0.0 - 0.125 * i;
        rows.push_back(r);
    }
    cycle(rows);
    page->feedPlot();
    // Rows after the last redraw are not in the file.
    cycle({row(1002)});
    page->OnStopScope();

    saveAnswer = dir.filePath("run.csv");
    page->slotExportScopeFile();
    ASSERT_EQ(saveCalls.size(), 1u);
    EXPECT_EQ(saveCalls[0].caption, "Save File");
    EXPECT_EQ(saveCalls[0].filter, "csv(*.csv)");
    EXPECT_TRUE(QRegularExpression("^VX_Scope_\\d{4}_\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d\\d\\.csv$")
                    .match(saveCalls[0].dir)
                    .hasMatch())
        << saveCalls[0].dir.toStdString();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(readFile(saveAnswer).toStdString(), "time,J1 Actual ACS_0_2_ACS(deg),J2 Actual ACS_1_2_ACS(deg)\n"
                                                  "0.000,12.500,0.000\n"
                                                  "0.500,13.500,-0.125\n"
                                                  "1.000,14.500,-0.250\n");
}

// The user accepts the proposed name in the page's own save dialog: the file
// carries ".csv" (the proposal shows it), the import dialog lists it and the
// import takes it. A name typed without a suffix gets it too; a name with
// another suffix is refused.
TEST_F(ScopePage, ExportUnderTheProposedNameCanBeImported)
{
    choose({1}, {"Actual ACS"});
    page->OnStartScope();
    cycle({row(1000), row(1001)});
    page->feedPlot();
    page->OnStopScope();
    page->saveFileDialog = realSaveDialog;
    page->openFileDialog = realOpenDialog;
    // The dialogs start in the working folder; it is restored however the test ends.
    struct Restore
    {
        QString folder = QDir::currentPath();
        ~Restore()
        {
            shelltest::stopModalDrivers();
            QDir::setCurrent(folder);
        }
    } restore;
    ASSERT_TRUE(QDir::setCurrent(dir.path()));

    QString proposed;
    shelltest::onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog)
            return;
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            proposed = name->text();
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection); // as proposed
    });
    page->slotExportScopeFile();
    EXPECT_TRUE(QRegularExpression("^VX_Scope_\\d{4}_\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d\\d\\.csv$").match(proposed).hasMatch())
        << proposed.toStdString();
    const QStringList written = QDir(dir.path()).entryList(QDir::Files);
    ASSERT_EQ(written, QStringList{proposed});

    QStringList listed;
    shelltest::onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog)
            return;
        // What the dialog lists under its filter, once the folder is read.
        vxtest::waitFor([&] {
            auto* view = dialog->findChild<QAbstractItemView*>(QStringLiteral("listView"));
            if (!view || !view->model())
                return false;
            listed.clear();
            const QModelIndex root = view->rootIndex();
            for (int r = 0; r < view->model()->rowCount(root); ++r)
                listed << view->model()->index(r, 0, root).data().toString();
            return !listed.isEmpty();
        }, 3000);
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(proposed);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    page->plot()->clearCurves();
    page->slotImportScopeFile();
    EXPECT_EQ(listed, QStringList{proposed});
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(page->plot()->attachedCurves().size(), 1);
    EXPECT_EQ(page->plot()->curve(0)->dataSize(), 2u);

    page->saveFileDialog = [this](QWidget*, const QString&, const QString&, const QString&) { return saveAnswer; };
    saveAnswer = dir.filePath("typed");
    page->slotExportScopeFile();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("typed.csv")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("typed")));
    for (const char* name : {"run.txt", "run.CSV"}) {
        saveAnswer = dir.filePath(name);
        page->slotExportScopeFile();
        EXPECT_FALSE(QFileInfo::exists(saveAnswer)) << name;
    }
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "ERROR:Unsupported file formats !");
    EXPECT_EQ(messages[1].text, "ERROR:Unsupported file formats !");
}

TEST_F(ScopePage, ExportIsRefusedWhileRunningAndSilentOnCancel)
{
    choose({1}, {"Actual ACS"});
    page->OnStartScope();
    cycle({row(1)});
    page->feedPlot();
    page->slotExportScopeFile();
    EXPECT_TRUE(saveCalls.empty());
    page->OnStopScope();
    saveAnswer.clear();
    page->slotExportScopeFile();
    EXPECT_EQ(saveCalls.size(), 1u);
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(ScopePage, ExportThatCannotWriteWarnsAndKeepsTheOldFile)
{
    choose({1}, {"Actual ACS"});
    page->OnStartScope();
    cycle({row(1)});
    page->feedPlot();
    page->OnStopScope();

    saveAnswer = dir.filePath("missing-folder/run.csv");
    page->slotExportScopeFile();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Warning");
    EXPECT_TRUE(messages[0].text.startsWith("ERROR:")) << messages[0].text.toStdString();

    // A target that is a folder cannot be replaced; what is there stays.
    const QString folder = dir.filePath("taken.csv");
    ASSERT_TRUE(QDir().mkdir(folder));
    writeFile(folder + "/keep.txt", "good");
    saveAnswer = folder;
    page->slotExportScopeFile();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[1].text.startsWith("ERROR:"));
    EXPECT_EQ(readFile(folder + "/keep.txt"), "good");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0) << "no temporary file left";
}

// ---- import ----------------------------------------------------------------

TEST_F(ScopePage, ImportOfTheExampleSetsCurvesAxisAndPeriod)
{
    openAnswer = dir.filePath("example.csv");
    writeFile(openAnswer, "time,J1 Target ACS_0_1_ACS(deg),CurFSM_1_23_FSM\n"
                          "0.000,12.500,3.000\n"
                          "1.000,12.600,3.000\n");
    page->slotImportScopeFile();
    ASSERT_EQ(openCalls.size(), 1u);
    EXPECT_EQ(openCalls[0].caption, "Open File");
    EXPECT_EQ(openCalls[0].dir, ".");
    EXPECT_EQ(openCalls[0].filter, "csv(*.csv)");
    EXPECT_TRUE(messages.empty());

    QwtScope* plot = page->plot();
    ASSERT_EQ(plot->attachedCurves().size(), 2);
    EXPECT_EQ(plot->curve(0)->title().text(), "J1 Target ACS");
    EXPECT_EQ(plot->curve(1)->title().text(), "CurFSM");
    EXPECT_EQ(plot->curveInfo(0).eLink, LINK_TargetACS);
    EXPECT_EQ(plot->curveInfo(0).strUnit, "ACS(deg)");
    EXPECT_EQ(plot->curveInfo(1).nSubIndex, 1);
    EXPECT_EQ(plot->curveInfo(1).nIndex, 0);
    EXPECT_EQ(plot->curve(0)->dataSize(), 2u);
    EXPECT_EQ(plot->curve(0)->sample(1), QPointF(1.0, 12.6));
    EXPECT_EQ(plot->curve(1)->sample(0), QPointF(0.0, 3.0));

    // The period edit shows 2, and its slot raises the period to 10.
    EXPECT_EQ(child<QLineEdit>("ScopePlugin_edit_PeriodTime")->text(), "2");
    EXPECT_EQ(page->period(), 10);
    EXPECT_EQ(plot->xMax(), 10.0);
    EXPECT_EQ(plot->xStep(), 1.0);
}

TEST_F(ScopePage, ExportThenImportGivesTheSameCurves)
{
    choose({1, 4}, {"Actual ACS", "Actual Cur"});
    page->OnStartScope();
    std::vector<_ST_ReadScopeData> rows;
    for (int i = 0; i < 400; ++i) {
        _ST_ReadScopeData r = row(5000.0 + i);
        for (int k = 0; k < 4; ++k)
            r.values[k] = std::sin(i * 0.05 + k) * (k + 1) * 10.0;
        rows.push_back(r);
    }
    cycle(rows);
    page->feedPlot();
    page->OnStopScope();
    saveAnswer = openAnswer = dir.filePath("trip.csv");
    page->slotExportScopeFile();

    QStringList titles;
    std::vector<_ST_ScopeAxisInfo> infos;
    std::vector<std::vector<QPointF>> before;
    for (int k = 0; k < 4; ++k) {
        titles << page->plot()->curve(k)->title().text();
        infos.push_back(page->plot()->curveInfo(k));
        std::vector<QPointF> pts;
        for (std::size_t i = 0; i < page->plot()->curve(k)->dataSize(); ++i)
            pts.push_back(page->plot()->curve(k)->sample(i));
        before.push_back(pts);
    }

    page->slotImportScopeFile();
    ASSERT_TRUE(messages.empty());
    ASSERT_EQ(page->plot()->attachedCurves().size(), 4);
    for (int k = 0; k < 4; ++k) {
        const ScopeCurve* c = page->plot()->curve(k);
        EXPECT_EQ(c->title().text(), titles[k]);
        const _ST_ScopeAxisInfo info = page->plot()->curveInfo(k);
        EXPECT_EQ(info.nSubIndex, infos[std::size_t(k)].nSubIndex);
        EXPECT_EQ(info.eLink, infos[std::size_t(k)].eLink);
        EXPECT_EQ(info.strUnit, infos[std::size_t(k)].strUnit);
        ASSERT_EQ(c->dataSize(), before[std::size_t(k)].size());
        for (std::size_t i = 0; i < c->dataSize(); ++i) {
            ASSERT_NEAR(c->sample(i).x(), before[std::size_t(k)][i].x(), 0.0005);
            ASSERT_NEAR(c->sample(i).y(), before[std::size_t(k)][i].y(), 0.0005);
        }
    }
    EXPECT_EQ(child<QLineEdit>("ScopePlugin_edit_PeriodTime")->text(), "400");
    EXPECT_EQ(page->period(), 400);
}

TEST_F(ScopePage, ImportRefusalsKeepThePlot)
{
    choose({1}, {"Actual ACS"});
    page->OnStartScope();
    cycle({row(1), row(2)});
    page->feedPlot();
    page->OnStopScope();
    ASSERT_TRUE(checkJoint(page->settingDialog(), 2));

    struct Case
    {
        const char* file;
        QByteArray bytes;
        const char* message; // nullptr: silent
    } cases[] = {
        {"data.CSV", "time,A\n1,2\n", "ERROR:Unsupported file formats !"},
        {"data.txt", "time,A\n1,2\n", "ERROR:Unsupported file formats !"},
        {"binary.csv", QByteArray("\x7f" "ELF\x02\x01\x01\0\0\0\0", 12), "ERROR:Unsupported file formats !"},
        {"long.csv", "time,A\n" + QByteArray(int(scopefile::kMaxLineBytes) + 10, '7') + "\n",
         "ERROR:Line 2 is longer than 1 MiB, the file was not loaded !"},
    };
    for (const Case& c : cases) {
        messages.clear();
        openAnswer = dir.filePath(c.file);
        writeFile(openAnswer, c.bytes);
        page->slotImportScopeFile();
        ASSERT_EQ(messages.size(), 1u) << c.file;
        EXPECT_EQ(messages[0].title, "Warning");
        EXPECT_EQ(messages[0].text, QString::fromUtf8(c.message)) << c.file;
        EXPECT_EQ(page->plot()->attachedCurves().size(), 1) << c.file;
        EXPECT_EQ(page->plot()->curve(0)->title().text(), "J1 Actual ACS") << c.file;
        EXPECT_EQ(page->plot()->curve(0)->dataSize(), 2u) << c.file;
    }
    // The dialog's check marks are cleared after an import attempt.
    EXPECT_TRUE(page->settingDialog()->componentSelection().empty());
}

// Cancel in the progress dialog of a long import or export: the page stays
// exactly as it was and no file is left behind or spoilt.
TEST_F(ScopePage, CancelledImportAndExportChangeNothing)
{
    choose({1}, {"Actual ACS"});
    page->OnStartScope();
    std::vector<_ST_ReadScopeData> rows;
    for (int i = 0; i < 20000; ++i)
        rows.push_back(row(100.0 + i));
    cycle(rows);
    page->feedPlot();
    page->OnStopScope();
    ASSERT_TRUE(checkJoint(page->settingDialog(), 2));
    const QString period = child<QLineEdit>("ScopePlugin_edit_PeriodTime")->text();
    const ScopeCurve* before = page->plot()->curve(0);
    const QString title = before->title().text();
    const std::size_t size = before->dataSize();
    const QPointF last = before->sample(size - 1);

    int dialogs = 0;
    page->fileProgressCreated = [&dialogs](QProgressDialog* progress) {
        ++dialogs;
        EXPECT_EQ(progress->objectName(), "ScopePlugin_progress_File");
        QPushButton* cancel = progress->findChild<QPushButton*>();
        ASSERT_NE(cancel, nullptr);
        cancel->click();
    };
    openAnswer = dir.filePath("other.csv");
    writeFile(openAnswer, "time,B_1_2_u,C_2_2_u\n0,1,2\n1,3,4\n");
    page->slotImportScopeFile();
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(page->plot()->attachedCurves().size(), 1);
    EXPECT_EQ(page->plot()->curve(0)->title().text(), title);
    ASSERT_EQ(page->plot()->curve(0)->dataSize(), size);
    EXPECT_EQ(page->plot()->curve(0)->sample(size - 1), last);
    EXPECT_EQ(child<QLineEdit>("ScopePlugin_edit_PeriodTime")->text(), period);
    EXPECT_FALSE(page->settingDialog()->componentSelection().empty()) << "check marks kept";

    // Over an existing file: it keeps its bytes, and no temporary is left.
    saveAnswer = dir.filePath("kept.csv");
    writeFile(saveAnswer, "old bytes");
    page->slotExportScopeFile();
    EXPECT_EQ(dialogs, 2);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(readFile(saveAnswer), "old bytes");
    saveAnswer = dir.filePath("new.csv");
    page->slotExportScopeFile();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"kept.csv", "other.csv"}));

    // Without Cancel the same export completes.
    page->fileProgressCreated = nullptr;
    page->slotExportScopeFile();
    EXPECT_TRUE(readFile(saveAnswer).startsWith("time,J1 Actual ACS_0_2_ACS(deg)\n"));
}

TEST_F(ScopePage, ImportIsSilentWithoutAFileAndRefusedWhileRunning)
{
    openAnswer = dir.filePath("nothing-here.csv");
    page->slotImportScopeFile();
    openAnswer.clear();
    page->slotImportScopeFile();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(openCalls.size(), 2u);

    choose({1}, {"Actual ACS"});
    page->OnStartScope();
    page->slotImportScopeFile();
    EXPECT_EQ(openCalls.size(), 2u);
}

TEST_F(ScopePage, ImportOfAHeaderWithoutTimeShowsNoSamples)
{
    openAnswer = dir.filePath("notime.csv");
    writeFile(openAnswer, "A_0_1_u,B\n1,2\n3,4\n");
    page->slotImportScopeFile();
    ASSERT_EQ(page->plot()->attachedCurves().size(), 2);
    EXPECT_EQ(page->plot()->curveInfo(1).strUnit, "Unit");
    EXPECT_TRUE(page->plot()->hasNoData());
}

// A recording longer than a typed period can be (25 minutes at 1 kHz, as the
// recorder writes them) is seen whole: period, bottom axis and zoom base
// reach its last row. (Typing keeps the six-digit limit: see above.)
TEST_F(ScopePage, ImportOfALongRecordingShowsItWhole)
{
    QwtScope* plot = page->plot();
    QLineEdit* edit = child<QLineEdit>("ScopePlugin_edit_PeriodTime");
    openAnswer = dir.filePath("long.csv");
    QByteArray text = "time,A_0_1_u\n";
    for (int t = 0; t <= 1500000; t += 1000)
        text += QByteArray::number(t) + ".000," + QByteArray::number(t % 7) + ".000\n";
    writeFile(openAnswer, text);
    for (int pass = 0; pass < 2; ++pass) { // the second import finds the same period text
        plot->zoomer()->zoom(QRectF(100, -1, 1000, 2));
        ASSERT_EQ(plot->zoomer()->zoomRectIndex(), 1u);
        page->slotImportScopeFile();
        ASSERT_TRUE(messages.empty());
        EXPECT_EQ(edit->text(), "1500001");
        EXPECT_EQ(page->period(), 1500001);
        EXPECT_GE(plot->axisScaleDiv(QwtPlot::xBottom).upperBound(), 1500000.0) << "pass " << pass;
        EXPECT_EQ(plot->zoomer()->zoomRectIndex(), 0u) << "pass " << pass;
        // Back at the zoom base after a zoom: still the whole file.
        plot->zoomer()->zoom(QRectF(100, -1, 1000, 2));
        page->OnResetView();
        EXPECT_EQ(plot->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 0.0);
        EXPECT_GE(plot->axisScaleDiv(QwtPlot::xBottom).upperBound(), 1500000.0) << "pass " << pass;
    }

    // A span beyond any int: the period stops at the largest int.
    openAnswer = dir.filePath("far.csv");
    writeFile(openAnswer, "time,A_0_1_u\n0,1\n1e300,2\n");
    page->slotImportScopeFile();
    EXPECT_EQ(edit->text(), "2147483647");
    EXPECT_EQ(page->period(), 2147483647);
}

} // namespace

// A window that slid over several chunk edges: the plot shows exactly the
// recorded window, x counted from its oldest stamp, and the left axis fits
// the window's values only (not the rows already dropped).
TEST_F(ScopePage, PlotShowsExactlyTheSlidWindow)
{
    choose({1, 2}, {"Actual ACS"});
    page->findChild<QLineEdit*>("ScopePlugin_edit_PeriodTime")->setText("5000");
    page->OnStartScope();
    for (int i = 0; i < 15000; ++i) {
        _ST_ReadScopeData r = row(20000.0 + i);
        // Large values early on leave with the front of the window.
        r.values[0] = i < 9000 ? 1000.0 : std::sin(i * 0.01);
        r.values[1] = i * 0.001;
        page->appendRow(r);
    }
    page->feedPlot();
    const std::vector<double> times = page->sampleTimes();
    ASSERT_EQ(times.size(), 5001u);
    for (int slot = 0; slot < 2; ++slot) {
        const std::vector<double> values = page->samples(slot);
        const QwtPlotCurve* curve = page->plot()->curve(slot);
        ASSERT_EQ(curve->dataSize(), times.size()) << slot;
        for (std::size_t i = 0; i < times.size(); ++i) {
            ASSERT_EQ(curve->sample(i).x(), times[i] - times.front()) << slot << " " << i;
            ASSERT_EQ(curve->sample(i).y(), values[i]) << slot << " " << i;
        }
    }
    const QwtScaleDiv left = page->plot()->axisScaleDiv(QwtPlot::yLeft);
    EXPECT_LT(left.upperBound(), 20.0);
    EXPECT_GE(left.upperBound(), 14.999);
    EXPECT_LE(left.lowerBound(), -1.0);
}

// ---- derived channels and kept choices ---------------------------------------

// A derived channel is a curve like any other: slot 36 on, legend entry,
// values from each row, a non-finite sample that leaves the axis alone, and
// its own column in the exported file, which the import reads back as such.
TEST_F(ScopePage, DerivedChannelsArePlottedExportedAndImported)
{
    page->setDerivedChannels({{"J1 Following Error", "deg", "[J1 Target ACS] - [J1 Actual ACS]"},
                              {"Inverse", "", "1 / ([J1 Actual ACS] - 1)"}});
    choose({1}, {"Target ACS", "Actual ACS"});
    page->OnStartScope();
    std::vector<_ST_ReadScopeData> rows;
    for (int t = 0; t < 4; ++t) {
        _ST_ReadScopeData r = row(t);
        r.values[0] = 10.0 * t;
        r.values[1] = t;
        rows.push_back(r);
    }
    cycle(rows);
    page->feedPlot();
    EXPECT_EQ(page->samples(36), (std::vector<double>{0, 9, 18, 27}));
    const std::vector<double> inverse = page->samples(37);
    ASSERT_EQ(inverse.size(), 4u);
    EXPECT_TRUE(std::isinf(inverse[1]));
    EXPECT_DOUBLE_EQ(inverse[3], 0.5);
    EXPECT_TRUE(messages.empty());

    QwtPlotCurve* curve = nullptr;
    for (QwtPlotCurve* c : page->plot()->attachedCurves())
        if (c->title().text() == "J1 Following Error")
            curve = c;
    ASSERT_NE(curve, nullptr);
    EXPECT_EQ(page->plot()->slotOf(curve), 36);
    EXPECT_EQ(curve->dataSize(), 4u);
    auto* legend = qobject_cast<QwtLegend*>(page->plot()->legend());
    ASSERT_NE(legend, nullptr);
    EXPECT_FALSE(legend->legendWidgets(page->plot()->itemToInfo(curve)).isEmpty());
    const QwtScaleDiv left = page->plot()->axisScaleDiv(QwtPlot::yLeft);
    EXPECT_TRUE(std::isfinite(left.upperBound()) && std::isfinite(left.lowerBound()));
    EXPECT_GE(left.upperBound(), 30.0);

    page->OnStopScope();
    saveAnswer = dir.filePath("derived.csv");
    page->slotExportScopeFile();
    const QStringList lines = readFile(saveAnswer).split('\n');
    ASSERT_GE(lines.size(), 5);
    EXPECT_EQ(lines[0], "time,J1 Target ACS_0_1_ACS(deg),J1 Actual ACS_0_2_ACS(deg),"
                        "J1 Following Error_derived_[J1 Target ACS] - [J1 Actual ACS]_deg,"
                        "Inverse_derived_1 / ([J1 Actual ACS] - 1)_");
    EXPECT_EQ(lines[2], "1.000,10.000,1.000,9.000,inf");

    // Read back with no derived channels of the user's own: the file's two
    // come back as derived curves, with their samples.
    page->setDerivedChannels({});
    openAnswer = saveAnswer;
    page->slotImportScopeFile();
    EXPECT_EQ(page->derivedSlots().value(2), "[J1 Target ACS] - [J1 Actual ACS]");
    EXPECT_EQ(page->derivedSlots().value(3), "1 / ([J1 Actual ACS] - 1)");
    EXPECT_EQ(page->plot()->curveInfo(2).strUnit, "deg");
}

// An imported recording without derived columns gets the user's derived
// channels computed from its own columns, by title.
TEST_F(ScopePage, ImportComputesTheUsersDerivedChannels)
{
    page->setDerivedChannels({{"Error", "deg", "[J1 Target ACS] - [J1 Actual ACS]"},
                              {"Elsewhere", "", "[J6 Actual Cur] * 2"}});
    const QString file = dir.filePath("plain.csv");
    writeFile(file, "time,J1 Target ACS_0_1_ACS(deg),J1 Actual ACS_0_2_ACS(deg)\n"
                    "0.000,1.000,0.250\n1.000,3.000,1.000\n");
    openAnswer = file;
    page->slotImportScopeFile();
    QwtPlotCurve* curve = nullptr;
    for (QwtPlotCurve* c : page->plot()->attachedCurves())
        if (page->plot()->slotOf(c) == 2)
            curve = c;
    ASSERT_NE(curve, nullptr);
    EXPECT_EQ(curve->title().text(), "Error");
    ASSERT_EQ(curve->dataSize(), 2u);
    EXPECT_DOUBLE_EQ(curve->sample(0).y(), 0.75);
    EXPECT_DOUBLE_EQ(curve->sample(1).y(), 2.0);
    // The channel the file lacks is not computed.
    EXPECT_EQ(page->plot()->attachedCurves().size(), 3);
}

// The dialog refuses with the row, the position in the user's text and the
// reason, and keeps the cursor there; a good table is accepted.
TEST_F(ScopePage, DerivedDialogRefusesWithPositionAndReason)
{
    const QVector<scopederived::Source> chosen = {{"J1 Target ACS", 0}, {"J1 Actual ACS", 1}};
    ScopeDerivedDialog dialog({{"ok", "", "[J1 Target ACS] * 2"},
                               {"bad", "", "[J1 Target ACS] - [J2 Actual ACS]"}},
                              chosen, {"J1 Target ACS", "J1 Actual ACS", "J2 Actual ACS"});
    EXPECT_FALSE(dialog.check());
    EXPECT_EQ(dialog.problemText(), "Row 2, position 19: the channel J2 Actual ACS is not chosen");
    EXPECT_EQ(dialog.table()->currentRow(), 1);
    dialog.accept();
    EXPECT_EQ(dialog.result(), int(QDialog::Rejected));

    dialog.table()->item(1, 2)->setText("deriv([J1 Actual ACS])");
    dialog.accept();
    EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
    EXPECT_TRUE(dialog.problemText().isEmpty());
    ASSERT_EQ(dialog.definitions().size(), 2);
    EXPECT_EQ(dialog.definitions()[1].expression, "deriv([J1 Actual ACS])");
}

// What the user chose comes back at the next start of the program, so Start
// works at once: selection, period, trigger, derived channels, saved sets.
TEST_F(ScopePage, ChoicesAndChannelSetsAreRestoredAfterARestart)
{
    const QString ini = dir.filePath("VXTools.ini");
    {
        QSettings s(ini, QSettings::IniFormat);
        s.setValue("ZPS/IP", "10.0.0.7");
    }
    page->setSettingsPath(ini);
    choose({1, 2}, {"Target ACS", "Actual ACS"});
    child<QLineEdit>("ScopePlugin_edit_PeriodTime")->setText("5000");
    page->setDerivedChannels({{"J1 Following Error", "deg", "[J1 Target ACS] - [J1 Actual ACS]"}});
    page->OnStartScope();
    armTrigger(1, 1, "1.5", true, 2);
    page->settingDialog()->saveSet("Two joints");
    page->OnStopScope();
    page.reset();

    auto again = std::make_unique<VXPlugin_Scope>();
    again->setCollectorEnabled(false);
    again->setLinkCalls(link.calls());
    again->setSettingsPath(ini);
    EXPECT_EQ(again->period(), 5000);
    EXPECT_EQ(again->derivedChannels().size(), 1);
    auto* trigger = again->findChild<QRadioButton*>("cb_Trigger");
    EXPECT_TRUE(trigger->isChecked());
    EXPECT_EQ(again->findChild<QComboBox*>("KDLX_Scope_cmb_TriggerCondition")->currentIndex(), 1);
    EXPECT_EQ(again->findChild<QComboBox*>("KDLX_Scope_cmb_TriggerFS")->currentIndex(), 1);
    EXPECT_EQ(again->findChild<QLineEdit*>("KDLX_Scope_edit_TriggerThreshold")->text(), "1.5");
    EXPECT_TRUE(again->findChild<QCheckBox*>("cb_AbsoluteValue")->isChecked());

    const std::size_t sentBefore = link.sent().size();
    again->OnStartScope();
    ASSERT_EQ(link.sent().size(), sentBefore + 1);
    EXPECT_EQ(link.sent().back().size(), 4u);
    auto* box = again->findChild<QComboBox*>("KDLX_Scope_cmb_TriggerSel");
    EXPECT_EQ(box->currentText(), "J2 Target ACS");
    EXPECT_EQ(again->derivedSlots().value(36), "[J1 Target ACS] - [J1 Actual ACS]");
    again->OnStopScope();
    // Keys of the main window are left as they were.
    EXPECT_EQ(QSettings(ini, QSettings::IniFormat).value("ZPS/IP").toString(), "10.0.0.7");

    // The saved set, and one shared by a colleague whose catalogue has a
    // channel this one lacks.
    QScopeSetting* d = again->settingDialog();
    EXPECT_EQ(d->savedSetNames(), QStringList{"Two joints"});
    d->applySelection({});
    ASSERT_TRUE(d->recallSet("Two joints"));
    EXPECT_EQ(d->selection().components, (std::vector<int>{AXIS_J1, AXIS_J2}));
    const QString shared = dir.filePath("shared.txt");
    ASSERT_TRUE(d->exportSet("Two joints", shared));
    QFile f(shared);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("link=Warp Drive\n");
    f.close();
    d->deleteSet("Two joints");
    EXPECT_TRUE(d->savedSetNames().isEmpty());
    d->applySelection({});
    ASSERT_TRUE(d->importSet(shared));
    EXPECT_EQ(d->selection().links, (std::vector<int>{LINK_TargetACS, LINK_ActualACS}));
    EXPECT_TRUE(d->note().contains("link=Warp Drive")) << d->note().toStdString();
    EXPECT_EQ(d->savedSetNames(), QStringList{"Two joints"});
    EXPECT_FALSE(d->importSet(dir.filePath("missing.txt")));
}
