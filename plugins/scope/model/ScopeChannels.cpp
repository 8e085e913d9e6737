#include "ScopeChannels.h"

#include <QCoreApplication>

bool operator==(const _ST_ScopeAxisInfo& a, const _ST_ScopeAxisInfo& b)
{
    return a.nIndex == b.nIndex && a.nSubIndex == b.nSubIndex && a.nCurve == b.nCurve &&
           a.eLink == b.eLink && a.eEndEff == b.eEndEff && a.strUnit == b.strUnit;
}

const std::map<emAXIS, QString>& ComponentNames()
{
    static const std::map<emAXIS, QString> table = {
        {AXIS_NULL, QStringLiteral("NULL")},
        {AXIS_CurFSM, QStringLiteral("CurFSM")},
        {AXIS_LastFSM, QStringLiteral("LastFSM")},
        {AXIS_CurMS, QStringLiteral("CurMS")},
        {AXIS_RTCycle, QStringLiteral("RTCycle")},
        {AXIS_RTMaxCycle, QStringLiteral("RTMaxCycle")},
        {AXIS_RTMinCycle, QStringLiteral("RTMinCycle")},
        {AXIS_RTTaskMS, QStringLiteral("RTTaskMS")},
        {AXIS_RTTaskMaxMS, QStringLiteral("RTTaskMaxMS")},
        {AXIS_RTTaskMinMS, QStringLiteral("RTTaskMinMS")},
        {AXIS_SendFrameCNT, QStringLiteral("SendFrameCNT")},
        {AXIS_SendFrameFrq, QStringLiteral("SendFrameFrq")},
        {AXIS_SendFrameMS, QStringLiteral("SendFrameMS")},
        {AXIS_LoseFrameCNT, QStringLiteral("LoseFrameCNT")},
        {AXIS_TxFrameCNT, QStringLiteral("TxFrameCNT")},
        {AXIS_RxFrameCNT, QStringLiteral("RxFrameCNT")},
        {AXIS_Momentum, QStringLiteral("Momentum")},
        {AXIS_PhysicsPower, QStringLiteral("PhysicsPower")},
        {AXIS_ElectricPower, QStringLiteral("ElectricPower")},
        {AXIS_X, QStringLiteral("X")},
        {AXIS_Y, QStringLiteral("Y")},
        {AXIS_Z, QStringLiteral("Z")},
        {AXIS_RX, QStringLiteral("RX")},
        {AXIS_RY, QStringLiteral("RY")},
        {AXIS_RZ, QStringLiteral("RZ")},
        {AXIS_J1, QStringLiteral("J1")},
        {AXIS_J2, QStringLiteral("J2")},
        {AXIS_J3, QStringLiteral("J3")},
        {AXIS_J4, QStringLiteral("J4")},
        {AXIS_J5, QStringLiteral("J5")},
        {AXIS_J6, QStringLiteral("J6")},
        {AXIS_TCPCmdVel, QStringLiteral("TCPCmdVel")},
        {AXIS_TCPActVel, QStringLiteral("TCPActVel")},
    };
    return table;
}

const std::map<emAXIS, QString>& ComponentUnits()
{
    static const std::map<emAXIS, QString> table = {
        {AXIS_CurFSM, QStringLiteral("FSM")},
        {AXIS_LastFSM, QStringLiteral("FSM")},
        {AXIS_CurMS, QStringLiteral("ms")},
        {AXIS_RTCycle, QStringLiteral("ms")},
        {AXIS_RTMaxCycle, QStringLiteral("ms")},
        {AXIS_RTMinCycle, QStringLiteral("ms")},
        {AXIS_RTTaskMS, QStringLiteral("ms")},
        {AXIS_RTTaskMaxMS, QStringLiteral("ms")},
        {AXIS_RTTaskMinMS, QStringLiteral("ms")},
        {AXIS_SendFrameCNT, QStringLiteral("CNT")},
        {AXIS_SendFrameFrq, QStringLiteral("CNT")},
        {AXIS_SendFrameMS, QStringLiteral("ms")},
        {AXIS_LoseFrameCNT, QStringLiteral("CNT")},
        {AXIS_TxFrameCNT, QStringLiteral("CNT")},
        {AXIS_RxFrameCNT, QStringLiteral("CNT")},
        {AXIS_Momentum, QStringLiteral("W(N*S)")},
        {AXIS_PhysicsPower, QStringLiteral("W(Tor*Vel)")},
        {AXIS_ElectricPower, QStringLiteral("W(Vol*Cur)")},
    };
    return table;
}

namespace {

struct LinkRow
{
    emLINK key;
    const char* name;
    const char* unit;
    int base;
};

// Value order and index order differ on purpose: the numbers are the
// controller's, not derived from the keys.
const LinkRow kLinkRows[] = {
    {LINK_MotorPosition, QT_TRANSLATE_NOOP("ScopeChannels", "Motor Position"), "Unit", 0},
    {LINK_TargetACS, " Target ACS", "ACS(deg)", 43},
    {LINK_ActualACS, " Actual ACS", "ACS(deg)", 49},
    {LINK_ActualFilACS, " Actual FilACS", "ACS(deg)", 79},
    {LINK_TarPosPDO, " TarPos PDO", "count", 145},
    {LINK_ActPosPDO, " ActPos PDO", "count", 151},
    {LINK_MotorVelocity, QT_TRANSLATE_NOOP("ScopeChannels", "Motor Velocity"), "Unit", 0},
    {LINK_TargetJointVel, " Target JointVel", "VEL(deg/s)", 55},
    {LINK_ActualJointVel, " Actual JointVel", "VEL(deg/s)", 61},
    {LINK_JointFilVel, " Joint FilVel", " VEL(deg/s)", 85},
    {LINK_JointFilAcc, " Joint FilAcc", "VEL(deg/s)", 91},
    {LINK_MotorCurrent, QT_TRANSLATE_NOOP("ScopeChannels", "Motor Current"), "Unit", 0},
    {LINK_TargetCur, " Target Cur", "CUR(A)", 67},
    {LINK_ActualCur, " Actual Cur", "CUR(A)", 73},
    {LINK_FilCur, " FilCur", "CUR(A)", 97},
    {LINK_FilSensedTor, " FilSensedTor", "TQR(N)", 103},
    {LINK_FilEstimateTor, " FilEstimateTor", "TQR(N)", 109},
    {LINK_FilDisturbanceTor, " FilDisturbanceTor", "TQR(N)", 115},
    {LINK_MotorStatus, QT_TRANSLATE_NOOP("ScopeChannels", "Motor Status"), "Unit", 0},
    {LINK_StatusWord, " status word", " ", 127},
    {LINK_ControlWord, " control word", " ", 121},
    {LINK_ActualModeOperate, " Actual ModeOperate", " ", 139},
    {LINK_TargetModeOperate, " Target ModeOperate", " ", 133},
};

struct EndEffectorRow
{
    emENDEFF key;
    const char* name;
    const char* unit;
    int base;
};

const EndEffectorRow kEndEffectorRows[] = {
    {ENDEFF_MotorPCS, QT_TRANSLATE_NOOP("ScopeChannels", "Motor PCS"), "Unit", 0},
    {ENDEFF_TargetPCS, " Target PCS", "PCS(mm)", 19},
    {ENDEFF_ActualPCS, " Actual PCS", "PCS(mm)", 25},
    {ENDEFF_MotorVel, QT_TRANSLATE_NOOP("ScopeChannels", "Motor Vel"), "Unit", 0},
    {ENDEFF_TargetVel, " Target Vel", "VEL(mm/s)", 31},
    {ENDEFF_ActualVel, " Actual Vel", "VEL(mm/s)", 37},
    {ENDEFF_ForceSensor, QT_TRANSLATE_NOOP("ScopeChannels", "ForceSensor"), "Unit", 0},
    {ENDEFF_SrcData, " SrcData", "N", 169},
    {ENDEFF_CaliData, " CaliData", "mm", 175},
};

template <typename Key, typename Row, size_t N, typename Field>
std::map<Key, Field> column(const Row (&rows)[N], Field (*get)(const Row&))
{
    std::map<Key, Field> table;
    for (const Row& row : rows)
        table.emplace(row.key, get(row));
    return table;
}

template <typename Map>
QString textOf(const Map& table, int key)
{
    const auto it = table.find(static_cast<typename Map::key_type>(key));
    return it == table.end() ? QString() : it->second;
}

template <typename Map>
std::optional<int> numberOf(const Map& table, int key)
{
    const auto it = table.find(static_cast<typename Map::key_type>(key));
    if (it == table.end())
        return std::nullopt;
    return it->second;
}

template <typename Map>
std::vector<int> keysOf(const Map& table)
{
    std::vector<int> keys;
    keys.reserve(table.size());
    for (const auto& entry : table)
        keys.push_back(static_cast<int>(entry.first));
    return keys;
}

} // namespace

const std::map<emLINK, QString>& LinkNames()
{
    static const auto table = column<emLINK>(kLinkRows, +[](const LinkRow& r) { return QString::fromLatin1(r.name); });
    return table;
}

const std::map<emLINK, QString>& LinkUnits()
{
    static const auto table = column<emLINK>(kLinkRows, +[](const LinkRow& r) { return QString::fromLatin1(r.unit); });
    return table;
}

const std::map<emLINK, int>& LinkIndexBase()
{
    static const auto table = column<emLINK>(kLinkRows, +[](const LinkRow& r) { return r.base; });
    return table;
}

const std::map<emENDEFF, QString>& EndEffectorNames()
{
    static const auto table =
        column<emENDEFF>(kEndEffectorRows, +[](const EndEffectorRow& r) { return QString::fromLatin1(r.name); });
    return table;
}

const std::map<emENDEFF, QString>& EndEffectorUnits()
{
    static const auto table =
        column<emENDEFF>(kEndEffectorRows, +[](const EndEffectorRow& r) { return QString::fromLatin1(r.unit); });
    return table;
}

const std::map<emENDEFF, int>& EndEffectorIndexBase()
{
    static const auto table = column<emENDEFF>(kEndEffectorRows, +[](const EndEffectorRow& r) { return r.base; });
    return table;
}

const QStringList& TriggerConditions()
{
    static const QStringList list = {QStringLiteral(">"), QStringLiteral("<")};
    return list;
}

const QStringList& TriggerGrabModes()
{
    static const QStringList list = {QStringLiteral(QT_TRANSLATE_NOOP("ScopeChannels", "Trigger open grab")),
                                     QStringLiteral(QT_TRANSLATE_NOOP("ScopeChannels", "Trigger end grab"))};
    return list;
}

QString channelTextOnScreen(const QString& text)
{
    return QCoreApplication::translate("ScopeChannels", text.toUtf8().constData());
}

QString componentName(int key) { return textOf(ComponentNames(), key); }
QString componentUnit(int key) { return textOf(ComponentUnits(), key); }
QString linkName(int key) { return textOf(LinkNames(), key); }
QString linkUnit(int key) { return textOf(LinkUnits(), key); }
std::optional<int> linkIndexBase(int key) { return numberOf(LinkIndexBase(), key); }
QString endEffectorName(int key) { return textOf(EndEffectorNames(), key); }
QString endEffectorUnit(int key) { return textOf(EndEffectorUnits(), key); }
std::optional<int> endEffectorIndexBase(int key) { return numberOf(EndEffectorIndexBase(), key); }

std::vector<int> componentKeys() { return keysOf(ComponentNames()); }
std::vector<int> linkKeys() { return keysOf(LinkNames()); }
std::vector<int> endEffectorKeys() { return keysOf(EndEffectorNames()); }

namespace {

bool isLinkHeading(emLINK key)
{
    return key == LINK_MotorPosition || key == LINK_MotorVelocity || key == LINK_MotorCurrent ||
           key == LINK_MotorStatus || key == LINK_NONE;
}

bool isEndEffectorHeading(emENDEFF key)
{
    return key == ENDEFF_MotorPCS || key == ENDEFF_MotorVel || key == ENDEFF_ForceSensor;
}

} // namespace

ScopeChannelList buildChannelList(const std::map<emAXIS, int>& components,
                                  const std::map<emLINK, int>& links,
                                  const std::map<emENDEFF, int>& endEffectors)
{
    ScopeChannelList out;
    auto add = [&out](const QString& title, _ST_ScopeAxisInfo info) {
        info.nCurve = out.count();
        out.indexes.push_back(info.nIndex);
        out.channels.push_back(ScopeChannel{title, std::move(info)});
    };
    auto selected = [&components](int key) { return components.count(static_cast<emAXIS>(key)) > 0; };

    // Joint selectors and link-data channels only make channels together.
    for (int j = AXIS_J1; j <= AXIS_J6; ++j) {
        if (!selected(j))
            continue;
        for (const auto& [key, base] : links) {
            if (isLinkHeading(key))
                continue;
            _ST_ScopeAxisInfo info;
            info.nIndex = base + (j - AXIS_J1);
            info.nSubIndex = j - AXIS_J1;
            info.eLink = key;
            info.eEndEff = ENDEFF_NONE;
            info.strUnit = linkUnit(key);
            add(QStringLiteral("J%1%2").arg(j - 24).arg(linkName(key)), std::move(info));
        }
    }

    for (int a = AXIS_X; a <= AXIS_RZ; ++a) {
        if (!selected(a))
            continue;
        for (const auto& [key, base] : endEffectors) {
            if (isEndEffectorHeading(key))
                continue;
            _ST_ScopeAxisInfo info;
            info.nIndex = base + (a - AXIS_X);
            info.nSubIndex = a - AXIS_X;
            info.eLink = LINK_NONE;
            info.eEndEff = key;
            info.strUnit = endEffectorUnit(key);
            add(QStringLiteral("%1%2").arg(componentName(a), endEffectorName(key)), std::move(info));
        }
    }

    auto addComponent = [&](int k) {
        _ST_ScopeAxisInfo info;
        info.nIndex = k;
        info.nSubIndex = k;
        info.eLink = LINK_NONE;
        info.eEndEff = ENDEFF_NONE;
        info.strUnit = componentUnit(k);
        add(componentName(k), std::move(info));
    };
    for (int k = AXIS_NULL; k <= AXIS_ElectricPower; ++k)
        if (selected(k))
            addComponent(k);
    for (int k : {AXIS_TCPCmdVel, AXIS_TCPActVel})
        if (selected(k))
            addComponent(k);

    return out;
}
