#include "scopetrigger.h"

#include "VX_Prod.h"

#include <cmath>

bool triggerFires(const ScopeTriggerSetting& setting, const std::vector<_ST_ReadScopeData>& rows)
{
    constexpr int kColumns = int(sizeof(_ST_ReadScopeData::values) / sizeof(double));
    if (rows.empty() || setting.channel < 0 || setting.channel >= kColumns)
        return false;

    auto valueOf = [&setting](const _ST_ReadScopeData& row) {
        const double v = row.values[setting.channel];
        return setting.absoluteValue ? std::fabs(v) : v;
    };
    // A value that is not a number compares false either way; it must not
    // become the batch's extreme and hide the rows after it.
    bool any = false;
    double maximum = 0.0;
    double minimum = 0.0;
    for (const _ST_ReadScopeData& row : rows) {
        const double v = valueOf(row);
        if (std::isnan(v))
            continue;
        if (!any) {
            maximum = minimum = v;
            any = true;
        }
        if (v > maximum)
            maximum = v;
        if (v < minimum)
            minimum = v;
    }
    if (!any)
        return false;
    switch (setting.condition) {
    case TriggerCondition::Above:
        return maximum > setting.threshold;
    case TriggerCondition::Below:
        return minimum < setting.threshold;
    }
    return false;
}

void ScopeTriggerState::start(bool armed, GrabMode mode)
{
    if (!armed)
        m_grab.store(true);
    else if (mode == GrabMode::Open)
        m_grab.store(false);
    else if (mode == GrabMode::End)
        m_grab.store(true);
    m_armed.store(armed);
}

void ScopeTriggerState::stop()
{
    m_errorSightings = 0;
    m_grab.store(true);
    fire(GrabMode::Open);
}

ScopeTriggerState::Fired ScopeTriggerState::check(const ScopeTriggerSetting& setting,
                                                  const std::vector<_ST_ReadScopeData>& rows)
{
    if (!m_armed.load() || rows.empty() || !triggerFires(setting, rows))
        return Fired::No;
    return fire(setting.grabMode);
}

ScopeTriggerState::Fired ScopeTriggerState::fire(GrabMode mode)
{
    m_armed.store(false);
    switch (mode) {
    case GrabMode::Open:
        m_grab.store(true);
        return Fired::Opened;
    case GrabMode::End:
        m_grab.store(false);
        return Fired::Ended;
    }
    return Fired::No;
}

bool ScopeTriggerState::robotErrorSighted()
{
    if (++m_errorSightings <= 1)
        return false;
    m_errorSightings = 0;
    return true;
}
