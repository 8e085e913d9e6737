// The oscilloscope page: channel choice, start and stop of the sampling, the
// one-shot trigger, the stop on robot error, the status line, and export and
// import of the plotted data.
//
// Two threads meet here. The GUI thread owns every widget; the collector
// thread (DataCollector) runs readScopeOnce, which touches only the sample
// store (data lock), the read-cycle figures (statistics lock), the load
// figures (load lock), the trigger snapshot (trigger lock) and the atomic
// flags. No two locks are ever held together. An import or export reads or
// writes its file on a thread of its own while the GUI thread serves events
// behind a progress dialog; that thread touches only the file and data
// handed to it, and the page changes only after it has ended.
#pragma once

#include "VX_Lock.h"
#include "ScopeChannels.h"
#include "VX_Prod.h"
#include "datacollector.h"
#include "scopederived.h"
#include "scopefile.h"
#include "scopegaps.h"
#include "scopesamplestore.h"
#include "scopetrigger.h"

#include <QHash>
#include <QMessageBox>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressDialog;
class QPushButton;
class QRadioButton;
class QVBoxLayout;
class QScopeSetting;
class QwtScope;
class ScopeDerivedDialog;
class ScopeReadoutPanel;
class ScopeSpectrumWindow;
struct ScopeImportedFile;

// The link library calls the page makes. The defaults are the VX_Prod
// exports; tests put fakes in their place.
struct ScopeLinkCalls
{
    std::function<int(std::vector<int>&)> setScopeIndexs;
    std::function<int(double*, uint32_t*, std::vector<_ST_ReadScopeData>*)> readScopeData;
    std::function<int(int*, int*, int*, int*, int*, int*, int*, int*)> readRobotFlags;

    static ScopeLinkCalls library();
};

class VXPlugin_Scope : public QWidget, public ScopeCycleSource
{
    Q_OBJECT

public:
    explicit VXPlugin_Scope(QWidget* parent = nullptr);
    ~VXPlugin_Scope() override;

    // ---- collector thread ------------------------------------------------
    // One read cycle: fetch the rows buffered by the controller, let the
    // trigger look at them, record them while grabbing.
    void readScopeOnce() override;
    void measureReadCycle();
    // Counts the rows missing at the controller's cycle in this fetch.
    void countGaps(int generation, const std::vector<_ST_ReadScopeData>& rows);
    void appendRow(const _ST_ReadScopeData& row);

    // ---- seams for tests (set before the first Start) ---------------------
    void setLinkCalls(const ScopeLinkCalls& calls) { m_link = calls; }
    // When off, Start does not start the collector thread and the caller
    // drives readScopeOnce itself.
    void setCollectorEnabled(bool on) { m_collectorEnabled = on; }
    // The file dialogs and message boxes are modal; tests replace them.
    std::function<QString(QWidget*, const QString& caption, const QString& dir, const QString& filter)>
        saveFileDialog;
    std::function<QString(QWidget*, const QString& caption, const QString& dir, const QString& filter)>
        openFileDialog;
    std::function<void(QMessageBox::Icon, const QString& title, const QString& text)> messageBox;
    // Handed the progress dialog of an import or export as soon as it
    // exists, before the file is touched; tests cancel through it.
    std::function<void(QProgressDialog*)> fileProgressCreated;

    // ---- state, for tests and benchmarks ---------------------------------
    bool isRunning() const { return m_running.load(); }
    bool isGrabbing() const { return m_trigger.grabbing(); }
    bool isTriggerArmed() const { return m_trigger.armed(); }
    bool stopWhenError() const { return m_stopWhenError; }
    int errorCount() const { return m_trigger.errorSightings(); }
    int period() const { return m_period; }
    QwtScope* plot() const { return m_plot; }
    QScopeSetting* settingDialog() const { return m_setting; }
    DataCollector* collector() const { return m_collector.get(); }
    ScopeTriggerSetting triggerSnapshot() const;
    // Copies of the recorded samples, taken under the data lock.
    std::vector<double> sampleTimes() const;
    std::vector<double> samples(int slot) const;
    // Hands the recorded samples to the plot, fits the left axis and
    // redraws: what every sixth timer tick does.
    void feedPlot();

public slots:
    void setAxisInfo();
    void setScopeSetting();
    void onSamplingScopTextChanged(const QString& text);
    void hideItem(const QVariant& itemInfo, bool on);
    void OnScopeSetting();
    void OnStartScope();
    void OnStopScope();
    void OnResetView();
    void slotImportScopeFile();
    void slotExportScopeFile();
    void slot_Disconnected2ZPS();
    void slot_cb_StopWhenErrorClicked();
    void CheckTriggerStatus();

    // ---- measuring: A/B cursors, readout, spectrum ------------------------
public:
    ScopeReadoutPanel* readoutPanel() const { return m_readout; }
    // Created at the first "Spectrum…"; nullptr before.
    ScopeSpectrumWindow* spectrumWindow() const { return m_spectrum; }
    QPushButton* cursorsButton() const { return m_btnCursors; }
    QPushButton* statisticsButton() const { return m_btnStatistics; }
    void setCursorsOn(bool on);
    void openSpectrum();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void buildForm();
    void nextGeneration();
    void clearScopeData();
    void setBottomAxis(double min, double max, double step);
    void checkTrigger(const std::vector<_ST_ReadScopeData>& rows);
    void fireTrigger(GrabMode grabMode);
    ScopeTriggerSetting readTriggerSetting() const;
    void publishTriggerSetting();
    void checkRobotError();
    QVector<scopefile::Curve> plottedCurves() const;
    void applyImported(const ScopeImportedFile& file);
    void warn(const QString& text);

    // Read-cycle statistics (ms between cycles).
    mutable VX_Lock m_statLock;
    uint32_t m_cycleMax = 0;
    uint32_t m_cycleCur = 0;
    uint32_t m_cycleLastTick = 0;
    // Controller load, as last delivered, and the rows missing at the
    // controller's cycle since Start.
    mutable VX_Lock m_loadLock;
    double m_cpuLoad = 0.0;
    uint32_t m_memory = 0;
    std::int64_t m_missingRows = 0;
    std::int64_t m_gaps = 0;
    // The collector's own: restarted when it sees a new acquisition.
    ScopeGapCounter m_gapCounter;
    int m_gapGeneration = -1;

    int m_timerId = 0;
    int m_redrawCounter = 0;

    // The recorded samples and the window they are trimmed to.
    mutable VX_Lock m_dataLock;
    ScopeSampleStore m_store;

    std::atomic<bool> m_running{false};
    bool m_stopWhenError = false;
    bool m_refillTriggerBox = true;
    // Grab and trigger armed (atomic), robot error sightings (GUI thread).
    ScopeTriggerState m_trigger;
    // Bumped by every Start and Stop: a read cycle that began before one of
    // them drops its batch instead of mixing it into the next recording.
    std::atomic<int> m_generation{0};

    mutable VX_Lock m_triggerLock;
    ScopeTriggerSetting m_triggerSetting;

    ScopeLinkCalls m_link;
    bool m_collectorEnabled = true;

    std::unique_ptr<DataCollector> m_collector;
    int m_period = 10000;
    QwtScope* m_plot = nullptr;
    QScopeSetting* m_setting = nullptr;

    // The form.
    QVBoxLayout* m_qwtLayout = nullptr;
    QFrame* m_qwtFrame = nullptr;
    QLabel* m_lbCpu = nullptr;
    QLabel* m_lbMem = nullptr;
    QLabel* m_lbCycMax = nullptr;
    QLabel* m_lbCyc = nullptr;
    QLabel* m_lbMissing = nullptr;
    QPushButton* m_btnStart = nullptr;
    QPushButton* m_btnStop = nullptr;
    QPushButton* m_btnResetView = nullptr;
    QCheckBox* m_cbStopWhenError = nullptr;
    QPushButton* m_btnSetting = nullptr;
    QLineEdit* m_editPeriod = nullptr;
    QPushButton* m_btnImport = nullptr;
    QPushButton* m_btnExport = nullptr;
    QRadioButton* m_rbTrigger = nullptr;
    QComboBox* m_cmbTriggerSel = nullptr;
    QComboBox* m_cmbTriggerCondition = nullptr;
    QComboBox* m_cmbTriggerFS = nullptr;
    QLineEdit* m_editThreshold = nullptr;
    QCheckBox* m_cbAbsolute = nullptr;
    QLineEdit* m_editDelay = nullptr;

    // ---- derived channels and the user's choices kept in the INI file ------
public:
    QVector<scopederived::Definition> derivedChannels() const { return m_derived; }
    // Takes effect at the next Start or selection; kept in the INI file.
    void setDerivedChannels(const QVector<scopederived::Definition>& definitions);
    // Reads the page's choices (selection, period, trigger, derived channels,
    // saved channel sets) from the user's INI file, which keeps them from
    // now on. The page opens with the file the main window names.
    void setSettingsPath(const QString& iniPath);
    void saveSettings() const;
    // Runs the derived-channel dialog; tests replace it.
    std::function<bool(ScopeDerivedDialog&)> runDerivedDialog;
    // The derived channels' slots and expressions as now plotted.
    QHash<int, QString> derivedSlots() const { return m_derivedSlots; }
    // The "Derived Channels" button: edits them in the dialog (not a slot:
    // the page's slots are a fixed list).
    void editDerivedChannels();

private:
    void applyDerived(const ScopeChannelList& list);
    void applyDerivedToImport(const ScopeImportedFile& file);
    QPushButton* m_btnDerived = nullptr;
    QVector<scopederived::Definition> m_derived;
    QHash<int, QString> m_derivedSlots;
    QString m_iniPath;
    QString m_pendingTriggerChannel;

    void buildMeasure();
    void measureChanged();
    void showReadout();
    ScopeReadoutPanel* m_readout = nullptr;
    ScopeSpectrumWindow* m_spectrum = nullptr;
    QPushButton* m_btnCursors = nullptr;
    QPushButton* m_btnSpectrum = nullptr;
    QPushButton* m_btnStatistics = nullptr;
};
