// Helpers for the scope page suites: a scripted stand-in for the link
// library, channel selection through the dialog's own trees, and bounded
// waits on the event loop.
#pragma once

#include "QtWait.h"
#include "VXPlugin_Scope.h"
#include "qscopesetting.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>
#include <QTreeView>

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace scopetest {

// The link library as the page sees it, scripted by the test. Safe to use
// from the collector thread and the test thread at once.
class FakeLink
{
public:
    ScopeLinkCalls calls()
    {
        ScopeLinkCalls c;
        c.setScopeIndexs = [this](std::vector<int>& indexes) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_sent.push_back(indexes);
            return 0;
        };
        c.readScopeData = [this](double* cpu, uint32_t* mem, std::vector<_ST_ReadScopeData>* rows) {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_reads;
            *cpu = m_cpu;
            *mem = m_memory;
            if (!m_batches.empty()) {
                rows->insert(rows->end(), m_batches.front().begin(), m_batches.front().end());
                m_batches.pop_front();
            } else if (m_generate) {
                for (int i = 0; i < 51; ++i)
                    rows->push_back(m_generate(m_nextTime++));
            }
            return 0;
        };
        c.readRobotFlags = [this](int* f1, int* f2, int* f3, int* f4, int* f5, int* f6, int* f7, int* f8) {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_flagReads;
            int third = m_errorDefault;
            if (!m_errorFlags.empty()) {
                third = m_errorFlags.front();
                m_errorFlags.pop_front();
            }
            *f1 = *f2 = *f4 = *f5 = *f6 = *f7 = *f8 = 0;
            *f3 = third;
            return 0;
        };
        return c;
    }

    void queueBatch(std::vector<_ST_ReadScopeData> rows)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_batches.push_back(std::move(rows));
    }
    // Rows made on demand, 51 per read (1 kHz over one 51 ms pass).
    void generate(std::function<_ST_ReadScopeData(double time)> f)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_generate = std::move(f);
    }
    void setLoad(double cpu, uint32_t memory)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cpu = cpu;
        m_memory = memory;
    }
    void queueErrorFlags(std::vector<int> thirdFlags, int afterwards = 0)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_errorFlags.assign(thirdFlags.begin(), thirdFlags.end());
        m_errorDefault = afterwards;
    }
    std::vector<std::vector<int>> sent()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sent;
    }
    int reads()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reads;
    }
    int flagReads()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_flagReads;
    }

private:
    std::mutex m_mutex;
    std::vector<std::vector<int>> m_sent;
    std::deque<std::vector<_ST_ReadScopeData>> m_batches;
    std::function<_ST_ReadScopeData(double)> m_generate;
    double m_nextTime = 0.0;
    double m_cpu = 0.0;
    uint32_t m_memory = 0;
    int m_reads = 0;
    int m_flagReads = 0;
    std::deque<int> m_errorFlags;
    int m_errorDefault = 0;
};

// One row at time t whose value k is base + k, except the given overrides.
inline _ST_ReadScopeData row(double t, double base = 0.0)
{
    _ST_ReadScopeData r{};
    r.time = t;
    for (int k = 0; k < 36; ++k)
        r.values[k] = base + k;
    return r;
}

// Rows at t0, t0+1, ... whose column `column` takes the given values.
inline std::vector<_ST_ReadScopeData> rowsWith(double t0, int column, std::vector<double> values)
{
    std::vector<_ST_ReadScopeData> rows;
    for (double v : values) {
        _ST_ReadScopeData r = row(t0++);
        r.values[column] = v;
        rows.push_back(r);
    }
    return rows;
}

// Checks or unchecks the tree entry whose text (without the leading blank)
// is `text` in the dialog tree named `treeName`.
inline bool setChecked(QScopeSetting* dialog, const char* treeName, const QString& text, bool on = true)
{
    auto* view = dialog->findChild<QTreeView*>(QLatin1String(treeName));
    if (!view || !view->model())
        return false;
    QAbstractItemModel* model = view->model();
    std::function<bool(const QModelIndex&)> visit = [&](const QModelIndex& parent) {
        for (int r = 0; r < model->rowCount(parent); ++r) {
            const QModelIndex idx = model->index(r, 0, parent);
            if (model->data(idx).toString().trimmed() == text) {
                model->setData(idx, on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
                return true;
            }
            if (visit(idx))
                return true;
        }
        return false;
    };
    return visit(QModelIndex());
}

inline bool checkJoint(QScopeSetting* d, int joint)
{
    return setChecked(d, "KDLX_Scope_tree_SetComponent", QStringLiteral("J%1").arg(joint));
}
inline bool checkComponent(QScopeSetting* d, const QString& name)
{
    return setChecked(d, "KDLX_Scope_tree_SetComponent", name);
}
inline bool checkLink(QScopeSetting* d, const QString& name)
{
    return setChecked(d, "KDLX_Scope_tree_SetLink", name);
}

// Presses the dialog's OK, which applies the selection to the page.
inline void confirm(QScopeSetting* d)
{
    if (auto* ok = d->findChild<QPushButton*>(QStringLiteral("KDLX_Scope_btn_SetOK")))
        ok->click();
}

// Six joints on six quantities (36 channels), confirmed; false when an item
// is missing.
inline bool chooseThirtySixChannels(QScopeSetting* d)
{
    bool all = true;
    for (int j = 1; j <= 6; ++j)
        all = checkJoint(d, j) && all;
    for (const char* l : {"Target ACS", "Actual ACS", "Actual FilACS", "Target Cur", "Actual Cur", "FilCur"})
        all = checkLink(d, QString::fromUtf8(l)) && all;
    confirm(d);
    return all;
}

using vxtest::waitFor;

} // namespace scopetest
