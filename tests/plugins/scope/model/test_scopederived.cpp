// Derived channels and saved channel sets, widget-free: expressions against
// hand-computed rows (deriv and movavg included), refusals with the position
// in the user's own text, the store evaluating them into slots 36..47 and
// the channel-set text with entries this catalogue lacks.
#include "scopechannelsets.h"
#include "scopederived.h"
#include "scopesamplestore.h"

#include "ScopeChannels.h"
#include "VX_Prod.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace scopederived;

namespace {

const double kInf = std::numeric_limits<double>::infinity();

// Titles with blanks, in columns that are not their list positions.
const QVector<Source> kChosen = {
    {QStringLiteral("J1 Target ACS"), 0},
    {QStringLiteral("J1 Actual ACS"), 2},
    {QStringLiteral("X Actual Vel"), 5},
};

std::unique_ptr<ScopeDerivedSet> compileOrFail(const QVector<Definition>& defs)
{
    int failed = -1;
    Problem problem;
    auto set = ScopeDerivedSet::compile(defs, kChosen, QStringList(), &failed, &problem);
    EXPECT_TRUE(set) << failed << ": " << problem.position << " " << problem.reason.toStdString();
    return set;
}

void expectSame(double expected, double actual, const char* what, int row)
{
    if (std::isnan(expected))
        EXPECT_TRUE(std::isnan(actual)) << what << " row " << row << " gave " << actual;
    else if (std::isinf(expected))
        EXPECT_EQ(expected, actual) << what << " row " << row;
    else
        EXPECT_NEAR(expected, actual, 1e-9 * std::max(1.0, std::fabs(expected))) << what << " row " << row;
}

} // namespace

TEST(ScopeDerived, EvaluatesHandComputedRows)
{
    const QVector<Definition> defs = {
        {QStringLiteral("J1 Following Error"), QStringLiteral("deg"), QStringLiteral("[J1 Target ACS] - [J1 Actual ACS]")},
        {QStringLiteral("J1 Speed"), QStringLiteral("deg/s"), QStringLiteral("deriv([ J1 Actual ACS ])")},
        {QStringLiteral("Mean"), QString(), QStringLiteral("movavg([J1 Target ACS], 3)")},
        {QStringLiteral("Ratio"), QString(), QStringLiteral("[J1 Target ACS] / [X Actual Vel]")},
        {QStringLiteral("Root"), QString(), QStringLiteral("sqrt([X Actual Vel] - 10)")},
        {QStringLiteral("Power"), QStringLiteral("W"), QStringLiteral("abs([J1 Target ACS]) * 0.5 + [X Actual Vel]^2")},
        {QStringLiteral("Fast"), QString(), QStringLiteral("[X Actual Vel] > 12 ? 1 : 0")},
    };
    auto set = compileOrFail(defs);
    ASSERT_TRUE(set);
    ASSERT_EQ(set->count(), 7);

    // time ms, then columns 0 (target), 2 (actual), 5 (X velocity)
    const double rows[4][4] = {{0, 1, 0.5, 0}, {1, 2, 1.0, 20}, {2, 4, 2.0, 11}, {4, 8, 2.0, 14}};
    const double nan = std::nan("");
    const double expected[4][7] = {
        {0.5, nan, 1.0, kInf, nan, 0.5, 0},
        {1.0, 500.0, 1.5, 0.1, std::sqrt(10.0), 401.0, 1},
        {2.0, 1000.0, 7.0 / 3.0, 4.0 / 11.0, 1.0, 123.0, 0},
        {6.0, 0.0, 14.0 / 3.0, 8.0 / 14.0, 2.0, 200.0, 1},
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (int r = 0; r < 4; ++r) {
            double values[36] = {};
            values[0] = rows[r][1];
            values[2] = rows[r][2];
            values[5] = rows[r][3];
            double out[kMaxChannels];
            set->evaluate(rows[r][0], values, out);
            for (int c = 0; c < 7; ++c)
                expectSame(expected[r][c], out[c], defs[c].name.toUtf8().constData(), r);
        }
        // After a reset the slope and the mean start afresh.
        set->reset();
    }
}

TEST(ScopeDerived, MovingAverageSkipsNonFiniteValuesAndDerivativeNeedsTimeToPass)
{
    auto set = compileOrFail({{QStringLiteral("a"), QString(), QStringLiteral("movavg([J1 Target ACS], 2)")},
                              {QStringLiteral("d"), QString(), QStringLiteral("deriv([J1 Target ACS])")}});
    ASSERT_TRUE(set);
    const double nan = std::nan("");
    const double in[5] = {4, nan, 6, 10, 11};
    const double times[5] = {0, 1, 2, 2, 3};
    const double mean[5] = {4, 4, 6, 8, 10.5};
    const double slope[5] = {nan, nan, nan, nan, 1000};
    for (int r = 0; r < 5; ++r) {
        double values[36] = {};
        values[0] = in[r];
        double out[2];
        set->evaluate(times[r], values, out);
        expectSame(mean[r], out[0], "movavg", r);
        expectSame(slope[r], out[1], "deriv", r);
    }
}

struct Refusal
{
    const char* expression;
    int position;
    const char* reason; // a part of the reason
};

class ScopeDerivedRefusal : public ::testing::TestWithParam<Refusal>
{
};

// Positions count characters of the user's text, also behind long bracketed
// titles that muParser never saw.
TEST_P(ScopeDerivedRefusal, GivesThePositionInTheUsersTextAndTheReason)
{
    const Refusal& r = GetParam();
    const QStringList known = {QStringLiteral("J1 Target ACS"), QStringLiteral("J1 Actual ACS"),
                               QStringLiteral("J2 Actual ACS"), QStringLiteral("X Actual Vel")};
    Problem problem;
    EXPECT_FALSE(ScopeDerivedSet::check({QStringLiteral("e"), QString(), QString::fromUtf8(r.expression)}, kChosen,
                                        known, &problem));
    EXPECT_EQ(problem.position, r.position) << r.expression;
    EXPECT_TRUE(problem.reason.contains(QString::fromUtf8(r.reason)))
        << r.expression << ": " << problem.reason.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, ScopeDerivedRefusal,
    ::testing::Values(Refusal{"[J1 Target ACS] - [J1 Actual ACS] + [J2 Actual ACS]", 36, "not chosen"},
                      Refusal{"[J1 Target ACS] - [Nope]", 18, "no channel Nope"},
                      Refusal{"[J1 Target ACS] * * 2", 18, "syntax error"},
                      Refusal{"[J1 Target ACS] + foo", 18, "unknown name foo"},
                      Refusal{"[J1 Target ACS] + \"a\"", 18, "type error"},
                      Refusal{"sqrt([J1 Actual ACS]", 20, "parenthesis"},
                      Refusal{"[J1 Actual ACS] = 3", 16, "compare with =="},
                      Refusal{"[J1 Actual ACS], 2", 15, "one expression"},
                      Refusal{"[J1 Actual ACS + 2", 0, "closing ]"},
                      Refusal{"movavg([J1 Actual ACS])", 22, "arguments"},
                      Refusal{"   ", 0, "empty"}));

TEST(ScopeDerived, RefusesBadDefinitionsAsAWhole)
{
    int failed = -1;
    Problem problem;
    EXPECT_FALSE(ScopeDerivedSet::compile({{QStringLiteral("a"), QString(), QStringLiteral("1")},
                                           {QStringLiteral("a"), QString(), QStringLiteral("2")}},
                                          kChosen, QStringList(), &failed, &problem));
    EXPECT_EQ(failed, 1);
    EXPECT_TRUE(problem.reason.contains(QStringLiteral("two derived channels")));
    EXPECT_FALSE(ScopeDerivedSet::compile({{QString(), QString(), QStringLiteral("1")}}, kChosen, QStringList(),
                                          &failed, &problem));
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(problem.position, -1);
    QVector<Definition> many(kMaxChannels + 1, Definition{QStringLiteral("x"), QString(), QStringLiteral("1")});
    EXPECT_FALSE(ScopeDerivedSet::compile(many, kChosen, QStringList(), &failed, &problem));

    Definition d;
    QString why;
    ASSERT_TRUE(parseOption(QStringLiteral("J1 Error [deg] = [J1 Target ACS] - [J1 Actual ACS]"), d, why));
    EXPECT_EQ(d.name, QStringLiteral("J1 Error"));
    EXPECT_EQ(d.unit, QStringLiteral("deg"));
    EXPECT_EQ(d.expression, QStringLiteral("[J1 Target ACS] - [J1 Actual ACS]"));
    EXPECT_FALSE(parseOption(QStringLiteral("no equals sign"), d, why));
    EXPECT_FALSE(parseOption(QStringLiteral("=1"), d, why));
}

TEST(ScopeDerived, StoreFillsSlots36OnAlignedWithTheTimeBase)
{
    ScopeSampleStore store;
    ScopeSampleStore::SlotMask receiving;
    receiving.set(0);
    receiving.set(2);
    store.reset(receiving);
    store.setSpan(3.0);
    store.setDerived(compileOrFail({{QStringLiteral("e"), QString(), QStringLiteral("[J1 Target ACS] - [J1 Actual ACS]")},
                                    {QStringLiteral("d"), QString(), QStringLiteral("deriv([J1 Target ACS])")}}));
    ASSERT_EQ(store.derivedCount(), 2);
    for (int t = 0; t < 6; ++t) {
        _ST_ReadScopeData row{};
        row.time = t;
        row.values[0] = 3.0 * t;
        row.values[2] = t;
        store.appendRow(row);
    }
    // The window keeps t = 2..5; the derived columns are trimmed with it.
    ASSERT_EQ(store.rowCount(), 4u);
    ASSERT_EQ(store.slot(36).size(), 4u);
    ASSERT_EQ(store.slot(37).size(), 4u);
    EXPECT_TRUE(store.slot(38).empty());
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(store.slot(36).at(i), 2.0 * (double(i) + 2.0));
        EXPECT_DOUBLE_EQ(store.slot(37).at(i), 3000.0);
    }
    // A clock restart starts the window afresh, the slope with it.
    _ST_ReadScopeData row{};
    row.time = 0.5;
    store.appendRow(row);
    ASSERT_EQ(store.slot(37).size(), 1u);
    EXPECT_TRUE(std::isnan(store.slot(37).at(0)));
    const ScopeSampleStore::Snapshot snap = store.snapshot();
    EXPECT_TRUE(snap.values[36] && snap.values[37]);
    store.setDerived(nullptr);
    EXPECT_TRUE(store.slot(36).empty());
}

TEST(ScopeChannelSets, TextRoundTripAndEntriesThisCatalogueLacks)
{
    scopechannelsets::Selection sel;
    sel.components = {AXIS_J1, AXIS_J3};
    sel.links = {LINK_TargetACS, LINK_ActualACS};
    sel.endEffectors = {ENDEFF_ActualVel};
    const QString text = scopechannelsets::toText(QStringLiteral("Following error"), sel);
    EXPECT_TRUE(text.contains(QStringLiteral("link=Target ACS\n")));

    QString name, error;
    scopechannelsets::Selection back;
    QStringList leftOut;
    ASSERT_TRUE(scopechannelsets::fromText(text + QStringLiteral("link=Warp Drive\n# note\ncomponent=J9\n"), &name,
                                           &back, &leftOut, &error));
    EXPECT_EQ(name, QStringLiteral("Following error"));
    EXPECT_EQ(back, sel);
    EXPECT_EQ(leftOut, QStringList({QStringLiteral("link=Warp Drive"), QStringLiteral("component=J9")}));
    EXPECT_FALSE(scopechannelsets::fromText(QStringLiteral("time,a_0_1_x\n"), &name, &back, &leftOut, &error));
    EXPECT_FALSE(error.isEmpty());
}
