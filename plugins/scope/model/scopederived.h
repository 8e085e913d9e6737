// Derived channels: up to twelve curves computed row by row from the chosen
// channels, each a name, a unit and an expression that names channels by
// their titles in brackets ("[J1 Target ACS] - [J1 Actual ACS]").
//
// muParser parses and evaluates the expressions. Titles hold blanks and
// signs muParser does not allow in names, so every bracketed title is
// replaced by a variable of our own before muParser sees the text; a map of
// positions leads muParser's error positions back to the user's text.
// Two functions of our own keep state from row to row: deriv(x), the change
// of x per second between this row and the one before, and movavg(x, n),
// the mean of the finite values of x in the last n rows.
//
// Widget-free. A compiled set is used by one thread at a time: the page
// builds it on the GUI thread and hands it to the sample store, where only
// the collector evaluates it, under the data lock.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

namespace scopederived {

constexpr int kMaxChannels = 12;   // derived channels at most
constexpr int kMaxAverageRows = 100000; // longest moving-average window

struct Definition
{
    QString name;
    QString unit;
    QString expression;

    bool operator==(const Definition& o) const
    {
        return name == o.name && unit == o.unit && expression == o.expression;
    }
};

// A channel an expression may name: its title and the value column it reads.
struct Source
{
    QString title;
    int column = 0;
};

// Why an expression was refused; position counts characters of the user's
// text from 0 (-1: the definition as a whole, e.g. an empty name).
struct Problem
{
    int position = -1;
    QString reason;
};

// Parses "NAME[UNIT]=EXPR" (the recorder's option); false with a reason when
// the text has no name or no "=".
bool parseOption(const QString& text, Definition& out, QString& reason);

class Channel;

// A compiled set of derived channels.
class ScopeDerivedSet
{
    Q_DECLARE_TR_FUNCTIONS(ScopeDerived)

public:
    ~ScopeDerivedSet();

    // Compiles the definitions against the chosen channels. `known` lists
    // every title the catalogue has, to tell an unknown channel from one that
    // is only not chosen (may be empty). On a refusal returns null and fills
    // `failed` (the definition's number) and `problem`.
    static std::unique_ptr<ScopeDerivedSet> compile(const QVector<Definition>& definitions,
                                                    const QVector<Source>& chosen, const QStringList& known,
                                                    int* failed, Problem* problem);
    // Checks one definition alone, for the dialog; true when it compiles.
    static bool check(const Definition& definition, const QVector<Source>& chosen, const QStringList& known,
                      Problem* problem);

    int count() const { return int(m_channels.size()); }
    const QVector<Definition>& definitions() const { return m_definitions; }

    // Forgets the rows seen so far: derivatives and averages start afresh.
    void reset();
    // Evaluates every channel for one row: `values` is indexed by the
    // sources' columns, time in milliseconds; out receives count() values.
    // A division by zero or a domain error gives a non-finite value.
    void evaluate(double timeMs, const double* values, double* out);

private:
    ScopeDerivedSet() = default;
    std::vector<std::unique_ptr<Channel>> m_channels;
    QVector<Definition> m_definitions;
};

// Evaluates definitions over a table read from a file: times and one column
// per source (sources[i].column indexes columns). The result holds one
// column per compiled definition; definitions that do not compile against
// these sources are left out and listed in `skipped` by name.
QVector<QVector<double>> evaluateTable(const QVector<Definition>& definitions, const QVector<Source>& sources,
                                       const QVector<double>& times, const QVector<QVector<double>>& columns,
                                       QVector<Definition>* evaluated, QStringList* skipped);

} // namespace scopederived
