// Saved channel sets: the check marks of the channel dialog's three trees,
// kept by the names the catalogue gives them, so a set survives a catalogue
// that numbers its entries differently and can be shared as a small text
// file. Widget-free.
//
// Text form, one entry per line ("#" starts a comment line):
//   VXTools channel set
//   name=Following error J1-J3
//   component=J1
//   link=Target ACS
//   endeffector=Actual PCS
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace scopechannelsets {

// Checked ids of the three trees (catalogue keys), ascending.
struct Selection
{
    std::vector<int> components;
    std::vector<int> links;
    std::vector<int> endEffectors;

    bool operator==(const Selection& o) const
    {
        return components == o.components && links == o.links && endEffectors == o.endEffectors;
    }
    bool isEmpty() const { return components.empty() && links.empty() && endEffectors.empty(); }
};

// "component=J1" etc., in tree order.
QStringList toLines(const Selection& selection);
// Reads lines of that form; entries this catalogue does not have are left
// out and listed in `leftOut` as written. Other lines are ignored.
Selection fromLines(const QStringList& lines, QStringList* leftOut);

// The file: first line "VXTools channel set", then "name=..." and the lines.
QString toText(const QString& name, const Selection& selection);
// False (with `error`) when the text is not a channel set.
bool fromText(const QString& text, QString* name, Selection* selection, QStringList* leftOut, QString* error);

} // namespace scopechannelsets
