#include "capturechannels.h"

#include <QHash>
#include <QSet>

#include <map>

namespace capture {

namespace {

QString simple(const QString& text)
{
    return text.simplified().toCaseFolded();
}

// Catalogue names without the leading blank that marks a channel under a
// heading; headings have none.
bool isHeading(const QString& name)
{
    return !name.startsWith(QLatin1Char(' '));
}

// Resolves names of one tree (link data or end effector) to its keys. A
// heading takes every channel up to the next heading.
template <typename Key>
QString resolveTree(const QStringList& names, const std::vector<int>& keys, QString (*nameOf)(int),
                    std::optional<int> (*baseOf)(int), const char* what, std::map<Key, int>& out)
{
    auto take = [&](int key) { out.emplace(static_cast<Key>(key), baseOf(key).value_or(0)); };
    for (const QString& name : names) {
        if (simple(name) == QLatin1String("all")) {
            for (int key : keys)
                if (!isHeading(nameOf(key)))
                    take(key);
            continue;
        }
        bool found = false;
        for (std::size_t i = 0; i < keys.size() && !found; ++i) {
            const QString own = nameOf(keys[i]);
            if (simple(own) != simple(name))
                continue;
            found = true;
            if (!isHeading(own)) {
                take(keys[i]);
                continue;
            }
            for (std::size_t j = i + 1; j < keys.size() && !isHeading(nameOf(keys[j])); ++j)
                take(keys[j]);
        }
        if (!found)
            return QStringLiteral("unknown %1 \"%2\" (see --list-channels)").arg(QLatin1String(what), name);
    }
    return QString();
}

// Selector names (J1..J6, X..RZ) to their component keys.
QString resolveSelectors(const QStringList& names, int first, int last, bool numbers, const char* what,
                         std::map<emAXIS, int>& out)
{
    for (const QString& name : names) {
        if (simple(name) == QLatin1String("all")) {
            for (int k = first; k <= last; ++k)
                out.emplace(static_cast<emAXIS>(k), k);
            continue;
        }
        int key = -1;
        for (int k = first; k <= last; ++k) {
            if (simple(componentName(k)) == simple(name)
                || (numbers && name.trimmed() == QString::number(k - first + 1)))
                key = k;
        }
        if (key < 0)
            return QStringLiteral("unknown %1 \"%2\"").arg(QLatin1String(what), name);
        out.emplace(static_cast<emAXIS>(key), key);
    }
    return QString();
}

bool isComponentChannel(int key)
{
    return (key >= AXIS_NULL && key <= AXIS_ElectricPower) || key == AXIS_TCPCmdVel || key == AXIS_TCPActVel;
}

} // namespace

bool GroupSelection::isEmpty() const
{
    return joints.isEmpty() && links.isEmpty() && axes.isEmpty() && endEffectors.isEmpty()
           && components.isEmpty();
}

const ScopeChannelList& allChannels()
{
    static const ScopeChannelList list = [] {
        std::map<emAXIS, int> components;
        for (int key : componentKeys())
            components.emplace(static_cast<emAXIS>(key), key);
        std::map<emLINK, int> links;
        for (int key : linkKeys())
            links.emplace(static_cast<emLINK>(key), linkIndexBase(key).value_or(0));
        std::map<emENDEFF, int> endEffectors;
        for (int key : endEffectorKeys())
            endEffectors.emplace(static_cast<emENDEFF>(key), endEffectorIndexBase(key).value_or(0));
        return buildChannelList(components, links, endEffectors);
    }();
    return list;
}

int findTitle(const QString& title)
{
    const std::vector<ScopeChannel>& all = allChannels().channels;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i].title == title)
            return int(i);
    int found = -1;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (simple(all[i].title) != simple(title))
            continue;
        if (found >= 0)
            return -1;
        found = int(i);
    }
    return found;
}

QStringList splitList(const QStringList& values)
{
    QStringList out;
    for (const QString& value : values)
        for (const QString& part : value.split(QLatin1Char(',')))
            if (!part.trimmed().isEmpty())
                out << part.trimmed();
    return out;
}

ChannelChoice chooseChannels(const GroupSelection& groups, const QStringList& titles)
{
    ChannelChoice choice;
    std::map<emAXIS, int> components;
    std::map<emLINK, int> links;
    std::map<emENDEFF, int> endEffectors;

    QString error = resolveSelectors(groups.joints, AXIS_J1, AXIS_J6, true, "joint", components);
    if (error.isEmpty())
        error = resolveSelectors(groups.axes, AXIS_X, AXIS_RZ, false, "axis", components);
    if (error.isEmpty())
        error = resolveTree(groups.links, linkKeys(), &linkName, &linkIndexBase, "link-data channel", links);
    if (error.isEmpty())
        error = resolveTree(groups.endEffectors, endEffectorKeys(), &endEffectorName, &endEffectorIndexBase,
                            "end-effector channel", endEffectors);
    if (!error.isEmpty()) {
        choice.error = error;
        return choice;
    }
    for (const QString& name : groups.components) {
        if (simple(name) == QLatin1String("all")) {
            for (int k = AXIS_CurFSM; k <= AXIS_ElectricPower; ++k)
                components.emplace(static_cast<emAXIS>(k), k);
            components.emplace(AXIS_TCPCmdVel, int(AXIS_TCPCmdVel));
            components.emplace(AXIS_TCPActVel, int(AXIS_TCPActVel));
            continue;
        }
        int key = -1;
        for (int k : componentKeys())
            if (simple(componentName(k)) == simple(name))
                key = k;
        if (key < 0) {
            choice.error = QStringLiteral("unknown component \"%1\" (see --list-channels)").arg(name);
            return choice;
        }
        if (!isComponentChannel(key)) {
            choice.error = QStringLiteral("\"%1\" is a selector, not a channel: use --%2")
                               .arg(name, key >= AXIS_J1 ? QStringLiteral("joints") : QStringLiteral("axes"));
            return choice;
        }
        components.emplace(static_cast<emAXIS>(key), key);
    }

    // The dialog silently makes nothing of a selector without channels (or
    // the reverse); on a command line that is a mistake worth naming.
    if (groups.joints.isEmpty() != links.empty()) {
        choice.error = groups.joints.isEmpty()
                           ? QStringLiteral("link-data channels need joints: add --joints (J1..J6 or all)")
                           : QStringLiteral("joints need link-data channels: add --link (see --list-channels)");
        return choice;
    }
    if (groups.axes.isEmpty() != endEffectors.empty()) {
        choice.error = groups.axes.isEmpty()
                           ? QStringLiteral("end-effector channels need axes: add --axes (X..RZ or all)")
                           : QStringLiteral("axes need end-effector channels: add --end-effector");
        return choice;
    }

    std::vector<ScopeChannel> chosen = buildChannelList(components, links, endEffectors).channels;
    QSet<QString> seen;
    for (const ScopeChannel& c : chosen)
        seen.insert(c.title);
    for (const QString& title : titles) {
        const int i = findTitle(title);
        if (i < 0) {
            choice.error = QStringLiteral("unknown channel \"%1\" (see --list-channels)").arg(title);
            return choice;
        }
        const ScopeChannel& c = allChannels().channels[std::size_t(i)];
        if (seen.contains(c.title)) {
            choice.notes << QStringLiteral("channel \"%1\" chosen twice, recorded once").arg(c.title);
            continue;
        }
        seen.insert(c.title);
        chosen.push_back(c);
    }

    for (std::size_t slot = 0; slot < chosen.size(); ++slot) {
        chosen[slot].info.nCurve = int(slot);
        choice.list.indexes.push_back(chosen[slot].info.nIndex);
    }
    choice.list.channels = std::move(chosen);

    if (choice.list.count() == 0) {
        choice.error = QStringLiteral("no channel chosen (see --help and --list-channels)");
    } else if (!choice.list.accepted()) {
        choice.error = QStringLiteral("%1 channels chosen; the controller streams at most %2")
                           .arg(choice.list.count())
                           .arg(kMaxScopeChannels);
    } else {
        bool any = false;
        for (const ScopeChannel& c : choice.list.channels)
            any = any || receivesSamples(c.info);
        if (!any)
            choice.error = QStringLiteral("none of the chosen channels carries samples (\"NULL\" has none)");
    }
    return choice;
}

} // namespace capture
