#include "VXPlugin_Scope.h"

#include "ScopeChannels.h"
#include "qscopesetting.h"
#include "qwtscope.h"
#include "scopechannelsets.h"
#include "scopederiveddialog.h"
#include "scopecursors.h"
#include "scopereadout.h"
#include "scopesavename.h"
#include "scopespectrumwindow.h"

#include <qwt_legend.h>
#include <qwt_legend_data.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_widget.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDoubleValidator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSaveFile>
#include <QSettings>
#include <QShortcut>
#include <QSpacerItem>
#include <QSplitter>
#include <QThread>
#include <QTimer>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <QEventLoop>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace {

constexpr int kTimerMs = 64;
constexpr int kRedrawEvery = 6; // the plot is fed on every sixth status tick
constexpr int kMinPeriodMs = 10;

// The millisecond tick count of the read-cycle figures; it wraps like the
// 32-bit tick counter the figures were designed around.
uint32_t tickCountMs()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, QSize minimum)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setMinimumSize(minimum);
    return button;
}

QFrame* makeFrame(QWidget* parent, const char* name)
{
    auto* frame = new QFrame(parent);
    frame->setObjectName(QLatin1String(name));
    frame->setFrameShape(QFrame::Box);
    frame->setFrameShadow(QFrame::Raised);
    return frame;
}

QSpacerItem* hSpacer()
{
    return new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
}

// Every channel title the catalogue can produce, to tell an unknown title
// in an expression from one that is only not chosen.
const QStringList& catalogueTitles()
{
    static const QStringList titles = [] {
        std::map<emAXIS, int> components;
        std::map<emLINK, int> links;
        std::map<emENDEFF, int> endEffectors;
        for (int k : componentKeys())
            components[static_cast<emAXIS>(k)] = k;
        for (int k : linkKeys())
            links[static_cast<emLINK>(k)] = linkIndexBase(k).value_or(0);
        for (int k : endEffectorKeys())
            endEffectors[static_cast<emENDEFF>(k)] = endEffectorIndexBase(k).value_or(0);
        QStringList out;
        for (const ScopeChannel& ch : buildChannelList(components, links, endEffectors).channels)
            out << ch.title.trimmed();
        return out;
    }();
    return titles;
}

// The chosen channels an expression may name: those that receive samples.
QVector<scopederived::Source> derivedSources(const ScopeChannelList& list)
{
    QVector<scopederived::Source> sources;
    for (const ScopeChannel& ch : list.channels) {
        const int curve = ch.info.nCurve;
        if (ch.info.nIndex >= 1 && ch.info.nIndex <= kMaxScopeIndex && curve >= 0
            && curve < ScopeSampleStore::kRowValues)
            sources.append(scopederived::Source{ch.title.trimmed(), curve});
    }
    return sources;
}

} // namespace

ScopeLinkCalls ScopeLinkCalls::library()
{
    ScopeLinkCalls calls;
    calls.setScopeIndexs = [](std::vector<int>& indexes) { return VX_SetScopeIndexs(indexes); };
    calls.readScopeData = [](double* cpu, uint32_t* mem, std::vector<_ST_ReadScopeData>* rows) {
        return VX_ReadScopeData(cpu, mem, rows);
    };
    calls.readRobotFlags = [](int* f1, int* f2, int* f3, int* f4, int* f5, int* f6, int* f7, int* f8) {
        return VXIF_ReadRobotFlags(f1, f2, f3, f4, f5, f6, f7, f8);
    };
    return calls;
}

VXPlugin_Scope::VXPlugin_Scope(QWidget* parent)
    : QWidget(parent)
    , m_link(ScopeLinkCalls::library())
{
    saveFileDialog = [](QWidget* p, const QString& caption, const QString& dir, const QString& filter) {
        return QFileDialog::getSaveFileName(p, caption, dir, filter);
    };
    openFileDialog = [](QWidget* p, const QString& caption, const QString& dir, const QString& filter) {
        return QFileDialog::getOpenFileName(p, caption, dir, filter);
    };
    messageBox = [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
        QMessageBox box(icon, title, text, QMessageBox::Ok, this);
        box.exec();
    };

    buildForm();
    runDerivedDialog = [](ScopeDerivedDialog& dialog) { return dialog.exec() == QDialog::Accepted; };

    // The plot fills the middle frame.
    m_plot = new QwtScope(m_qwtFrame);
    m_qwtLayout->addWidget(m_plot);
    m_plot->raise();

    // A checked legend entry hides its curve.
    auto* legend = new QwtLegend;
    legend->setDefaultItemMode(QwtLegendData::Checkable);
    m_plot->insertLegend(legend, QwtPlot::RightLegend);
    connect(legend, &QwtLegend::checked, this, &VXPlugin_Scope::hideItem);

    m_setting = new QScopeSetting(this);
    connect(m_btnSetting, &QPushButton::clicked, this, &VXPlugin_Scope::OnScopeSetting);
    connect(m_setting, &QScopeSetting::userSetAxisInfo, this, &VXPlugin_Scope::setScopeSetting);
    connect(m_btnStart, &QPushButton::clicked, this, &VXPlugin_Scope::OnStartScope);
    connect(m_btnStop, &QPushButton::clicked, this, &VXPlugin_Scope::OnStopScope);
    connect(m_btnResetView, &QPushButton::clicked, this, &VXPlugin_Scope::OnResetView);
    connect(m_btnImport, &QPushButton::clicked, this, &VXPlugin_Scope::slotImportScopeFile);
    connect(m_btnExport, &QPushButton::clicked, this, &VXPlugin_Scope::slotExportScopeFile);
    connect(m_cbStopWhenError, &QCheckBox::clicked, this, &VXPlugin_Scope::slot_cb_StopWhenErrorClicked);

    // The text is set before the connection, so no period slot runs for it.
    m_editPeriod->setText(QStringLiteral("10000"));
    m_editPeriod->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,6}")), m_editPeriod));
    connect(m_editPeriod, &QLineEdit::textChanged, this, &VXPlugin_Scope::onSamplingScopTextChanged);

    m_collector = std::make_unique<DataCollector>(this);

    m_cmbTriggerCondition->addItems(TriggerConditions());
    for (const QString& mode : TriggerGrabModes())
        m_cmbTriggerFS->addItem(channelTextOnScreen(mode));
    // Numbers are read with "." whatever the user's locale; the validators
    // must accept the same texts.
    for (QLineEdit* edit : {m_editThreshold, m_editDelay}) {
        auto* validator = new QDoubleValidator(edit);
        validator->setLocale(QLocale::c());
        edit->setValidator(validator);
    }

    // The collector reads the trigger settings from a snapshot that follows
    // every change of the controls.
    auto publish = [this] { publishTriggerSetting(); };
    connect(m_cmbTriggerSel, QOverload<int>::of(&QComboBox::currentIndexChanged), this, publish);
    connect(m_cmbTriggerCondition, QOverload<int>::of(&QComboBox::currentIndexChanged), this, publish);
    connect(m_cmbTriggerFS, QOverload<int>::of(&QComboBox::currentIndexChanged), this, publish);
    connect(m_editThreshold, &QLineEdit::textChanged, this, publish);
    connect(m_editDelay, &QLineEdit::textChanged, this, publish);
    connect(m_cbAbsolute, &QCheckBox::toggled, this, publish);
    publishTriggerSetting();

    {
        VX_LockGurad guard(&m_dataLock);
        m_store.setSpan(m_plot->timeSpan());
    }

    buildMeasure();
    connect(m_btnDerived, &QPushButton::clicked, this, &VXPlugin_Scope::editDerivedChannels);
    setSettingsPath(qApp ? qApp->property("VXToolsIniPath").toString() : QString());

    OnStopScope();
    m_timerId = startTimer(kTimerMs, Qt::CoarseTimer);
}

VXPlugin_Scope::~VXPlugin_Scope()
{
    // The collector's cycle works on this page's members: its loop must have
    // ended before any of them goes away.
    m_collector->shutdown();
    if (m_timerId)
        killTimer(m_timerId);
    saveSettings();
}

void VXPlugin_Scope::buildForm()
{
    setObjectName(QStringLiteral("VXPlugin_Scope"));
    setWindowTitle(tr("VXPlugin_Scope"));
    resize(1137, 620);

    auto* page = new QVBoxLayout(this);
    page->setSpacing(6);
    page->setContentsMargins(11, 11, 11, 11);

    // Status line.
    QFrame* status = makeFrame(this, "ScopePageFrame_Setting");
    auto* statusRow = new QHBoxLayout(status);
    statusRow->addWidget(makeLabel(status, "KDLX_Scope_lb_ZPSCPUTip", tr("ZPS CPU:")));
    m_lbCpu = makeLabel(status, "KDLX_Scope_lb_ZPSCPU", tr("0.0"));
    statusRow->addWidget(m_lbCpu);
    statusRow->addWidget(makeLabel(status, "label_11", tr("%")));
    statusRow->addItem(hSpacer());
    statusRow->addWidget(makeLabel(status, "KDLX_Scope_lb_ZPSMemTip", tr("ZPS Mem:")));
    m_lbMem = makeLabel(status, "KDLX_Scope_lb_ZPSMem", tr("0"));
    statusRow->addWidget(m_lbMem);
    statusRow->addWidget(makeLabel(status, "label_12", tr("MB")));
    statusRow->addItem(hSpacer());
    statusRow->addWidget(makeLabel(status, "KDLX_Scope_lb_ReadScopeCycTip_2", tr("ReadScopeCycMax:")));
    m_lbCycMax = makeLabel(status, "KDLX_Scope_lb_ReadScopeMaxCyc", tr("0"));
    statusRow->addWidget(m_lbCycMax);
    statusRow->addWidget(makeLabel(status, "label_14", tr("ms")));
    statusRow->addItem(hSpacer());
    statusRow->addWidget(makeLabel(status, "KDLX_Scope_lb_ReadScopeCycTip", tr("ReadScopeCyc:")));
    m_lbCyc = makeLabel(status, "KDLX_Scope_lb_ReadScopeCyc", tr("0"));
    statusRow->addWidget(m_lbCyc);
    statusRow->addWidget(makeLabel(status, "label_13", tr("ms")));
    statusRow->addItem(hSpacer());
    m_lbMissing = makeLabel(status, "KDLX_Scope_lb_RowsMissing", QString());
    statusRow->addWidget(m_lbMissing);
    page->addWidget(status);

    // Plot frame.
    m_qwtFrame = makeFrame(this, "ScopePageFrame_QwtFrame");
    m_qwtLayout = new QVBoxLayout(m_qwtFrame);
    m_qwtLayout->setObjectName(QStringLiteral("vl_qwtWidget"));
    page->addWidget(m_qwtFrame, 1);

    // Control panel.
    QFrame* panel = makeFrame(this, "ScopePageFrame_CtlPanel");
    panel->setMaximumHeight(60);
    auto* panelRow = new QHBoxLayout(panel);
    m_btnStart = makeButton(panel, "ScopePlugin_btn_StartScope", tr("Start"), QSize(100, 40));
    m_btnStop = makeButton(panel, "ScopePlugin_btn_StopScope", tr("Stop"), QSize(100, 40));
    m_btnResetView = makeButton(panel, "ScopePlugin_btn_ResetView", tr("Reset View"), QSize(100, 40));
    m_cbStopWhenError = new QCheckBox(tr("Stop when Error"), panel);
    m_cbStopWhenError->setObjectName(QStringLiteral("cb_StopWhenError"));
    m_btnSetting = new QPushButton(tr("Setting"), panel);
    m_btnSetting->setObjectName(QStringLiteral("ScopePlugin_btn_Setting"));
    m_editPeriod = new QLineEdit(panel);
    m_editPeriod->setObjectName(QStringLiteral("ScopePlugin_edit_PeriodTime"));
    m_editPeriod->setMaximumWidth(100);
    m_btnImport = makeButton(panel, "ScopePlugin_btn_ImportScope", tr("Import from File"), QSize(150, 40));
    m_btnExport = makeButton(panel, "ScopePlugin_btn_ExportScope", tr("Export to File"), QSize(150, 40));
    panelRow->addWidget(m_btnStart);
    panelRow->addWidget(m_btnStop);
    panelRow->addWidget(m_btnResetView);
    panelRow->addWidget(m_cbStopWhenError);
    panelRow->addItem(hSpacer());
    panelRow->addWidget(m_btnSetting);
    panelRow->addWidget(makeLabel(panel, "KDLX_Scope_label_PeriodTime_2", tr("Period Time:")));
    panelRow->addWidget(m_editPeriod);
    panelRow->addWidget(makeLabel(panel, "label_10", tr("ms")));
    panelRow->addItem(hSpacer());
    panelRow->addWidget(m_btnImport);
    panelRow->addWidget(m_btnExport);
    page->addWidget(panel);

    // Trigger.
    QFrame* trigger = makeFrame(this, "ScopePageFrame_Trigger");
    auto* triggerRow = new QHBoxLayout(trigger);
    m_rbTrigger = new QRadioButton(tr("Trigger Condition"), trigger);
    m_rbTrigger->setObjectName(QStringLiteral("cb_Trigger"));
    // A lone radio button could never be switched off again once checked.
    m_rbTrigger->setAutoExclusive(false);
    triggerRow->addWidget(m_rbTrigger);
    auto* grid = new QGridLayout;
    m_cmbTriggerSel = new QComboBox(trigger);
    m_cmbTriggerSel->setObjectName(QStringLiteral("KDLX_Scope_cmb_TriggerSel"));
    m_cmbTriggerSel->setMinimumWidth(150);
    m_cmbTriggerCondition = new QComboBox(trigger);
    m_cmbTriggerCondition->setObjectName(QStringLiteral("KDLX_Scope_cmb_TriggerCondition"));
    m_cmbTriggerFS = new QComboBox(trigger);
    m_cmbTriggerFS->setObjectName(QStringLiteral("KDLX_Scope_cmb_TriggerFS"));
    m_editThreshold = new QLineEdit(trigger);
    m_editThreshold->setObjectName(QStringLiteral("KDLX_Scope_edit_TriggerThreshold"));
    m_cbAbsolute = new QCheckBox(tr("绝对值"), trigger);
    m_cbAbsolute->setObjectName(QStringLiteral("cb_AbsoluteValue"));
    grid->addWidget(m_cmbTriggerSel, 0, 0);
    grid->addWidget(m_cmbTriggerCondition, 0, 1);
    grid->addWidget(m_cmbTriggerFS, 0, 2);
    grid->addWidget(m_editThreshold, 0, 3);
    grid->addWidget(m_cbAbsolute, 0, 4);
    triggerRow->addLayout(grid);
    triggerRow->addItem(hSpacer());
    auto* delayGrid = new QGridLayout;
    m_editDelay = new QLineEdit(trigger);
    m_editDelay->setObjectName(QStringLiteral("KDLX_Scope_edit_TriggerDelay"));
    m_editDelay->setMaximumWidth(100);
    delayGrid->addWidget(makeLabel(trigger, "KDLX_Scope_label_TrigDelay", tr("Trigger Delay:")), 0, 0);
    delayGrid->addWidget(m_editDelay, 0, 1);
    delayGrid->addWidget(makeLabel(trigger, "label_17", tr("ms")), 0, 2);
    triggerRow->addLayout(delayGrid);
    page->addWidget(trigger);
}

// ---- selection -------------------------------------------------------------

void VXPlugin_Scope::setBottomAxis(double min, double max, double step)
{
    m_plot->setXAxis(min, max, step);
    // The collector trims to the plotted span; it keeps its own copy so it
    // never reads the plot.
    VX_LockGurad guard(&m_dataLock);
    m_store.setSpan(m_plot->timeSpan());
}

void VXPlugin_Scope::clearScopeData()
{
    VX_LockGurad guard(&m_dataLock);
    m_store.reset(ScopeSampleStore::SlotMask());
    m_store.setDerived(nullptr);
    m_derivedSlots.clear();
    m_plot->clearCurves();
}

void VXPlugin_Scope::setAxisInfo()
{
    setBottomAxis(0, m_period, m_period / 10);
    clearScopeData();

    const ScopeChannelList list = buildChannelList(
        m_setting->componentSelection(), m_setting->linkSelection(), m_setting->endEffectorSelection());
    // A refill replaces the entries: a refused selection followed by Start
    // must not list every channel twice.
    if (m_refillTriggerBox)
        m_cmbTriggerSel->clear();
    ScopeSampleStore::SlotMask receiving;
    for (int slot = 0; slot < list.count(); ++slot) {
        const ScopeChannel& ch = list.channels[std::size_t(slot)];
        m_plot->setCurveInfo(slot, ch.title, ch.info);
        if (m_refillTriggerBox)
            m_cmbTriggerSel->addItem(ch.title, slot);
        const int curve = ch.info.nCurve;
        if (receivesSamples(ch.info) && curve >= 0 && curve < ScopeSampleStore::kRowValues)
            receiving.set(std::size_t(curve));
    }
    if (m_refillTriggerBox && !m_pendingTriggerChannel.isEmpty()) {
        const int at = m_cmbTriggerSel->findText(m_pendingTriggerChannel);
        if (at >= 0)
            m_cmbTriggerSel->setCurrentIndex(at);
        m_pendingTriggerChannel.clear();
    }
    m_plot->replot();
    m_plot->refreshZoom();

    if (list.accepted()) {
        m_refillTriggerBox = false;
        {
            VX_LockGurad guard(&m_dataLock);
            m_store.reset(receiving);
        }
        applyDerived(list);
        std::vector<int> indexes = list.indexes;
        m_link.setScopeIndexs(indexes);
    } else {
        if (messageBox)
            messageBox(QMessageBox::Critical, tr("当前设置通道超出最大通道数"),
                       tr("当前设置通道数 %1 ,超出最大通道数 36 !").arg(list.count()));
        clearScopeData();
    }
    m_plot->resetZoom();
}

void VXPlugin_Scope::setScopeSetting()
{
    m_cmbTriggerSel->clear();
    m_refillTriggerBox = true;
    setAxisInfo();
    saveSettings();
}

void VXPlugin_Scope::onSamplingScopTextChanged(const QString& text)
{
    int period = text.toInt();
    if (period < kMinPeriodMs)
        period = kMinPeriodMs;
    m_period = period;
    setBottomAxis(0, m_period, m_period / 10);
    m_plot->resetZoom();
}

void VXPlugin_Scope::hideItem(const QVariant& itemInfo, bool on)
{
    if (QwtPlotItem* item = m_plot->itemFromLegendInfo(itemInfo))
        item->setVisible(!on);
    m_plot->replot();
    measureChanged();
}

void VXPlugin_Scope::OnScopeSetting()
{
    int w = width() * 5 / 6;
    int h = height() * 5 / 6;
    w = std::min(w, 600);
    h = std::min(h, 800);
    // Its layout sets the smallest size it can take; let it do so now, so
    // the dialog is centred on the size it really gets.
    m_setting->ensurePolished();
    if (m_setting->layout())
        m_setting->layout()->activate();
    m_setting->resize(w, h);
    const QSize taken = m_setting->size();
    m_setting->move(mapToGlobal(QPoint(0, 0))
                    + QPoint((width() - taken.width()) / 2, (height() - taken.height()) / 2));
    m_setting->show();
    m_setting->raise();
    m_setting->activateWindow();
}

// ---- start and stop --------------------------------------------------------

void VXPlugin_Scope::OnStartScope()
{
    nextGeneration();
    {
        VX_LockGurad guard(&m_statLock);
        m_cycleMax = m_cycleCur = m_cycleLastTick = 0;
    }
    {
        VX_LockGurad guard(&m_loadLock);
        m_missingRows = m_gaps = 0;
    }
    m_lbMissing->clear();
    setAxisInfo();
    CheckTriggerStatus();
    saveSettings();

    m_btnStart->hide();
    m_btnStop->show();
    m_btnImport->setEnabled(false);
    m_btnExport->setEnabled(false);

    for (QwtPlotCurve* curve : m_plot->attachedCurves())
        curve->setVisible(true);
    m_plot->refreshZoom();

    if (m_collectorEnabled && !m_collector->isRunning())
        m_collector->start(QThread::InheritPriority);
    m_collector->setRun(true);
    m_redrawCounter = 0;
    m_running.store(true);
}

void VXPlugin_Scope::OnStopScope()
{
    nextGeneration();
    m_running.store(false);
    // No error seen, grabbing, the trigger disarmed.
    m_trigger.stop();
    // Stop goes before Start comes: shown side by side for a moment, the
    // two would widen the window for good when it is at its narrowest.
    m_btnStop->hide();
    m_btnStart->show();
    m_btnImport->setEnabled(true);
    m_btnExport->setEnabled(true);
    m_collector->setRun(false);
}

void VXPlugin_Scope::nextGeneration()
{
    // Under the data lock, as the collector's appending: once Start or Stop
    // returned, no row of the run before lands, however late its pass runs.
    VX_LockGurad guard(&m_dataLock);
    m_generation.fetch_add(1);
}

void VXPlugin_Scope::OnResetView()
{
    m_plot->resetZoom();
}

void VXPlugin_Scope::slot_Disconnected2ZPS()
{
    OnStopScope();
}

void VXPlugin_Scope::slot_cb_StopWhenErrorClicked()
{
    m_stopWhenError = m_cbStopWhenError->isChecked();
}

// ---- trigger ---------------------------------------------------------------

ScopeTriggerSetting VXPlugin_Scope::readTriggerSetting() const
{
    ScopeTriggerSetting s;
    s.channel = m_cmbTriggerSel->currentIndex();
    const QVariant data = m_cmbTriggerSel->currentData();
    s.channelData = data.isValid() ? data.toInt() : -1;
    s.condition = TriggerCondition(m_cmbTriggerCondition->currentIndex());
    s.grabMode = GrabMode(m_cmbTriggerFS->currentIndex());
    s.threshold = scopefile::readNumber(m_editThreshold->text());
    s.delay = scopefile::readNumber(m_editDelay->text());
    s.absoluteValue = m_cbAbsolute->isChecked();
    return s;
}

void VXPlugin_Scope::publishTriggerSetting()
{
    const ScopeTriggerSetting s = readTriggerSetting();
    VX_LockGurad guard(&m_triggerLock);
    m_triggerSetting = s;
}

ScopeTriggerSetting VXPlugin_Scope::triggerSnapshot() const
{
    VX_LockGurad guard(&m_triggerLock);
    return m_triggerSetting;
}

void VXPlugin_Scope::CheckTriggerStatus()
{
    publishTriggerSetting();
    // Not armed, it grabs: what Stop left, also when a trigger firing raced
    // with that Stop.
    m_trigger.start(m_rbTrigger->isChecked(), GrabMode(m_cmbTriggerFS->currentIndex()));
}

void VXPlugin_Scope::checkTrigger(const std::vector<_ST_ReadScopeData>& rows)
{
    // The snapshot is taken only for a batch that can fire.
    if (!m_trigger.armed() || rows.empty())
        return;
    const ScopeTriggerSetting setting = triggerSnapshot();
    if (triggerFires(setting, rows))
        fireTrigger(setting.grabMode);
}

void VXPlugin_Scope::fireTrigger(GrabMode grabMode)
{
    // One-shot: disarmed until the next Start; an open grab records from the
    // batch that fired, an end grab records nothing of it.
    m_trigger.fire(grabMode);
}

// ---- collector thread --------------------------------------------------------

void VXPlugin_Scope::readScopeOnce()
{
    if (!m_running.load())
        return;
    const int generation = m_generation.load();
    measureReadCycle();

    double cpuLoad = 0.0;
    uint32_t memory = 0;
    std::vector<_ST_ReadScopeData> rows;
    m_link.readScopeData(&cpuLoad, &memory, &rows);

    {
        VX_LockGurad guard(&m_loadLock);
        m_cpuLoad = cpuLoad;
        m_memory = memory;
    }
    if (generation != m_generation.load())
        return;
    countGaps(generation, rows);
    checkTrigger(rows);
    VX_LockGurad guard(&m_dataLock);
    if (generation != m_generation.load())
        return;
    for (const _ST_ReadScopeData& row : rows) {
        if (!m_trigger.grabbing())
            break;
        appendRow(row);
    }
}

void VXPlugin_Scope::countGaps(int generation, const std::vector<_ST_ReadScopeData>& rows)
{
    if (generation != m_gapGeneration) {
        m_gapCounter = ScopeGapCounter();
        m_gapGeneration = generation;
    }
    for (const _ST_ReadScopeData& row : rows)
        m_gapCounter.add(row.time);
    VX_LockGurad guard(&m_loadLock);
    m_missingRows = m_gapCounter.missingRows();
    m_gaps = m_gapCounter.gaps();
}

void VXPlugin_Scope::measureReadCycle()
{
    VX_LockGurad guard(&m_statLock);
    const uint32_t now = tickCountMs();
    if (m_cycleLastTick == 0)
        m_cycleLastTick = now;
    m_cycleCur = now - m_cycleLastTick;
    if (m_cycleCur > m_cycleMax)
        m_cycleMax = m_cycleCur;
    m_cycleLastTick = now;
}

void VXPlugin_Scope::appendRow(const _ST_ReadScopeData& row)
{
    VX_LockGurad guard(&m_dataLock);
    m_store.appendRow(row);
}

std::vector<double> VXPlugin_Scope::sampleTimes() const
{
    VX_LockGurad guard(&m_dataLock);
    std::vector<double> out(m_store.times().size());
    if (!out.empty())
        m_store.times().copyTo(out.data());
    return out;
}

std::vector<double> VXPlugin_Scope::samples(int slot) const
{
    VX_LockGurad guard(&m_dataLock);
    const ScopeSampleColumn& column = m_store.slot(slot);
    std::vector<double> out(column.size());
    if (!out.empty())
        column.copyTo(out.data());
    return out;
}

// ---- status line and redraw ------------------------------------------------

void VXPlugin_Scope::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timerId || !m_running.load())
        return;

    uint32_t cycleMax, cycleCur;
    {
        VX_LockGurad guard(&m_statLock);
        cycleMax = m_cycleMax;
        cycleCur = m_cycleCur;
    }
    m_lbCycMax->setText(QString::number(cycleMax));
    m_lbCyc->setText(QString::number(cycleCur));

    double cpuLoad;
    uint32_t memory;
    std::int64_t missing, gaps;
    {
        VX_LockGurad guard(&m_loadLock);
        cpuLoad = m_cpuLoad;
        memory = m_memory;
        missing = m_missingRows;
        gaps = m_gaps;
    }
    m_lbCpu->setText(QString::number(cpuLoad, 'f', 3));
    m_lbMem->setText(QString::number(memory / 1024.0, 'f', 3));
    m_lbMissing->setText(missing > 0 ? tr("%1 rows missing in %2 gaps").arg(missing).arg(gaps) : QString());

    if (m_redrawCounter < kRedrawEvery - 1) {
        ++m_redrawCounter;
        return;
    }
    m_redrawCounter = 0;

    feedPlot();
    if (m_stopWhenError)
        checkRobotError();
}

void VXPlugin_Scope::feedPlot()
{
    // Snapshot under the data lock, then draw without it: the collector's
    // appends never wait for painting, and the snapshot shares the store's
    // full chunks instead of copying the window.
    ScopeSampleStore::Snapshot snap;
    {
        VX_LockGurad guard(&m_dataLock);
        snap = m_store.snapshot();
    }

    if (snap.times && snap.times->size > 0) {
        // The plot always starts at 0: the oldest stamp is subtracted as x
        // is read.
        const ScopeSeries oldest(snap.times);
        const ScopeSeries x(snap.times, oldest.at(0));
        double low = 0.0;
        double high = 0.0;
        for (int slot = 0; slot < ScopeSampleStore::kSlots; ++slot) {
            if (!snap.values[slot] || snap.values[slot]->size == 0)
                continue;
            // A curve without a finite value counts as 0..0.
            const ScopeRange range = m_plot->setCurveSeries(slot, x, ScopeSeries(snap.values[slot]), snap.sortedTimes)
                                         .value_or(ScopeRange{0.0, 0.0});
            const double minY = range.min;
            const double maxY = range.max;
            if (slot == 0) {
                low = minY;
                high = maxY;
            }
            low = std::min(low, minY);
            high = std::max(high, maxY);
        }
        const double centre = (high + low) / 2.0;
        double half = (high - low) * 1.01 / 2.0;
        if (!(half >= 0.01))
            half = 0.01;
        m_plot->setYAxis(centre - half, centre + half);
    }
    m_plot->replot();
    measureChanged();
}

void VXPlugin_Scope::checkRobotError()
{
    int flags[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    m_link.readRobotFlags(&flags[0], &flags[1], &flags[2], &flags[3], &flags[4], &flags[5], &flags[6],
                          &flags[7]);
    if (flags[2] == 1 && m_trigger.robotErrorSighted())
        OnStopScope();
}

// ---- export and import -----------------------------------------------------

void VXPlugin_Scope::warn(const QString& text)
{
    if (messageBox)
        messageBox(QMessageBox::Warning, tr("Warning"), text);
}

// What the reading thread of an import hands to the GUI thread: the file's
// content and the plot's series over it, summaries built.
struct ScopeImportedFile
{
    scopefile::ReadResult read;
    ScopeSeries times;
    QVector<ScopeSeries> values;
    int sortedTimes = 0; // length of the ascending, finite start of the time column
    // The user's derived channels computed over the file's own channels,
    // also on the reading thread.
    QVector<scopederived::Definition> derived;
    QVector<QVector<double>> derivedValues;
};

static void evaluateImportedDerived(ScopeImportedFile& file, const QVector<scopederived::Definition>& definitions);

namespace {

// The state a file job shares between its thread and the GUI thread.
struct FileJob
{
    std::atomic<bool> cancel{false};
    std::atomic<qint64> done{0};
    std::atomic<qint64> total{0};

    scopefile::Progress progress()
    {
        return [this](qint64 d, qint64 t) {
            done.store(d);
            total.store(t);
            return !cancel.load();
        };
    }
};

// Runs work on a thread of its own while the GUI thread goes on serving
// events, so a file of hundreds of megabytes never freezes the window. A
// window-modal progress dialog with Cancel appears when the work takes more
// than half a second; Cancel sets job.cancel, which the work polls. Returns
// false when the user cancelled.
bool runFileJob(QWidget* parent, const QString& title, const QString& label, FileJob& job,
                const std::function<void()>& work, const std::function<void(QProgressDialog*)>& created)
{
    constexpr int kSteps = 1000;
    QProgressDialog dialog(label, VXPlugin_Scope::tr("Cancel"), 0, kSteps, parent);
    dialog.setObjectName(QStringLiteral("ScopePlugin_progress_File"));
    dialog.setWindowTitle(title);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(500);
    // Starts the half-second clock; without a first value the dialog would
    // wait for its default four seconds.
    dialog.setValue(0);
    QObject::connect(&dialog, &QProgressDialog::canceled, [&job] { job.cancel.store(true); });
    if (created)
        created(&dialog);

    QEventLoop loop;
    // The work's results are read once the thread has ended. The release
    // and acquire on this flag state that hand-over where race checkers see
    // it; Qt's own wait is as safe but invisible to them.
    std::atomic<bool> worked{false};
    std::unique_ptr<QThread> thread(QThread::create([&work, &worked] {
        work();
        worked.store(true, std::memory_order_release);
    }));
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &dialog, [&job, &dialog] {
        // cancel() (Escape, closing) sets the flag without the signal.
        if (dialog.wasCanceled()) {
            job.cancel.store(true);
            return;
        }
        const qint64 total = job.total.load();
        if (total > 0)
            dialog.setValue(int(std::min<qint64>(kSteps - 1, job.done.load() * kSteps / total)));
    });
    if (dialog.wasCanceled())
        job.cancel.store(true);
    thread->start();
    tick.start(50);
    loop.exec();
    thread->wait();
    worked.load(std::memory_order_acquire);
    return !(job.cancel.load() || dialog.wasCanceled());
}

// The samples of a plotted curve as the file writer takes them.
void copySamples(const ScopeSeries& xs, const ScopeSeries& ys, std::size_t n, scopefile::Curve& c)
{
    c.x.resize(int(n));
    c.y.resize(int(n));
    for (std::size_t i = 0; i < n; ++i) {
        c.x[int(i)] = xs.at(i);
        c.y[int(i)] = ys.at(i);
    }
}

} // namespace

QVector<scopefile::Curve> VXPlugin_Scope::plottedCurves() const
{
    QVector<scopefile::Curve> curves;
    for (QwtPlotCurve* plotted : m_plot->attachedCurves()) {
        scopefile::Curve c = scopefile::curveOf(plotted->title().text(), m_plot->curveInfo(m_plot->slotOf(plotted)));
        const auto derived = m_derivedSlots.constFind(m_plot->slotOf(plotted));
        if (derived != m_derivedSlots.constEnd()) {
            c.derived = true;
            c.expression = derived.value();
        }
        // Scope curves read immutable series: their samples are copied on
        // the writing thread (see slotExportScopeFile).
        if (!dynamic_cast<const ScopeCurveData*>(plotted->data())) {
            const int n = int(plotted->dataSize());
            c.x.reserve(n);
            c.y.reserve(n);
            for (int i = 0; i < n; ++i) {
                const QPointF p = plotted->sample(std::size_t(i));
                c.x.append(p.x());
                c.y.append(p.y());
            }
        }
        curves.append(c);
    }
    return curves;
}

void VXPlugin_Scope::slotExportScopeFile()
{
    if (m_running.load())
        return;
    if (m_plot->hasNoData()) {
        warn(tr("ERROR:Empty ScopeData!"));
        return;
    }
    // The suffix is part of the proposal and of the saved name: the import
    // takes only "csv" files, and not every save dialog adds it.
    const QString csv = QStringLiteral("csv");
    const QString proposed = scopesavename::proposedName(csv);
    const QString answer = saveFileDialog ? saveFileDialog(this, tr("Save File"), proposed, tr("csv(*.csv)"))
                                          : QString();
    QVector<scopefile::Curve> curves = plottedCurves();
    // The series the curves read stay valid (shared, immutable) while the
    // writing thread copies from them.
    struct Series
    {
        ScopeSeries xs, ys;
        std::size_t size = 0;
    };
    std::vector<Series> series;
    for (QwtPlotCurve* plotted : m_plot->attachedCurves()) {
        const auto* data = dynamic_cast<const ScopeCurveData*>(plotted->data());
        series.push_back(data ? Series{data->xSeries(), data->ySeries(), data->size()} : Series());
    }
    if (answer.isEmpty())
        return;
    const QString fileName = scopesavename::withSuffix(answer, {csv}, csv, Qt::CaseSensitive);
    if (fileName.isEmpty()) {
        warn(tr("ERROR:Unsupported file formats !"));
        return;
    }

    // Written beside the target and renamed over it only when complete, so a
    // failed or cancelled write never leaves a half-written file in place of
    // a good one.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        warn(tr("ERROR:Cannot write file %1 !").arg(QDir::toNativeSeparators(fileName)));
        return;
    }
    FileJob job;
    scopefile::WriteResult written = scopefile::WriteResult::Failed;
    bool committed = false;
    const bool finished = runFileJob(
        this, tr("Export to File"), tr("Writing %1 ...").arg(QDir::toNativeSeparators(fileName)), job,
        [&] {
            for (int k = 0; k < curves.size(); ++k) {
                const Series& d = series[std::size_t(k)];
                if (d.size > 0)
                    copySamples(d.xs, d.ys, d.size, curves[k]);
            }
            written = scopefile::writeFile(file, curves, job.progress());
            // The commit flushes hundreds of megabytes to disk: here, not on
            // the GUI thread. A Cancel that comes during it finds the file
            // whole.
            if (written == scopefile::WriteResult::Done && !job.cancel.load())
                committed = file.commit();
        },
        fileProgressCreated);
    if (committed)
        return;
    file.cancelWriting();
    if (finished && written != scopefile::WriteResult::Cancelled)
        warn(tr("ERROR:Cannot write file %1 !").arg(QDir::toNativeSeparators(fileName)));
}

void VXPlugin_Scope::applyImported(const ScopeImportedFile& file)
{
    const scopefile::Content& content = file.read.content;
    for (int i = 0; i < content.curves.size(); ++i) {
        const scopefile::Curve& c = content.curves[i];
        _ST_ScopeAxisInfo info;
        info.nIndex = 0;
        info.nSubIndex = c.subIndex;
        info.nCurve = i;
        info.eLink = static_cast<emLINK>(c.link);
        info.eEndEff = static_cast<emENDEFF>(c.endEffector);
        info.strUnit = c.unit;
        m_plot->setCurveInfo(i, c.title, info);
        if (c.derived)
            m_derivedSlots.insert(i, c.expression);
    }
    if (!content.times.isEmpty()) {
        const double last = content.times.last();
        setBottomAxis(0, last, last / 10);
    }
    for (int i = 0; i < content.curves.size(); ++i) {
        // A short line adds a value but no time stamp: the curve pairs them
        // as far as both reach. All curves share the one time column.
        const int n = std::min(content.times.size(), content.curves[i].y.size());
        if (n == 0)
            continue;
        m_plot->setCurveSeries(i, file.times, file.values[i], n <= file.sortedTimes);
    }
    applyDerivedToImport(file);
    m_plot->replot();
    measureChanged();
}

void VXPlugin_Scope::slotImportScopeFile()
{
    if (m_running.load())
        return;
    const QString fileName =
        openFileDialog ? openFileDialog(this, tr("Open File"), QStringLiteral("."), tr("csv(*.csv)")) : QString();
    if (fileName.isEmpty())
        return;
    const QFileInfo info(fileName);
    if (!info.exists())
        return;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;

    std::map<emAXIS, int> components;
    std::map<emLINK, int> links;
    std::map<emENDEFF, int> endEffectors;
    if (info.suffix() == QLatin1String("csv")) {
        // Read, parsed and summarised on a thread of its own; the page
        // changes only once the whole file is in, so Cancel leaves it as it
        // was.
        FileJob job;
        ScopeImportedFile loaded;
        const QVector<scopederived::Definition> derived = m_derived;
        const bool finished = runFileJob(
            this, tr("Import from File"), tr("Reading %1 ...").arg(QDir::toNativeSeparators(fileName)), job,
            [&] {
                loaded.read = scopefile::readFile(file, scopefile::kMaxRows, job.progress());
                if (loaded.read.error != scopefile::ReadError::None)
                    return;
                const QVector<double>& times = loaded.read.content.times;
                loaded.times = ScopeSeries(times, false);
                for (const scopefile::Curve& c : loaded.read.content.curves)
                    loaded.values.append(ScopeSeries(c.y, true));
                // Sorted means ascending and finite; NaN fails the comparison.
                int sorted = times.isEmpty() || !std::isfinite(times[0]) ? 0 : 1;
                while (sorted < times.size() && times[sorted] >= times[sorted - 1] && std::isfinite(times[sorted]))
                    ++sorted;
                loaded.sortedTimes = sorted;
                evaluateImportedDerived(loaded, derived);
            },
            fileProgressCreated);
        if (!finished || loaded.read.error == scopefile::ReadError::Cancelled)
            return;
        const scopefile::ReadResult& read = loaded.read;
        switch (read.error) {
        case scopefile::ReadError::None: {
            clearScopeData();
            applyImported(loaded);
            // The whole file stays in view, also a recording longer than a
            // typed period can be (the validator applies to typing only);
            // the bound only keeps the number an int.
            const double span = std::clamp(m_plot->timeSpan() + 1.0, 0.0,
                                           double(std::numeric_limits<int>::max()));
            m_editPeriod->setText(QString::number(int(span)));
            // Also when the text did not change: the plot shows the file whole.
            m_plot->resetZoom();
            // The selections the file stands for; the dialog clears its
            // check marks whatever it is given.
            for (const scopefile::Curve& c : read.content.curves) {
                if (c.link >= 0 && c.link < int(LINK_NONE) && c.subIndex >= 0 && c.subIndex < 6) {
                    links[static_cast<emLINK>(c.link)] = linkIndexBase(c.link).value_or(0);
                    components[static_cast<emAXIS>(int(AXIS_J1) + c.subIndex)] = int(AXIS_J1) + c.subIndex;
                }
            }
            break;
        }
        case scopefile::ReadError::NotText:
            warn(tr("ERROR:Unsupported file formats !"));
            break;
        case scopefile::ReadError::LineTooLong:
            warn(tr("ERROR:Line %1 is longer than 1 MiB, the file was not loaded !").arg(read.line));
            break;
        case scopefile::ReadError::TooManyRows:
            warn(tr("ERROR:The file holds more than %1 rows, it was not loaded !").arg(scopefile::kMaxRows));
            break;
        case scopefile::ReadError::ReadFailed:
            warn(tr("ERROR:Cannot read file %1 !").arg(QDir::toNativeSeparators(fileName)));
            break;
        case scopefile::ReadError::Cancelled:
            break;
        }
    } else {
        warn(tr("ERROR:Unsupported file formats !"));
    }
    file.close();
    m_setting->setCheckedKeys(components, links, endEffectors);
    m_plot->replot();
}

// ---- measuring ----------------------------------------------------------------

void VXPlugin_Scope::buildMeasure()
{
    // The readout stands right of the plot; it shows while the cursors are
    // on or the user asked for the statistics alone.
    // A splitter between them lets the user widen the readout's tables.
    m_qwtLayout->removeWidget(m_plot);
    auto* split = new QSplitter(Qt::Horizontal, m_qwtFrame);
    split->setObjectName(QStringLiteral("ScopePlugin_measureSplit"));
    split->setChildrenCollapsible(false);
    split->addWidget(m_plot);
    m_readout = new ScopeReadoutPanel(m_plot, m_plot->cursors(), split);
    split->addWidget(m_readout);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    m_readout->hide();
    m_qwtLayout->addWidget(split);

    // The measuring tools sit in a bar of their own above the plot, right
    // aligned: the button row below keeps the page's 1024-pixel width.
    QWidget* owner = m_qwtFrame;
    // The tool tip names the compact derived-channel button.
    m_btnDerived = new QPushButton(tr("f(x)"), owner);
    m_btnDerived->setObjectName(QStringLiteral("ScopePlugin_btn_Derived"));
    m_btnDerived->setToolTip(tr("Derived Channels"));
    m_btnCursors = makeButton(owner, "ScopePlugin_btn_Cursors", tr("A/B Cursors"), QSize(0, 0));
    m_btnCursors->setCheckable(true);
    m_btnCursors->setToolTip(tr("A/B cursors and statistics (Ctrl+K). On the plot: Shift+click or Shift+drag moves "
                                "the nearer cursor, A or B chooses one, Left/Right steps it one sample. "
                                "Ctrl+C copies the readout."));
    m_btnStatistics = makeButton(owner, "ScopePlugin_btn_Statistics", tr("Statistics"), QSize(0, 0));
    m_btnStatistics->setCheckable(true);
    m_btnStatistics->setToolTip(tr("Statistics of the visible curves over the visible range (between A and B "
                                   "while the cursors are on)"));
    m_btnSpectrum = makeButton(owner, "ScopePlugin_btn_Spectrum", tr("Spectrum…"), QSize(0, 0));
    m_btnSpectrum->setToolTip(tr("Amplitude spectrum of one curve between A and B (the visible range while the "
                                 "cursors are off)"));
    auto* bar = new QHBoxLayout;
    bar->setObjectName(QStringLiteral("ScopePlugin_measureBar"));
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addStretch(1);
    for (QPushButton* button : {m_btnDerived, m_btnCursors, m_btnStatistics, m_btnSpectrum})
        bar->addWidget(button);
    m_qwtLayout->insertLayout(0, bar);
    connect(m_btnCursors, &QPushButton::toggled, this, &VXPlugin_Scope::setCursorsOn);
    connect(m_btnStatistics, &QPushButton::toggled, this, [this](bool) { showReadout(); });
    connect(m_btnSpectrum, &QPushButton::clicked, this, &VXPlugin_Scope::openSpectrum);

    auto* toggle = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_K), this);
    toggle->setContext(Qt::WidgetWithChildrenShortcut);
    connect(toggle, &QShortcut::activated, m_btnCursors, &QPushButton::toggle);
    // Text fields keep their own Ctrl+C: they take it before a shortcut.
    auto* copy = new QShortcut(QKeySequence::Copy, this);
    copy->setContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QShortcut::activated, this, [this] {
        if (m_readout->isVisible())
            m_readout->copyToClipboard();
    });
    // A zoom changes the visible range the statistics cover.
    connect(m_plot->axisWidget(QwtPlot::xBottom), &QwtScaleWidget::scaleDivChanged, m_readout,
            &ScopeReadoutPanel::plotChanged);
}

void VXPlugin_Scope::setCursorsOn(bool on)
{
    if (m_btnCursors->isChecked() != on)
        m_btnCursors->setChecked(on); // comes back here through toggled
    m_plot->cursors()->setOn(on);
    showReadout();
}

void VXPlugin_Scope::showReadout()
{
    m_readout->setVisible(m_btnCursors->isChecked() || m_btnStatistics->isChecked());
    m_readout->plotChanged();
}

void VXPlugin_Scope::openSpectrum()
{
    if (!m_spectrum)
        m_spectrum = new ScopeSpectrumWindow(m_plot, m_plot->cursors(), this);
    m_spectrum->refreshCurves();
    m_spectrum->update();
    m_spectrum->show();
    m_spectrum->raise();
    m_spectrum->activateWindow();
}

void VXPlugin_Scope::measureChanged()
{
    if (m_readout)
        m_readout->plotChanged();
}

// ---- derived channels and kept choices ---------------------------------------

void VXPlugin_Scope::applyDerived(const ScopeChannelList& list)
{
    // Called with the new selection in place; the collector evaluates the
    // set from the next row on. Channels whose expression names a channel
    // no longer chosen are left out, and the user is told.
    const QVector<scopederived::Source> sources = derivedSources(list);
    QVector<scopederived::Definition> usable;
    QStringList leftOut;
    for (const scopederived::Definition& d : m_derived) {
        scopederived::Problem problem;
        if (usable.size() < ScopeSampleStore::kDerivedSlots
            && scopederived::ScopeDerivedSet::check(d, sources, catalogueTitles(), &problem))
            usable.append(d);
        else
            leftOut << tr("%1 (%2)").arg(d.name, problem.reason);
    }
    std::unique_ptr<scopederived::ScopeDerivedSet> set =
        scopederived::ScopeDerivedSet::compile(usable, sources, catalogueTitles(), nullptr, nullptr);
    m_derivedSlots.clear();
    if (set) {
        for (int i = 0; i < set->count(); ++i) {
            const int slot = ScopeSampleStore::kRowValues + i;
            _ST_ScopeAxisInfo info;
            info.nSubIndex = 0;
            info.nCurve = slot;
            info.strUnit = usable[i].unit;
            m_plot->setCurveInfo(slot, usable[i].name, info);
            m_derivedSlots.insert(slot, usable[i].expression);
        }
    }
    {
        VX_LockGurad guard(&m_dataLock);
        m_store.setDerived(std::move(set));
    }
    if (!leftOut.isEmpty())
        warn(tr("Derived channels left out: %1").arg(leftOut.join(QStringLiteral("; "))));
}

// On the reading thread: the definitions the file does not hold already,
// computed where the file has their channels.
static void evaluateImportedDerived(ScopeImportedFile& file, const QVector<scopederived::Definition>& definitions)
{
    const scopefile::Content& content = file.read.content;
    QVector<scopederived::Source> sources;
    QVector<QVector<double>> columns;
    QStringList titles;
    for (int i = 0; i < content.curves.size(); ++i) {
        const scopefile::Curve& c = content.curves[i];
        columns.append(c.y);
        titles << c.title.trimmed();
        if (!c.derived)
            sources.append(scopederived::Source{c.title.trimmed(), i});
    }
    QVector<scopederived::Definition> wanted;
    for (const scopederived::Definition& d : definitions) {
        if (!titles.contains(d.name.trimmed()))
            wanted.append(d);
    }
    if (wanted.isEmpty() || content.times.isEmpty())
        return;
    file.derivedValues =
        scopederived::evaluateTable(wanted, sources, content.times, columns, &file.derived, nullptr);
}

void VXPlugin_Scope::applyDerivedToImport(const ScopeImportedFile& file)
{
    const scopefile::Content& content = file.read.content;
    for (int j = 0; j < file.derivedValues.size(); ++j) {
        const int slot = content.curves.size() + j;
        if (slot >= ScopeSampleStore::kSlots)
            break;
        _ST_ScopeAxisInfo info;
        info.nSubIndex = 0;
        info.nCurve = slot;
        info.strUnit = file.derived[j].unit;
        m_plot->setCurveInfo(slot, file.derived[j].name, info);
        m_derivedSlots.insert(slot, file.derived[j].expression);
        double minY = 0.0;
        double maxY = 0.0;
        m_plot->setCurveSamples(slot, content.times, file.derivedValues[j], minY, maxY);
    }
}

void VXPlugin_Scope::setDerivedChannels(const QVector<scopederived::Definition>& definitions)
{
    m_derived = definitions.mid(0, scopederived::kMaxChannels);
    saveSettings();
}

void VXPlugin_Scope::editDerivedChannels()
{
    const ScopeChannelList list = buildChannelList(
        m_setting->componentSelection(), m_setting->linkSelection(), m_setting->endEffectorSelection());
    ScopeDerivedDialog dialog(m_derived, derivedSources(list), catalogueTitles(), this);
    if (!runDerivedDialog || !runDerivedDialog(dialog))
        return;
    setDerivedChannels(dialog.definitions());
    // While recording, the new channels start with the next rows.
    if (m_running.load() && list.accepted())
        applyDerived(list);
}

void VXPlugin_Scope::setSettingsPath(const QString& iniPath)
{
    m_iniPath = iniPath;
    m_setting->setSettingsPath(iniPath);
    if (m_iniPath.isEmpty())
        return;
    QSettings ini(m_iniPath, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Scope"));
    if (ini.contains(QStringLiteral("Period")))
        m_editPeriod->setText(QString::number(std::clamp(ini.value(QStringLiteral("Period")).toInt(), 0, 999999)));
    if (ini.contains(QStringLiteral("Selection")))
        m_setting->applySelection(
            scopechannelsets::fromLines(ini.value(QStringLiteral("Selection")).toStringList(), nullptr));
    auto setIndex = [&ini](QComboBox* box, const char* key) {
        const int i = ini.value(QLatin1String(key), box->currentIndex()).toInt();
        if (i >= 0 && i < box->count())
            box->setCurrentIndex(i);
    };
    setIndex(m_cmbTriggerCondition, "TriggerCondition");
    setIndex(m_cmbTriggerFS, "TriggerGrabMode");
    m_editThreshold->setText(ini.value(QStringLiteral("TriggerThreshold"), m_editThreshold->text()).toString());
    m_editDelay->setText(ini.value(QStringLiteral("TriggerDelay"), m_editDelay->text()).toString());
    m_cbAbsolute->setChecked(ini.value(QStringLiteral("TriggerAbsolute"), m_cbAbsolute->isChecked()).toBool());
    m_rbTrigger->setChecked(ini.value(QStringLiteral("TriggerArmed"), m_rbTrigger->isChecked()).toBool());
    // The trigger box is filled by the first Start; the channel is chosen then.
    m_pendingTriggerChannel = ini.value(QStringLiteral("TriggerChannel")).toString();
    ini.endGroup();

    m_derived.clear();
    const int n = ini.beginReadArray(QStringLiteral("ScopeDerived"));
    for (int i = 0; i < n && i < scopederived::kMaxChannels; ++i) {
        ini.setArrayIndex(i);
        m_derived.append(scopederived::Definition{ini.value(QStringLiteral("name")).toString(),
                                                  ini.value(QStringLiteral("unit")).toString(),
                                                  ini.value(QStringLiteral("expression")).toString()});
    }
    ini.endArray();
    publishTriggerSetting();
}

void VXPlugin_Scope::saveSettings() const
{
    if (m_iniPath.isEmpty())
        return;
    QSettings ini(m_iniPath, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Scope"));
    ini.setValue(QStringLiteral("Period"), m_period);
    ini.setValue(QStringLiteral("Selection"), scopechannelsets::toLines(m_setting->selection()));
    ini.setValue(QStringLiteral("TriggerArmed"), m_rbTrigger->isChecked());
    ini.setValue(QStringLiteral("TriggerChannel"),
                 m_cmbTriggerSel->count() > 0 ? m_cmbTriggerSel->currentText() : m_pendingTriggerChannel);
    ini.setValue(QStringLiteral("TriggerCondition"), m_cmbTriggerCondition->currentIndex());
    ini.setValue(QStringLiteral("TriggerGrabMode"), m_cmbTriggerFS->currentIndex());
    ini.setValue(QStringLiteral("TriggerThreshold"), m_editThreshold->text());
    ini.setValue(QStringLiteral("TriggerDelay"), m_editDelay->text());
    ini.setValue(QStringLiteral("TriggerAbsolute"), m_cbAbsolute->isChecked());
    ini.endGroup();
    ini.remove(QStringLiteral("ScopeDerived"));
    ini.beginWriteArray(QStringLiteral("ScopeDerived"), m_derived.size());
    for (int i = 0; i < m_derived.size(); ++i) {
        ini.setArrayIndex(i);
        ini.setValue(QStringLiteral("name"), m_derived[i].name);
        ini.setValue(QStringLiteral("unit"), m_derived[i].unit);
        ini.setValue(QStringLiteral("expression"), m_derived[i].expression);
    }
    ini.endArray();
    ini.sync();
}
