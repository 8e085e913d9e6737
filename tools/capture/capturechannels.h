// Channel choice for the headless capture: catalogue titles as the plot shows
// them ("J1 Actual ACS", "X Actual PCS", "CurFSM") and selections made the
// way the channel dialog makes them (joints x link data, axes x end-effector
// data, components). Every record comes from the scope's own catalogue rule,
// so a file written from it reads back exactly like one the page exported.
#pragma once

#include "ScopeChannels.h"

#include <QString>
#include <QStringList>

namespace capture {

// Every channel the catalogue can produce, in the order the page would
// assign them with everything checked.
const ScopeChannelList& allChannels();

// A selection as the dialog's three trees hold it. Names are the catalogue's
// (without their leading blank); a heading ("Motor Current", "ForceSensor")
// stands for every channel under it; "all" for the whole tree.
struct GroupSelection
{
    QStringList joints;       // J1..J6 (or 1..6)
    QStringList links;        // link-data names or headings
    QStringList axes;         // X, Y, Z, RX, RY, RZ
    QStringList endEffectors; // end-effector names or headings
    QStringList components;   // system values and TCP velocities by name

    bool isEmpty() const;
};

struct ChannelChoice
{
    ScopeChannelList list;  // slots renumbered 0..n-1, index list to match
    QStringList notes;      // harmless remarks (a title given twice, ...)
    QString error;          // empty when the choice is usable
};

// Builds the channel list: first what the group selection yields (in the
// dialog's order), then the titled channels in the order given. A channel
// named twice is recorded once. Unknown names, joint selectors given as
// components and similar mistakes give an error; so do more than 36
// channels, and a choice in which no channel carries samples.
ChannelChoice chooseChannels(const GroupSelection& groups, const QStringList& titles);

// The catalogue channel with this title: exact, else the only one that
// matches ignoring case and repeated blanks; -1 when none (or several).
int findTitle(const QString& title);

// Splits option values at commas, trims them and drops empty parts.
QStringList splitList(const QStringList& values);

} // namespace capture
