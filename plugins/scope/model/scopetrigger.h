// The scope's one-shot trigger and its stop on robot errors: the settings the
// user chose, the check that decides whether a batch of controller rows fires
// it, and the grab state machine that the page and the recorder both run.
#pragma once

#include <atomic>
#include <vector>

struct _ST_ReadScopeData;

// What fires the trigger; the values are the positions in the condition box
// (">" then "<").
enum class TriggerCondition : int { Above = 0, Below = 1 };

// What firing does to the recording; the values are the positions in the
// grab-mode box ("Trigger open grab" then "Trigger end grab").
enum class GrabMode : int { Open = 0, End = 1 };

// The trigger controls as the GUI thread last saw them. The collector thread
// works on a copy taken once per read cycle and never reads the widgets.
struct ScopeTriggerSetting
{
    int channel = -1;       // position in the trigger channel box: the value column; -1 = none
    int channelData = -1;   // item data of that entry (the curve slot)
    TriggerCondition condition = TriggerCondition::Above;
    GrabMode grabMode = GrabMode::Open;
    double threshold = 0.0;
    double delay = 0.0;     // read with the rest; nothing depends on it
    bool absoluteValue = false;
};

// Whether the batch fires the trigger: the chosen column's maximum (">")
// lies above, or its minimum ("<") below the threshold; equality never
// fires. A channel position outside 0..35 addresses no value and never
// fires, nor does an empty batch or an unknown condition.
bool triggerFires(const ScopeTriggerSetting& setting, const std::vector<_ST_ReadScopeData>& rows);

// Whether rows are recorded (grab), whether the trigger still waits (armed),
// and how many robot errors were seen since the last stop. Start arms; the
// trigger fires once and is armed again only by the next start; stop
// disarms and grabs.
//
// The page's collector thread checks batches while the GUI thread starts and
// stops: armed and grab are atomic, and a firing that races with a stop
// leaves what the next start sets. The error sightings belong to the one
// thread that reads the robot's flags.
class ScopeTriggerState
{
public:
    enum class Fired { No, Opened, Ended };

    // A recording starts: armed, an open grab waits for the trigger before it
    // records, an end grab records until it fires (another mode leaves the
    // grab as it was); not armed, it records.
    void start(bool armed, GrabMode mode);
    // A recording stops: disarmed, grabbing, no error seen.
    void stop();

    // Checks a batch before any of its rows is recorded; fires when armed
    // and the batch holds what the setting waits for.
    Fired check(const ScopeTriggerSetting& setting, const std::vector<_ST_ReadScopeData>& rows);
    // Disarms; an open grab starts recording (the whole current batch), an
    // end grab stops it (nothing of the current batch). Other modes only
    // disarm.
    Fired fire(GrabMode mode);

    bool armed() const { return m_armed.load(); }
    bool grabbing() const { return m_grab.load(); }

    // The robot reported an error. The second sighting since the last stop
    // answers true (and counts from 0 again): the recording stops then.
    bool robotErrorSighted();
    int errorSightings() const { return m_errorSightings; }

private:
    std::atomic<bool> m_armed{false};
    std::atomic<bool> m_grab{true};
    int m_errorSightings = 0;
};
