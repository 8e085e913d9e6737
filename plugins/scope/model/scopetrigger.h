// The scope's one-shot trigger: the settings the user chose on the page and
// the check that decides whether a batch of controller rows fires it.
#pragma once

#include <vector>

struct _ST_ReadScopeData;

// The trigger controls as the GUI thread last saw them. The collector thread
// works on a copy taken once per read cycle and never reads the widgets.
struct ScopeTriggerSetting
{
    int channel = -1;       // position in the trigger channel box: the value column; -1 = none
    int channelData = -1;   // item data of that entry (the curve slot)
    int condition = 0;      // 0: fires above the threshold, 1: below
    int grabMode = 0;       // 0: recording starts when it fires, 1: recording ends
    double threshold = 0.0;
    double delay = 0.0;     // read with the rest; nothing depends on it
    bool absoluteValue = false;
};

// Whether the batch fires the trigger: the chosen column's maximum (">")
// lies above, or its minimum ("<") below the threshold; equality never
// fires. A channel position outside 0..35 addresses no value and never
// fires, nor does an empty batch or an unknown condition.
bool triggerFires(const ScopeTriggerSetting& setting, const std::vector<_ST_ReadScopeData>& rows);
