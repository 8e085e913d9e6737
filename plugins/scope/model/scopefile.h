// Scope data files: comma-separated text, one header line naming the curves,
// then one line per sample row. Everything here is free of widgets, so the
// format can be tested and benchmarked on its own; the scope page moves the
// curves between the plot and these records.
//
// Header: "time", then per curve  title_subIndex_key_unit, where key is the
// link-data key for sub-indexes below 6 and the end-effector key otherwise.
// Rows: the time, then one value per curve, three decimals, an empty field
// where a curve has no sample. Lines end with a single line feed.
//
// A derived channel's field is  name_derived_expression_unit, with "%", ","
// "_" and line breaks in the three texts written as %XX. A reader that does
// not know the form still takes it as a curve named by the first part. Its
// values may be "nan" or "inf", which read back as such.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVector>

#include <functional>
#include <vector>

class QIODevice;
struct _ST_ScopeAxisInfo;

namespace scopefile {

constexpr int kNoLink = 23;        // link-data key of a channel that is none
constexpr int kNoEndEffector = 9;  // end-effector key of a channel that is none
constexpr int kKeyThreshold = 6;   // sub-indexes from here on carry the end-effector key
constexpr int kMaxCurves = 48;     // curve slots of the plot; further columns are not kept
constexpr qint64 kMaxLineBytes = 1 << 20; // longer lines are refused, bounding memory per line
constexpr qint64 kMaxRows = 2000000;      // twice the longest window the scope records

// One curve as written to or read from a file.
struct Curve
{
    QString title;
    int subIndex = 0;
    int link = kNoLink;
    int endEffector = kNoEndEffector;
    QString unit;
    bool derived = false;
    QString expression; // of a derived channel
    QVector<double> x; // written: the curve's x values; read: unused (see Content::times)
    QVector<double> y;
};

// The curve a plotted channel is written as: its title, and the joint or
// component, link-data key, end-effector key and unit of its record; no
// samples yet.
Curve curveOf(const QString& title, const _ST_ScopeAxisInfo& info);

// The header field of one curve: title_subIndex_key_unit.
QString curveField(const Curve& curve);
// Number of data rows: the largest sample count of all curves.
int rowCount(const QVector<Curve>& curves);
// The header line, with its line feed.
QString headerLine(const QVector<Curve>& curves);
// Data row r (0 <= r < rowCount), with its line feed.
QString rowLine(const QVector<Curve>& curves, int r);
// All lines of a file for these curves, each ending in a line feed; no
// curves give no lines.
QStringList exportLines(const QVector<Curve>& curves);
// Writes the same lines as UTF-8; false when the device refused a write.
bool writeLines(QIODevice& device, const QVector<Curve>& curves);

// Told how far a long read or write has come (done of total: bytes read, or
// rows written); answering false stops it. Called from the thread doing the
// work, every few megabytes.
using Progress = std::function<bool(qint64 done, qint64 total)>;

enum class WriteResult { Done, Failed, Cancelled };
// writeLines with progress; the bytes are the same.
WriteResult writeFile(QIODevice& device, const QVector<Curve>& curves, const Progress& progress = {});

// What a file holds.
struct Content
{
    bool hasTimeColumn = false;
    int declaredCurves = 0;  // curve fields in the header, also beyond kMaxCurves
    QVector<Curve> curves;   // the first kMaxCurves of them; values in y
    QVector<double> times;   // the time column, one entry per full-width row
};

// Reads a number written with "." as decimal point, locale-independent;
// surrounding white space is ignored; anything that is not a finite number
// reads as 0.
double readNumber(QStringView text);
// The same for UTF-8 bytes.
double readNumber(const char* text, qsizetype size);
// The same for a derived channel's value: "nan", "inf" and "-inf" keep their
// meaning, an empty field is NaN.
double readDerivedNumber(const char* text, qsizetype size);

// Builds a Content line by line, so a file need not be held in memory whole.
// The first line given is the header.
class Parser
{
public:
    void addLine(QStringView line);
    // The same for a line of UTF-8 bytes, without converting a data row.
    void addLine(const char* line, qsizetype size);
    qint64 linesSeen() const { return m_lines; }
    // Makes room for this many data rows at once (a guess; more still fit).
    void reserveRows(int rows);
    Content take();

private:
    void addHeader(QStringView line);
    void addRow(const char* line, qsizetype size);
    double readField(const char* field, const char* end, const char*& next) const;

    Content m_content;
    qint64 m_lines = 0;
    // The value columns are sized ahead and written in place; take() cuts
    // them to the rows read.
    int m_values = 0; // rows in every kept curve's y
    int m_times = 0;  // entries of the time column
    // Rows are gathered row by row in a small block and moved into the
    // columns a block at a time: one write stream per column instead of
    // one store into each of 36 columns per row.
    void flushBlock();
    std::vector<double> m_block;
    int m_blockRows = 0;
    bool m_anyDerived = false; // a kept curve is a derived channel
};

// Parses the lines of a file, each without its line end.
Content importLines(const QStringList& lines);

enum class ReadError { None, NotText, LineTooLong, TooManyRows, ReadFailed, Cancelled };

struct ReadResult
{
    ReadError error = ReadError::None;
    qint64 line = 0; // 1-based line number the error was found on
    Content content;
};

// Reads a whole file from an open device. Lines may end in "\n" or "\r\n";
// a UTF-8 byte order mark before the header is skipped.
// Refuses (and returns no content) on a NUL byte, a line longer than
// kMaxLineBytes, more than maxRows data lines or a read error, and stops
// (Cancelled, no content) when progress answers false.
ReadResult readFile(QIODevice& device, qint64 maxRows = kMaxRows, const Progress& progress = {});

} // namespace scopefile
