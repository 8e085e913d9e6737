// Scope data files: the exact text written, the reading rules, round trips
// and the refusal of files that are not scope data.
#include "scopefile.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QLocale>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <random>

using namespace scopefile;

namespace {

Curve curve(const QString& title, int subIndex, int link, int endEff, const QString& unit,
            QVector<double> x, QVector<double> y)
{
    Curve c;
    c.title = title;
    c.subIndex = subIndex;
    c.link = link;
    c.endEffector = endEff;
    c.unit = unit;
    c.x = std::move(x);
    c.y = std::move(y);
    return c;
}

QString joined(const QStringList& lines)
{
    return lines.join(QString());
}

ReadResult readBytes(const QByteArray& bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return readFile(buffer);
}

} // namespace

// ---- header fields -------------------------------------------------------

struct FieldCase
{
    Curve curve;
    const char* expected;
};

class ScopeFileHeaderField : public ::testing::TestWithParam<FieldCase>
{
};

TEST_P(ScopeFileHeaderField, KeyFollowsTheSubIndexThreshold)
{
    EXPECT_EQ(curveField(GetParam().curve), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Channels, ScopeFileHeaderField,
    ::testing::Values(
        // component channel, key 6: at the threshold the end-effector key travels
        FieldCase{curve("RTMinCycle", 6, 23, 9, "ms", {}, {}), "RTMinCycle_6_9_ms"},
        FieldCase{curve("CurFSM", 1, 23, 9, "FSM", {}, {}), "CurFSM_1_23_FSM"},
        FieldCase{curve("RTMaxCycle", 5, 23, 9, "ms", {}, {}), "RTMaxCycle_5_23_ms"},
        // end-effector channel: sub-index below 6, so its link key (23) is written
        FieldCase{curve("X Target PCS", 0, 23, 1, "PCS(mm)", {}, {}), "X Target PCS_0_23_PCS(mm)"},
        FieldCase{curve("J2 Actual Cur", 1, 13, 9, "CUR(A)", {}, {}), "J2 Actual Cur_1_13_CUR(A)"},
        FieldCase{curve("J1 Joint FilVel", 0, 9, 9, " VEL(deg/s)", {}, {}),
                  "J1 Joint FilVel_0_9_ VEL(deg/s)"},
        FieldCase{curve("NULL", 0, 23, 9, "", {}, {}), "NULL_0_23_"},
        FieldCase{curve("TCPActVel", 32, 23, 9, "", {}, {}), "TCPActVel_32_9_"}));

// ---- whole files, byte for byte -----------------------------------------

struct ExportCase
{
    const char* name;
    QVector<Curve> curves;
    const char* text;
};

class ScopeFileExport : public ::testing::TestWithParam<ExportCase>
{
};

TEST_P(ScopeFileExport, WritesExactText)
{
    const ExportCase& c = GetParam();
    const QStringList lines = exportLines(c.curves);
    for (const QString& line : lines)
        EXPECT_TRUE(line.endsWith(QLatin1Char('\n'))) << line.toStdString();
    EXPECT_EQ(joined(lines).toStdString(), std::string(c.text));

    // The device writer produces the same bytes.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writeLines(buffer, c.curves));
    EXPECT_EQ(bytes.toStdString(), std::string(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ScopeFileExport,
    ::testing::Values(
        ExportCase{"NoCurvesNoLines", {}, ""},
        ExportCase{"TwoCurvesTwoRows",
                   {curve("J1 Target ACS", 0, 1, 9, "ACS(deg)", {0, 1}, {12.5, 12.6}),
                    curve("CurFSM", 1, 23, 9, "FSM", {0, 1}, {3, 3})},
                   "time,J1 Target ACS_0_1_ACS(deg),CurFSM_1_23_FSM\n"
                   "0.000,12.500,3.000\n"
                   "1.000,12.600,3.000\n"},
        ExportCase{"ThreeDecimalsRoundAndNegatives",
                   {curve("J1 Actual ACS", 0, 2, 9, "ACS(deg)", {0.0004, 2.0626, 1234567.25},
                          {-0.0004, -1.23456, 99999.9999})},
                   "time,J1 Actual ACS_0_2_ACS(deg)\n"
                   "0.000,-0.000\n"
                   "2.063,-1.235\n"
                   "1234567.250,100000.000\n"},
        ExportCase{"ShorterCurveLeavesEmptyFields",
                   {curve("A", 0, 1, 9, "u", {0}, {1}), curve("B", 1, 1, 9, "v", {0, 5, 9}, {2, 3, 4})},
                   "time,A_0_1_u,B_1_1_v\n"
                   "0.000,1.000,2.000\n"
                   "5.000,,3.000\n"
                   "9.000,,4.000\n"},
        ExportCase{"CurveWithoutSamplesKeepsItsColumn",
                   {curve("A", 0, 1, 9, "u", {}, {}), curve("B", 7, 23, 2, "w", {0.5}, {-7})},
                   "time,A_0_1_u,B_7_2_w\n"
                   "0.500,,-7.000\n"}),
    [](const ::testing::TestParamInfo<ExportCase>& info) { return std::string(info.param.name); });

// ---- reading -------------------------------------------------------------

TEST(ScopeFileImport, ReadsTheTwoCurveExample)
{
    const Content c = importLines({"time,J1 Target ACS_0_1_ACS(deg),CurFSM_1_23_FSM",
                                   "0.000,12.500,3.000", "1.000,12.600,3.000"});
    EXPECT_TRUE(c.hasTimeColumn);
    ASSERT_EQ(c.declaredCurves, 2);
    ASSERT_EQ(c.curves.size(), 2);
    EXPECT_EQ(c.times, (QVector<double>{0.0, 1.0}));

    EXPECT_EQ(c.curves[0].title, "J1 Target ACS");
    EXPECT_EQ(c.curves[0].subIndex, 0);
    EXPECT_EQ(c.curves[0].link, 1);
    EXPECT_EQ(c.curves[0].endEffector, kNoEndEffector);
    EXPECT_EQ(c.curves[0].unit, "ACS(deg)");
    EXPECT_EQ(c.curves[0].y, (QVector<double>{12.5, 12.6}));

    EXPECT_EQ(c.curves[1].title, "CurFSM");
    EXPECT_EQ(c.curves[1].subIndex, 1);
    EXPECT_EQ(c.curves[1].link, 23);
    EXPECT_EQ(c.curves[1].unit, "FSM");
    EXPECT_EQ(c.curves[1].y, (QVector<double>{3.0, 3.0}));
}

TEST(ScopeFileImport, NoLinesGiveNothing)
{
    const Content c = importLines({});
    EXPECT_FALSE(c.hasTimeColumn);
    EXPECT_EQ(c.declaredCurves, 0);
    EXPECT_TRUE(c.curves.isEmpty());
}

TEST(ScopeFileImport, HeaderFieldRules)
{
    const Content c = importLines({"Speed,time,Foo_7_4_mm,Bar_2_13_CUR(A)_extra,Odd_x_y_z,_1_2_"});
    EXPECT_TRUE(c.hasTimeColumn) << "time marks the column wherever it stands";
    ASSERT_EQ(c.curves.size(), 5);
    // A plain name: that title, unit "Unit", sub-index 0 and both keys "none".
    EXPECT_EQ(c.curves[0].title, "Speed");
    EXPECT_EQ(c.curves[0].unit, "Unit");
    EXPECT_EQ(c.curves[0].subIndex, 0);
    EXPECT_EQ(c.curves[0].link, kNoLink);
    EXPECT_EQ(c.curves[0].endEffector, kNoEndEffector);
    // Sub-index 6 or more: the key is the end-effector key.
    EXPECT_EQ(c.curves[1].subIndex, 7);
    EXPECT_EQ(c.curves[1].endEffector, 4);
    EXPECT_EQ(c.curves[1].link, kNoLink);
    EXPECT_EQ(c.curves[1].unit, "mm");
    // Parts after the unit are ignored.
    EXPECT_EQ(c.curves[2].link, 13);
    EXPECT_EQ(c.curves[2].unit, "CUR(A)");
    // Unreadable numbers read 0.
    EXPECT_EQ(c.curves[3].title, "Odd");
    EXPECT_EQ(c.curves[3].subIndex, 0);
    EXPECT_EQ(c.curves[3].link, 0);
    EXPECT_EQ(c.curves[3].unit, "z");
    EXPECT_EQ(c.curves[4].title, "");
    EXPECT_EQ(c.curves[4].link, 2);
}

TEST(ScopeFileImport, HeaderWithoutTimeHasNoTimeStamps)
{
    const Content c = importLines({"A_0_1_u,B_1_1_u", "1.0,2.0", "3.0,4.0"});
    EXPECT_FALSE(c.hasTimeColumn);
    EXPECT_TRUE(c.times.isEmpty());
    ASSERT_EQ(c.curves.size(), 2);
    EXPECT_EQ(c.curves[0].y, (QVector<double>{1.0, 3.0}));
    EXPECT_EQ(c.curves[1].y, (QVector<double>{2.0, 4.0}));
}

TEST(ScopeFileImport, ShortAndEmptyFieldsReadAsValuesFromTheFirstCurve)
{
    const Content c = importLines({"time,A_0_1_u,B_1_1_u", "5", "6,7", "8,,9", "10,11,12,13"});
    // Only full-width lines carry a time stamp.
    EXPECT_EQ(c.times, (QVector<double>{8.0, 10.0}));
    EXPECT_EQ(c.curves[0].y, (QVector<double>{5.0, 6.0, 0.0, 11.0}));
    EXPECT_EQ(c.curves[1].y, (QVector<double>{0.0, 7.0, 9.0, 12.0}));
}

TEST(ScopeFileImport, LinesAfterAHeaderWithoutCurvesAreIgnored)
{
    const Content c = importLines({"time", "1,2,3"});
    EXPECT_TRUE(c.hasTimeColumn);
    EXPECT_TRUE(c.times.isEmpty());
    EXPECT_TRUE(c.curves.isEmpty());
}

TEST(ScopeFileImport, KeepsTheFirst48CurvesAndCountsAll)
{
    QString header = "time";
    QString row = "0.5";
    for (int i = 0; i < 50; ++i) {
        header += QString(",C%1").arg(i);
        row += QString(",%1").arg(i);
    }
    const Content c = importLines({header, row});
    EXPECT_EQ(c.declaredCurves, 50);
    ASSERT_EQ(c.curves.size(), kMaxCurves);
    EXPECT_EQ(c.times, (QVector<double>{0.5}));
    EXPECT_EQ(c.curves[47].title, "C47");
    EXPECT_EQ(c.curves[47].y, (QVector<double>{47.0}));
}

struct NumberCase
{
    const char* text;
    double value;
};

class ScopeFileNumber : public ::testing::TestWithParam<NumberCase>
{
};

TEST_P(ScopeFileNumber, ReadsCLocaleNumbersOrZero)
{
    EXPECT_EQ(readNumber(QString::fromUtf8(GetParam().text)), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ScopeFileNumber,
    ::testing::Values(NumberCase{"1.5", 1.5}, NumberCase{"  -2.25\t", -2.25}, NumberCase{"+3", 3.0},
                      NumberCase{"1e3", 1000.0}, NumberCase{".5", 0.5}, NumberCase{"5.", 5.0},
                      NumberCase{"12.600", 12.6}, NumberCase{"", 0.0}, NumberCase{"   ", 0.0},
                      NumberCase{"abc", 0.0}, NumberCase{"1.5x", 0.0}, NumberCase{"1 000", 0.0},
                      NumberCase{"+-1", 0.0}, NumberCase{"--1", 0.0}, NumberCase{"nan", 0.0},
                      NumberCase{"inf", 0.0}, NumberCase{"-inf", 0.0}, NumberCase{"1e999", 0.0},
                      NumberCase{"0x10", 0.0}, NumberCase{"\xef\xbc\x91", 0.0} /* full-width one */));

TEST(ScopeFileImport, NumbersDoNotFollowTheUserLocale)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const Content c = importLines({"time,A_0_1_u", "1.500,2.250"});
    const QStringList lines = exportLines({curve("A", 0, 1, 9, "u", {1234.5}, {-0.5})});
    QLocale::setDefault(saved);

    EXPECT_EQ(c.times, (QVector<double>{1.5}));
    EXPECT_EQ(c.curves[0].y, (QVector<double>{2.25}));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1], "1234.500,-0.500\n");
}

TEST(ScopeFileRoundTrip, ExportThenImportGivesTheSameCurves)
{
    QVector<Curve> curves;
    const QVector<double> x = [] {
        QVector<double> v;
        for (int i = 0; i < 500; ++i)
            v.append(i * 1.0 + 0.25);
        return v;
    }();
    const struct
    {
        const char* title;
        int sub, link, endEff;
        const char* unit;
    } channels[] = {{"J1 Target ACS", 0, 1, 9, "ACS(deg)"}, {"J6 Actual Cur", 5, 13, 9, "CUR(A)"},
                    {"RZ CaliData", 5, 23, 8, "mm"},       {"RTMinCycle", 6, 23, 9, "ms"},
                    {"TCPActVel", 32, 23, 9, ""},           {"J3 status word", 2, 19, 9, " "}};
    int n = 0;
    for (const auto& ch : channels) {
        QVector<double> y;
        for (int i = 0; i < x.size(); ++i)
            y.append(std::sin(i * 0.01 * (n + 1)) * 1000.0 / (n + 1) - n);
        curves.append(curve(ch.title, ch.sub, ch.link, ch.endEff, ch.unit, x, y));
        ++n;
    }

    QByteArray bytes;
    {
        QBuffer out(&bytes);
        out.open(QIODevice::WriteOnly);
        ASSERT_TRUE(writeLines(out, curves));
    }
    const ReadResult read = readBytes(bytes);
    ASSERT_EQ(read.error, ReadError::None);
    const Content& c = read.content;
    ASSERT_TRUE(c.hasTimeColumn);
    ASSERT_EQ(c.curves.size(), curves.size());
    ASSERT_EQ(c.times.size(), x.size());
    for (int i = 0; i < x.size(); ++i)
        ASSERT_NEAR(c.times[i], x[i], 0.0005);
    for (int k = 0; k < curves.size(); ++k) {
        const Curve& in = curves[k];
        const Curve& back = c.curves[k];
        EXPECT_EQ(back.title, in.title);
        EXPECT_EQ(back.subIndex, in.subIndex);
        EXPECT_EQ(back.unit, in.unit);
        // Only the key the threshold picks travels.
        if (in.subIndex < kKeyThreshold) {
            EXPECT_EQ(back.link, in.link);
            EXPECT_EQ(back.endEffector, kNoEndEffector);
        } else {
            EXPECT_EQ(back.endEffector, in.endEffector);
            EXPECT_EQ(back.link, kNoLink);
        }
        ASSERT_EQ(back.y.size(), in.y.size());
        for (int i = 0; i < in.y.size(); ++i)
            ASSERT_NEAR(back.y[i], in.y[i], 0.0005) << "curve " << k << " row " << i;
    }
    // Writing what was read gives the same bytes again.
    QVector<Curve> again = c.curves;
    for (Curve& cv : again)
        cv.x = c.times;
    EXPECT_EQ(joined(exportLines(again)).toUtf8(), bytes);
}

// Derived columns: their own header form, texts with the file's separators
// in them, and non-finite samples, through export and import and back.
TEST(ScopeFileRoundTrip, DerivedColumnsComeBackAsDerivedCurves)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const QVector<double> x = {0.0, 1.0, 2.0};
    QVector<Curve> curves = {curve("J1 Target ACS", 0, 1, 9, "ACS(deg)", x, {1.0, 2.0, 4.0}),
                             curve("J1 Actual ACS", 0, 2, 9, "ACS(deg)", x, {0.5, 1.0, 2.0})};
    Curve error = curve("J1 Following_Error", 0, kNoLink, kNoEndEffector, "deg", x, {0.5, nan, -inf});
    error.derived = true;
    error.expression = "movavg([J1 Target ACS] - [J1 Actual ACS], 5) % 100";
    Curve ratio = curve("Ratio, 50%", 0, kNoLink, kNoEndEffector, "", x, {inf, 2.0, 2.0});
    ratio.derived = true;
    ratio.expression = "[J1 Target ACS] / [J1 Actual ACS]";
    curves << error << ratio;

    const QStringList lines = exportLines(curves);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "time,J1 Target ACS_0_1_ACS(deg),J1 Actual ACS_0_2_ACS(deg),"
                        "J1 Following%5FError_derived_movavg([J1 Target ACS] - [J1 Actual ACS]%2C 5) %25 100_deg,"
                        "Ratio%2C 50%25_derived_[J1 Target ACS] / [J1 Actual ACS]_\n");
    EXPECT_EQ(lines[2], "1.000,2.000,1.000,nan,2.000\n");

    const ReadResult read = readBytes(joined(lines).toUtf8());
    ASSERT_EQ(read.error, ReadError::None);
    const Content& c = read.content;
    ASSERT_EQ(c.curves.size(), 4);
    EXPECT_FALSE(c.curves[0].derived);
    EXPECT_FALSE(c.curves[1].derived);
    for (int k = 2; k < 4; ++k) {
        EXPECT_TRUE(c.curves[k].derived);
        EXPECT_EQ(c.curves[k].title, curves[k].title);
        EXPECT_EQ(c.curves[k].expression, curves[k].expression);
        EXPECT_EQ(c.curves[k].unit, curves[k].unit);
        ASSERT_EQ(c.curves[k].y.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const double in = curves[k].y[i], back = c.curves[k].y[i];
            EXPECT_TRUE(std::isnan(in) ? std::isnan(back) : in == back) << k << " " << i << " " << back;
        }
    }
    QVector<Curve> again = c.curves;
    for (Curve& cv : again)
        cv.x = c.times;
    EXPECT_EQ(joined(exportLines(again)), joined(lines));
}

TEST(ScopeFileRead, LineEndsAByteOrderMarkAndALastLineWithoutOne)
{
    const ReadResult r = readBytes("\xEF\xBB\xBFtime,A_0_1_u\r\n1,2\r\n3,4");
    EXPECT_TRUE(r.content.hasTimeColumn);
    ASSERT_EQ(r.error, ReadError::None);
    EXPECT_EQ(r.content.curves[0].unit, "u");
    EXPECT_EQ(r.content.times, (QVector<double>{1.0, 3.0}));
    EXPECT_EQ(r.content.curves[0].y, (QVector<double>{2.0, 4.0}));
}

struct RefusalCase
{
    const char* name;
    QByteArray bytes;
    ReadError error;
    qint64 line;
};

class ScopeFileRefusal : public ::testing::TestWithParam<RefusalCase>
{
};

TEST_P(ScopeFileRefusal, RefusesWithoutContent)
{
    const RefusalCase& c = GetParam();
    const ReadResult r = readBytes(c.bytes);
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.line, c.line);
    EXPECT_TRUE(r.content.curves.isEmpty());
    EXPECT_TRUE(r.content.times.isEmpty());
}

static QByteArray longLine(qint64 n)
{
    return QByteArray(int(n), 'a');
}

INSTANTIATE_TEST_SUITE_P(
    Files, ScopeFileRefusal,
    ::testing::Values(
        RefusalCase{"BinaryHeader", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), ReadError::NotText, 3},
        RefusalCase{"NulInARow", QByteArray("time,A\n1,2\n3\0,4\n", 16), ReadError::NotText, 3},
        RefusalCase{"LineOverOneMebibyte", "time,A\n" + longLine(kMaxLineBytes + 1) + "\n1,2\n",
                    ReadError::LineTooLong, 2},
        RefusalCase{"UnendedLongLine", "time,A\n" + longLine(3 * kMaxLineBytes), ReadError::LineTooLong,
                    2}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST(ScopeFileRead, ALineOfExactlyOneMebibyteIsAccepted)
{
    const QByteArray title = longLine(kMaxLineBytes);
    const ReadResult r = readBytes(title + "\r\n1\n");
    ASSERT_EQ(r.error, ReadError::None);
    ASSERT_EQ(r.content.curves.size(), 1);
    EXPECT_EQ(r.content.curves[0].title.size(), kMaxLineBytes);
    EXPECT_EQ(r.content.curves[0].y, (QVector<double>{1.0}));
}

TEST(ScopeFileRead, RefusesMoreRowsThanTheLimit)
{
    const QByteArray bytes = "time,A\n1,1\n2,2\n3,3\n";
    QByteArray copy = bytes;
    QBuffer atLimit(&copy);
    atLimit.open(QIODevice::ReadOnly);
    EXPECT_EQ(readFile(atLimit, 3).error, ReadError::None);

    QBuffer overLimit(&copy);
    overLimit.open(QIODevice::ReadOnly);
    const ReadResult r = readFile(overLimit, 2);
    EXPECT_EQ(r.error, ReadError::TooManyRows);
    EXPECT_EQ(r.line, 4);
}

namespace {
// A device that takes a few bytes and then refuses, like a full disk.
class FullDevice : public QIODevice
{
public:
    explicit FullDevice(qint64 room) : m_room(room) {}
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 len) override
    {
        if (m_room <= 0)
            return -1;
        const qint64 n = std::min(len, m_room);
        m_room -= n;
        return n;
    }

private:
    qint64 m_room;
};
} // namespace

TEST(ScopeFileWrite, ReportsARefusedWrite)
{
    const QVector<Curve> curves{curve("A", 0, 1, 9, "u", {0, 1, 2}, {1, 2, 3})};
    for (qint64 room : {0, 5, 30}) {
        FullDevice device(room);
        device.open(QIODevice::WriteOnly);
        EXPECT_FALSE(writeLines(device, curves)) << room;
    }
    FullDevice roomy(1000);
    roomy.open(QIODevice::WriteOnly);
    EXPECT_TRUE(writeLines(roomy, curves));
}

// ---- large files ---------------------------------------------------------

// The writer formats numbers on its own path for speed; its bytes must stay
// those of the lines, whatever the values: exact ties at the third decimal,
// signed zero, huge, tiny and non-finite values, curves of unequal length.
TEST(ScopeFileWrite, WritesTheBytesOfTheLinesForAnyValue)
{
    std::mt19937_64 random(19);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    const double special[] = {0.0, -0.0, 0.0625, -0.0625, 2.5625, -1234.9375, 0.0005, -0.0005, 1e15 + 0.5,
                              1e20, -1e300, 5e-324, std::numeric_limits<double>::max(),
                              std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity()};
    auto value = [&](int i) {
        switch (i % 4) {
        case 0: return special[random() % std::size(special)];
        case 1: return std::ldexp(uniform(random), int(random() % 120) - 60);
        case 2: return double(std::int64_t(random() % 2000001) - 1000000) / 16.0; // many exact ties
        default: return std::round(uniform(random) * 1e6) / 1e3 + 0.0005;
        }
    };
    QVector<Curve> curves;
    for (int k = 0; k < 5; ++k) {
        QVector<double> x, y;
        const int n = 4000 - 700 * k;
        for (int i = 0; i < n; ++i) {
            x.append(i * 0.001 + (k == 2 ? value(i) : 0.0));
            y.append(value(i + k));
        }
        curves.append(curve(QStringLiteral("C%1").arg(k), k, 1, 9, "u", x, y));
    }
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writeLines(out, curves));
    EXPECT_EQ(bytes, joined(exportLines(curves)).toUtf8());
}

// The reader takes the file in blocks and splits the lines itself; lines
// cut by a block's end must come out as line by line.
TEST(ScopeFileRead, ReadingInBlocksGivesWhatTheLinesGive)
{
    std::mt19937 random(7);
    QStringList lines{QStringLiteral("time,A_0_1_u,B_1_1_v,C")};
    QByteArray bytes = lines[0].toUtf8() + "\r\n";
    while (bytes.size() < 9 * 1024 * 1024) {
        QString line = QString::number(lines.size() * 0.001, 'f', 3);
        const int fields = int(random() % 5);
        for (int f = 0; f < fields; ++f)
            line += QLatin1Char(',') + (random() % 50 == 0 ? QStringLiteral(" \u00a0x ")
                                                            : QString::number(int(random() % 2000000) - 1000000));
        if (random() % 997 == 0)
            line += QLatin1Char(',') + QString(int(random() % 200000), QLatin1Char(' ')) + QStringLiteral("7");
        lines.append(line);
        bytes += line.toUtf8() + (random() % 2 ? "\n" : "\r\n");
    }
    const ReadResult read = readBytes(bytes);
    ASSERT_EQ(read.error, ReadError::None);
    const Content expected = importLines(lines);
    EXPECT_EQ(read.content.times, expected.times);
    ASSERT_EQ(read.content.curves.size(), 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(read.content.curves[k].y, expected.curves[k].y) << k;
    EXPECT_EQ(read.content.curves[0].y.size(), lines.size() - 1);
}

// Cancel from the progress report: the read returns nothing, the write
// stops; neither is taken for a failure.
TEST(ScopeFileProgress, StopsWhenTheReportAnswersNo)
{
    QVector<double> x(300000);
    for (int i = 0; i < x.size(); ++i)
        x[i] = i;
    const QVector<Curve> curves{curve("A", 0, 1, 9, "u", x, x), curve("B", 0, 1, 9, "u", x, x)};
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    qint64 lastDone = 0, lastTotal = 0;
    EXPECT_EQ(writeFile(out, curves, [&](qint64 done, qint64 total) {
                  lastDone = done;
                  lastTotal = total;
                  return true;
              }),
              WriteResult::Done);
    EXPECT_EQ(lastDone, x.size());
    EXPECT_EQ(lastTotal, x.size());

    int reports = 0;
    const auto stopAtSecond = [&reports](qint64, qint64) { return ++reports < 2; };
    QByteArray partial;
    QBuffer cut(&partial);
    cut.open(QIODevice::WriteOnly);
    EXPECT_EQ(writeFile(cut, curves, stopAtSecond), WriteResult::Cancelled);
    EXPECT_LT(partial.size(), bytes.size());

    reports = 0;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    const ReadResult read = readFile(in, kMaxRows, stopAtSecond);
    EXPECT_EQ(read.error, ReadError::Cancelled);
    EXPECT_EQ(reports, 2);
    EXPECT_TRUE(read.content.curves.isEmpty());
    EXPECT_TRUE(read.content.times.isEmpty());
}
