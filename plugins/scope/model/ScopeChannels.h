// The scope's channel catalogue: which controller quantities exist, their
// on-screen names, unit labels and the scope index numbers the controller
// knows them by. The numeric values of the three enumerations travel to the
// controller inside index numbers and into exported files, so they are fixed.
#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

// Component list: system values, the Cartesian and joint selectors and the
// two TCP velocities.
enum emAXIS : int
{
    AXIS_NULL = 0,
    AXIS_CurFSM = 1,
    AXIS_LastFSM = 2,
    AXIS_CurMS = 3,
    AXIS_RTCycle = 4,
    AXIS_RTMaxCycle = 5,
    AXIS_RTMinCycle = 6,
    AXIS_RTTaskMS = 7,
    AXIS_RTTaskMaxMS = 8,
    AXIS_RTTaskMinMS = 9,
    AXIS_SendFrameCNT = 10,
    AXIS_SendFrameFrq = 11,
    AXIS_SendFrameMS = 12,
    AXIS_LoseFrameCNT = 13,
    AXIS_TxFrameCNT = 14,
    AXIS_RxFrameCNT = 15,
    AXIS_Momentum = 16,
    AXIS_PhysicsPower = 17,
    AXIS_ElectricPower = 18,
    AXIS_X = 19,
    AXIS_Y = 20,
    AXIS_Z = 21,
    AXIS_RX = 22,
    AXIS_RY = 23,
    AXIS_RZ = 24,
    AXIS_J1 = 25,
    AXIS_J2 = 26,
    AXIS_J3 = 27,
    AXIS_J4 = 28,
    AXIS_J5 = 29,
    AXIS_J6 = 30,
    AXIS_TCPCmdVel = 31,
    AXIS_TCPActVel = 32,
};

// Link data, measured per joint. LINK_NONE marks a record that is not a
// link-data channel.
enum emLINK : int
{
    LINK_MotorPosition = 0,
    LINK_TargetACS = 1,
    LINK_ActualACS = 2,
    LINK_ActualFilACS = 3,
    LINK_TarPosPDO = 4,
    LINK_ActPosPDO = 5,
    LINK_MotorVelocity = 6,
    LINK_TargetJointVel = 7,
    LINK_ActualJointVel = 8,
    LINK_JointFilVel = 9,
    LINK_JointFilAcc = 10,
    LINK_MotorCurrent = 11,
    LINK_TargetCur = 12,
    LINK_ActualCur = 13,
    LINK_FilCur = 14,
    LINK_FilSensedTor = 15,
    LINK_FilEstimateTor = 16,
    LINK_FilDisturbanceTor = 17,
    LINK_MotorStatus = 18,
    LINK_StatusWord = 19,
    LINK_ControlWord = 20,
    LINK_ActualModeOperate = 21,
    LINK_TargetModeOperate = 22,
    LINK_NONE = 23,
};

// End-effector data, measured per Cartesian component. ENDEFF_NONE marks a
// record that is not an end-effector channel.
enum emENDEFF : int
{
    ENDEFF_MotorPCS = 0,
    ENDEFF_TargetPCS = 1,
    ENDEFF_ActualPCS = 2,
    ENDEFF_MotorVel = 3,
    ENDEFF_TargetVel = 4,
    ENDEFF_ActualVel = 5,
    ENDEFF_ForceSensor = 6,
    ENDEFF_SrcData = 7,
    ENDEFF_CaliData = 8,
    ENDEFF_NONE = 9,
};

// The channel assigned to one curve slot of the plot.
struct _ST_ScopeAxisInfo
{
    int nIndex = 0;         // controller scope index number; 0 = none
    int nSubIndex = -1;     // joint / Cartesian component / emAXIS key; -1 = slot unused
    int nCurve = 0;         // curve slot, also the column in every data row
    emLINK eLink = LINK_NONE;
    emENDEFF eEndEff = ENDEFF_NONE;
    QString strUnit;

    bool inUse() const { return nSubIndex > -1; }
};

bool operator==(const _ST_ScopeAxisInfo& a, const _ST_ScopeAxisInfo& b);
inline bool operator!=(const _ST_ScopeAxisInfo& a, const _ST_ScopeAxisInfo& b) { return !(a == b); }

// The controller streams at most this many channels at a time.
constexpr int kMaxScopeChannels = 36;
// Highest scope index number that carries samples.
constexpr int kMaxScopeIndex = 182;

// Whether the controller delivers samples for this record's slot: real
// channels only (the "NULL" entry has index 0).
inline bool receivesSamples(const _ST_ScopeAxisInfo& info)
{
    return info.nIndex >= 1 && info.nIndex <= kMaxScopeIndex;
}

// The catalogue tables. Each is built once on first use and never changes;
// names keep their leading blank, which marks a channel under a heading.
const std::map<emAXIS, QString>& ComponentNames();
const std::map<emAXIS, QString>& ComponentUnits();      // keys 1..18 only
const std::map<emLINK, QString>& LinkNames();
const std::map<emLINK, QString>& LinkUnits();
const std::map<emLINK, int>& LinkIndexBase();           // headings have base 0
const std::map<emENDEFF, QString>& EndEffectorNames();
const std::map<emENDEFF, QString>& EndEffectorUnits();
const std::map<emENDEFF, int>& EndEffectorIndexBase();  // headings have base 0

// Trigger vocabulary: ">" then "<"; "Trigger open grab" then "Trigger end grab".
const QStringList& TriggerConditions();
const QStringList& TriggerGrabModes();

// A heading of the tables or a grab mode as the user reads it, in the
// current language. The tables keep their own texts: only the screen shows
// the translation (a grab mode is chosen by its position, never its text).
QString channelTextOnScreen(const QString& text);

// Lookups: a missing key gives the empty text, or no base index.
QString componentName(int key);
QString componentUnit(int key);
QString linkName(int key);
QString linkUnit(int key);
std::optional<int> linkIndexBase(int key);
QString endEffectorName(int key);
QString endEffectorUnit(int key);
std::optional<int> endEffectorIndexBase(int key);

// The keys of the three name tables in ascending order.
std::vector<int> componentKeys();
std::vector<int> linkKeys();
std::vector<int> endEffectorKeys();

// One channel produced from a selection: the curve title and its record.
struct ScopeChannel
{
    QString title;
    _ST_ScopeAxisInfo info;
};

struct ScopeChannelList
{
    std::vector<ScopeChannel> channels;  // in slot order: channels[k].info.nCurve == k
    std::vector<int> indexes;            // nIndex of every channel, same order

    int count() const { return static_cast<int>(channels.size()); }
    // More channels than the controller streams: the selection is refused.
    bool accepted() const { return count() <= kMaxScopeChannels; }
};

// Turns the selection dialog's three selections into channels: link-data
// channels (per checked joint), then end-effector channels (per checked
// Cartesian component), then component channels 0..18, then the TCP
// velocities. The list is produced whole even when it is too long; callers
// check accepted().
ScopeChannelList buildChannelList(const std::map<emAXIS, int>& components,
                                  const std::map<emLINK, int>& links,
                                  const std::map<emENDEFF, int>& endEffectors);
