#include "scopechannelsets.h"

#include "ScopeChannels.h"

#include <QCoreApplication>

#include <algorithm>

namespace scopechannelsets {

namespace {

const char kFirstLine[] = "VXTools channel set";

struct Tree
{
    const char* key;
    std::vector<int> Selection::*ids;
    QString (*name)(int);
    std::vector<int> (*keys)();
};

const Tree kTrees[] = {
    {"component", &Selection::components, componentName, componentKeys},
    {"link", &Selection::links, linkName, linkKeys},
    {"endeffector", &Selection::endEffectors, endEffectorName, endEffectorKeys},
};

} // namespace

QStringList toLines(const Selection& selection)
{
    QStringList lines;
    for (const Tree& tree : kTrees) {
        for (int id : selection.*tree.ids) {
            const QString name = tree.name(id).trimmed();
            if (!name.isEmpty())
                lines << QLatin1String(tree.key) + QLatin1Char('=') + name;
        }
    }
    return lines;
}

Selection fromLines(const QStringList& lines, QStringList* leftOut)
{
    Selection selection;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString name = line.mid(eq + 1).trimmed();
        for (const Tree& tree : kTrees) {
            if (key != QLatin1String(tree.key))
                continue;
            bool found = false;
            for (int id : tree.keys()) {
                if (tree.name(id).trimmed() == name) {
                    std::vector<int>& ids = selection.*tree.ids;
                    if (std::find(ids.begin(), ids.end(), id) == ids.end())
                        ids.push_back(id);
                    found = true;
                    break;
                }
            }
            if (!found && leftOut)
                leftOut->append(line);
        }
    }
    for (const Tree& tree : kTrees)
        std::sort((selection.*tree.ids).begin(), (selection.*tree.ids).end());
    return selection;
}

QString toText(const QString& name, const Selection& selection)
{
    QStringList lines;
    lines << QLatin1String(kFirstLine) << QStringLiteral("name=") + name;
    lines += toLines(selection);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool fromText(const QString& text, QString* name, Selection* selection, QStringList* leftOut, QString* error)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = line.trimmed();
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const QString& l) { return l.isEmpty() || l.startsWith(QLatin1Char('#')); }),
                lines.end());
    if (lines.isEmpty() || lines.first() != QLatin1String(kFirstLine)) {
        if (error)
            *error = QCoreApplication::translate("ScopeChannelSets", "This is not a channel set file.");
        return false;
    }
    QString setName;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("name=")))
            setName = line.mid(5).trimmed();
    }
    if (name)
        *name = setName;
    if (selection)
        *selection = fromLines(lines, leftOut);
    return true;
}

} // namespace scopechannelsets
