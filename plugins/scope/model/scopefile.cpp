#include "scopefile.h"

#include "ScopeChannels.h"

#include <QByteArray>
#include <QIODevice>

#include <charconv>
#include <sys/mman.h>
#include <unistd.h>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace scopefile {

namespace {

const char kDerivedMark[] = "derived";

QString encodeText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u == '%' || u == ',' || u == '_' || u == '\n' || u == '\r')
            out += QLatin1Char('%') + QString::number(u, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString decodeText(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('%') && i + 2 < text.size()) {
            bool ok = false;
            const int code = text.mid(i + 1, 2).toString().toInt(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

} // namespace

Curve curveOf(const QString& title, const _ST_ScopeAxisInfo& info)
{
    Curve c;
    c.title = title;
    c.subIndex = info.nSubIndex;
    c.link = int(info.eLink);
    c.endEffector = int(info.eEndEff);
    c.unit = info.strUnit;
    return c;
}

QString curveField(const Curve& curve)
{
    if (curve.derived)
        return encodeText(curve.title) + QLatin1Char('_') + QLatin1String(kDerivedMark) + QLatin1Char('_')
               + encodeText(curve.expression) + QLatin1Char('_') + encodeText(curve.unit);
    const int key = curve.subIndex < kKeyThreshold ? curve.link : curve.endEffector;
    return curve.title + QLatin1Char('_') + QString::number(curve.subIndex) + QLatin1Char('_')
           + QString::number(key) + QLatin1Char('_') + curve.unit;
}

int rowCount(const QVector<Curve>& curves)
{
    int n = 0;
    for (const Curve& c : curves)
        n = std::max(n, std::max(c.x.size(), c.y.size()));
    return n;
}

QString headerLine(const QVector<Curve>& curves)
{
    QString line = QStringLiteral("time");
    for (const Curve& c : curves) {
        line += QLatin1Char(',');
        line += curveField(c);
    }
    line += QLatin1Char('\n');
    return line;
}

static void appendNumber(QString& line, double value)
{
    // QString::number always writes the C locale: "." and no grouping.
    line += QString::number(value, 'f', 3);
}

QString rowLine(const QVector<Curve>& curves, int r)
{
    QString line;
    line.reserve(12 * (curves.size() + 1));
    for (const Curve& c : curves) {
        if (r < c.x.size() && r < c.y.size()) {
            appendNumber(line, c.x[r]);
            break;
        }
    }
    for (const Curve& c : curves) {
        line += QLatin1Char(',');
        if (r < c.y.size())
            appendNumber(line, c.y[r]);
    }
    line += QLatin1Char('\n');
    return line;
}

QStringList exportLines(const QVector<Curve>& curves)
{
    QStringList lines;
    if (curves.isEmpty())
        return lines;
    const int n = rowCount(curves);
    lines.reserve(n + 1);
    lines.append(headerLine(curves));
    for (int r = 0; r < n; ++r)
        lines.append(rowLine(curves, r));
    return lines;
}

// Appends value as QString::number(value, 'f', 3) writes it. std::to_chars
// rounds an exact tie to even where Qt rounds it away from zero, and writes
// negative zero with its sign; those few values, and those that are not
// finite, take Qt's own path.
static void appendNumber(QByteArray& out, double value)
{
    // Ties at the third decimal are the multiples of 1/16 with an odd
    // numerator: 16 * value is then an odd integer (exact, a power of two).
    const double sixteenths = value * 16.0;
    const bool tie = std::fabs(sixteenths) < 9007199254740992.0 && sixteenths == std::trunc(sixteenths)
                     && std::fmod(sixteenths, 2.0) != 0.0;
    if (!std::isfinite(value) || value == 0.0 || tie) {
        out += QByteArray::number(value, 'f', 3);
        return;
    }
    char buf[400]; // the longest double in fixed notation with 3 decimals fits
    const auto res = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::fixed, 3);
    out.append(buf, int(res.ptr - buf));
}

static void appendRow(QByteArray& out, const QVector<Curve>& curves, int r)
{
    for (const Curve& c : curves) {
        if (r < c.x.size() && r < c.y.size()) {
            appendNumber(out, c.x[r]);
            break;
        }
    }
    for (const Curve& c : curves) {
        out += ',';
        if (r < c.y.size())
            appendNumber(out, c.y[r]);
    }
    out += '\n';
}

WriteResult writeFile(QIODevice& device, const QVector<Curve>& curves, const Progress& progress)
{
    if (curves.isEmpty())
        return WriteResult::Done;
    // Rows are gathered into a few megabytes before each write: one system
    // call per buffer, not per line.
    constexpr int kFlushBytes = 4 << 20;
    QByteArray buffer = headerLine(curves).toUtf8();
    buffer.reserve(kFlushBytes + (1 << 16));
    const int n = rowCount(curves);
    for (int r = 0; r < n; ++r) {
        appendRow(buffer, curves, r);
        if (buffer.size() >= kFlushBytes || r == n - 1) {
            if (device.write(buffer) != buffer.size())
                return WriteResult::Failed;
            buffer.resize(0);
            if (progress && !progress(r + 1, n))
                return WriteResult::Cancelled;
        }
    }
    if (!buffer.isEmpty() && device.write(buffer) != buffer.size())
        return WriteResult::Failed;
    return WriteResult::Done;
}

bool writeLines(QIODevice& device, const QVector<Curve>& curves)
{
    return writeFile(device, curves) == WriteResult::Done;
}

double readNumber(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return 0.0;
    // A leading "+" is accepted as a sign, as the C library reads it.
    if (text.front() == QLatin1Char('+') && text.size() > 1 && text[1] != QLatin1Char('-')
        && text[1] != QLatin1Char('+'))
        text = text.mid(1);

    char small[128];
    std::string big;
    char* buf = small;
    const qsizetype n = text.size();
    if (n > qsizetype(sizeof(small))) {
        big.resize(std::size_t(n));
        buf = big.data();
    }
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ch = text[i].unicode();
        if (ch > 0x7f)
            return 0.0;
        buf[i] = char(ch);
    }
    double value = 0.0;
    const auto res = std::from_chars(buf, buf + n, value, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != buf + n || !std::isfinite(value))
        return 0.0;
    return value;
}

static bool isAsciiSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

double readNumber(const char* text, qsizetype size)
{
    const char* b = text;
    const char* e = text + size;
    while (b < e && isAsciiSpace(*b))
        ++b;
    while (e > b && isAsciiSpace(e[-1]))
        --e;
    for (const char* p = b; p < e; ++p) {
        // Other white space (a no-break space, say) and anything else beyond
        // ASCII: the text's own reading decides. A byte-order mark inside a
        // file is no white space there, but QString::fromUtf8 would drop it
        // from the front of a field, so it is answered here.
        if (static_cast<unsigned char>(*p) >= 0x80) {
            if (e - b >= 3 && std::memcmp(b, "\xEF\xBB\xBF", 3) == 0)
                return 0.0;
            return readNumber(QString::fromUtf8(b, int(e - b)));
        }
    }
    if (b == e)
        return 0.0;
    if (*b == '+' && e - b > 1 && b[1] != '-' && b[1] != '+')
        ++b;
    double value = 0.0;
    const auto res = std::from_chars(b, e, value, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != e || !std::isfinite(value))
        return 0.0;
    return value;
}

double readDerivedNumber(const char* text, qsizetype size)
{
    const char* b = text;
    const char* e = text + size;
    while (b < e && isAsciiSpace(*b))
        ++b;
    while (e > b && isAsciiSpace(e[-1]))
        --e;
    const QByteArray t = QByteArray(b, int(e - b)).toLower();
    if (t == "inf" || t == "+inf")
        return std::numeric_limits<double>::infinity();
    if (t == "-inf")
        return -std::numeric_limits<double>::infinity();
    if (t.isEmpty() || t == "nan" || t == "-nan")
        return std::numeric_limits<double>::quiet_NaN();
    return readNumber(b, e - b);
}

// Calls f(field) for every comma-separated field of line, empty ones kept.
template <typename F>
static void forEachField(QStringView line, QChar sep, F&& f)
{
    qsizetype start = 0;
    for (;;) {
        const qsizetype pos = line.indexOf(sep, start);
        if (pos < 0) {
            f(line.mid(start));
            return;
        }
        f(line.mid(start, pos - start));
        start = pos + 1;
    }
}

void Parser::addLine(QStringView line)
{
    if (m_lines++ == 0) {
        addHeader(line);
    } else {
        const QByteArray bytes = line.toUtf8();
        addRow(bytes.constData(), bytes.size());
    }
}

void Parser::addLine(const char* line, qsizetype size)
{
    if (m_lines++ == 0)
        addHeader(QString::fromUtf8(line, int(size)));
    else
        addRow(line, size);
}

void Parser::addHeader(QStringView line)
{
    forEachField(line, QLatin1Char(','), [this](QStringView field) {
        if (field == QLatin1String("time")) {
            m_content.hasTimeColumn = true;
            return;
        }
        const int i = m_content.declaredCurves++;
        if (i >= kMaxCurves)
            return;
        QVector<QStringView> parts;
        forEachField(field, QLatin1Char('_'), [&parts](QStringView part) { parts.append(part); });
        Curve curve;
        curve.title = parts[0].toString();
        if (parts.size() == 4 && parts[1] == QLatin1String(kDerivedMark)) {
            curve.derived = true;
            curve.title = decodeText(parts[0]);
            curve.expression = decodeText(parts[2]);
            curve.unit = decodeText(parts[3]);
            m_anyDerived = true;
        } else if (parts.size() < 4) {
            curve.unit = QStringLiteral("Unit");
        } else {
            curve.subIndex = parts[1].toString().toInt();
            const int key = parts[2].toString().toInt();
            if (curve.subIndex >= kKeyThreshold)
                curve.endEffector = key;
            else
                curve.link = key;
            curve.unit = parts[3].toString();
        }
        m_content.curves.append(curve);
    });
}

// Reads the number of the field starting at field; next becomes the
// field's end (its comma or end). The common case, a plain number right up
// to the comma, is read in one pass; anything else (white space, a "+",
// text) goes through readNumber, so both read alike.
double Parser::readField(const char* field, const char* end, const char*& next) const
{
    double value = 0.0;
    const auto res = std::from_chars(field, end, value, std::chars_format::general);
    if (res.ec == std::errc() && (res.ptr == end || *res.ptr == ',') && std::isfinite(value)) {
        next = res.ptr;
        return value;
    }
    next = static_cast<const char*>(std::memchr(field, ',', std::size_t(end - field)));
    if (!next)
        next = end;
    return readNumber(field, next - field);
}

// Asks the kernel for the pages of [begin, end) at once, as huge pages
// where whole ones fit. Touched one by one, pages cost a fault each, which on
// a virtual machine is a trip to its host: a quarter of an import's time
// there, and more for a long recording's columns. Where the kernel does not
// know a request, the pages come as before.
static void presentPages(void* begin, void* end)
{
    static const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    const auto b = reinterpret_cast<std::uintptr_t>(begin);
    const auto e = reinterpret_cast<std::uintptr_t>(end);
    const std::uintptr_t hb = (b + huge - 1) & ~(huge - 1), he = e & ~(huge - 1);
    if (he > hb)
        madvise(reinterpret_cast<void*>(hb), he - hb, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    const std::uintptr_t pb = (b + page - 1) & ~(page - 1), pe = e & ~(page - 1);
    if (pe > pb)
        madvise(reinterpret_cast<void*>(pb), pe - pb, MADV_POPULATE_WRITE);
#endif
}

// Grows a column read in place to hold at least rows entries.
static void makeRoom(QVector<double>& column, int rows)
{
    if (column.size() >= rows)
        return;
    const int size = std::max(rows, std::max(1024, column.size() * 2));
    column.reserve(size);
    presentPages(column.data() + column.size(), column.data() + size);
    column.resize(size);
}

void Parser::reserveRows(int rows)
{
    for (Curve& c : m_content.curves)
        makeRoom(c.y, rows);
    if (m_content.hasTimeColumn)
        makeRoom(m_content.times, rows);
}

Content Parser::take()
{
    flushBlock();
    for (Curve& c : m_content.curves)
        c.y.resize(m_values);
    m_content.times.resize(m_times);
    return std::move(m_content);
}

void Parser::flushBlock()
{
    // No rows waiting: the block may not even have storage yet.
    if (m_blockRows == 0)
        return;
    const int kept = m_content.curves.size();
    for (int i = 0; i < kept; ++i) {
        QVector<double>& y = m_content.curves[i].y;
        makeRoom(y, m_values + m_blockRows);
        double* column = y.data() + m_values;
        const double* from = m_block.data() + i;
        for (int r = 0; r < m_blockRows; ++r)
            column[r] = from[std::size_t(r) * std::size_t(kept)];
    }
    m_values += m_blockRows;
    m_blockRows = 0;
}

void Parser::addRow(const char* line, qsizetype size)
{
    const int curves = m_content.declaredCurves;
    if (curves == 0)
        return;
    const int kept = m_content.curves.size();

    // Only the fields that can matter are read: the time and the kept
    // curves; the rest are counted up to one past full width.
    double values[kMaxCurves + 1];
    // Where each field read lies: a derived channel's field is read again
    // by its own rule once the row's width says which curve it belongs to.
    const char* starts[kMaxCurves + 1];
    const char* ends[kMaxCurves + 1];
    const int wanted = kept + 1;
    int parsed = 0;
    qsizetype count = 0;
    const char* field = line;
    const char* const end = line + size;
    for (;;) {
        const char* next = nullptr;
        if (parsed < wanted) {
            starts[parsed] = field;
            values[parsed] = readField(field, end, next);
            ends[parsed++] = next;
        } else {
            next = static_cast<const char*>(std::memchr(field, ',', std::size_t(end - field)));
            if (!next)
                next = end;
        }
        ++count;
        if (next == end || count > curves)
            break;
        field = next + 1;
    }

    int first = 0;
    if (m_content.hasTimeColumn && count >= curves + 1) {
        makeRoom(m_content.times, m_times + 1);
        m_content.times.data()[m_times++] = values[0];
        first = 1;
    }
    constexpr int kBlockRows = 256;
    if (m_block.empty())
        m_block.resize(std::size_t(kBlockRows) * std::size_t(kept));
    double* row = m_block.data() + std::size_t(m_blockRows) * std::size_t(kept);
    for (int i = 0; i < kept; ++i) {
        const int f = first + i;
        if (m_anyDerived && m_content.curves[i].derived)
            row[i] = f < parsed ? readDerivedNumber(starts[f], ends[f] - starts[f])
                                : std::numeric_limits<double>::quiet_NaN();
        else
            row[i] = f < parsed ? values[f] : 0.0;
    }
    if (++m_blockRows == kBlockRows)
        flushBlock();
}

Content importLines(const QStringList& lines)
{
    Parser parser;
    for (const QString& line : lines)
        parser.addLine(line);
    return parser.take();
}

ReadResult readFile(QIODevice& device, qint64 maxRows, const Progress& progress)
{
    ReadResult result;
    Parser parser;
    qint64 lineNo = 0;
    auto fail = [&result](ReadError error, qint64 line) {
        result.error = error;
        result.line = line;
        result.content = Content();
        return result;
    };
    // Checks one line (without its "\n") and hands it to the parser; false
    // when the file is refused.
    auto take = [&](const char* line, qint64 size) {
        ++lineNo;
        if (size > 0 && line[size - 1] == '\r')
            --size;
        if (size > kMaxLineBytes) {
            fail(ReadError::LineTooLong, lineNo);
            return false;
        }
        if (std::memchr(line, '\0', std::size_t(size))) {
            fail(ReadError::NotText, lineNo);
            return false;
        }
        if (lineNo > maxRows + 1) {
            fail(ReadError::TooManyRows, lineNo);
            return false;
        }
        // Spreadsheet programs that save UTF-8 put a byte order mark first;
        // it is no part of the "time" field.
        if (lineNo == 1 && size >= 3 && std::memcmp(line, "\xEF\xBB\xBF", 3) == 0) {
            line += 3;
            size -= 3;
        }
        parser.addLine(line, size);
        return true;
    };

    // The file is read in blocks and split here: the bytes of a line that a
    // block cuts are moved to the front for the next. The buffer is fresh
    // memory at every import, and where a first touch of a page costs a trip
    // to the host (a virtual machine), a few megabytes of it were a tenth of
    // an import; a quarter of a megabyte costs next to nothing and still
    // takes a read call per thousand lines or so.
    constexpr qint64 kBlock = 256 << 10;
    const qint64 total = device.size();
    qint64 done = 0;
    QByteArray buffer(int(kBlock + kMaxLineBytes + 2), Qt::Uninitialized);
    qint64 held = 0; // bytes of an unfinished line at the front of the buffer
    bool reserved = false;
    for (;;) {
        const qint64 n = device.read(buffer.data() + held, std::min<qint64>(kBlock, buffer.size() - held));
        if (n < 0)
            return fail(ReadError::ReadFailed, lineNo + 1);
        done += n;
        const char* begin = buffer.constData();
        const char* const end = begin + held + n;
        while (begin < end) {
            const char* nl = static_cast<const char*>(std::memchr(begin, '\n', std::size_t(end - begin)));
            if (!nl)
                break;
            if (!take(begin, nl - begin))
                return result;
            begin = nl + 1;
        }
        held = end - begin;
        if (!reserved && lineNo > 1) {
            // Room for the rows the file's size promises at the first
            // block's line length, so the columns are not copied as they grow.
            reserved = true;
            const double perLine = double(done - held) / double(lineNo);
            const double rows = double(total) / std::max(perLine, 1.0) * 1.05 + 16;
            parser.reserveRows(int(std::min(rows, double(maxRows + 1))));
        }
        if (n == 0) {
            // The last line, when the file does not end with a line feed.
            if (held > 0 && !take(begin, held))
                return result;
            break;
        }
        // An unfinished line longer than any allowed one (with its "\r").
        if (held > kMaxLineBytes + 1)
            return fail(ReadError::LineTooLong, lineNo + 1);
        if (held > 0 && begin != buffer.constData())
            std::memmove(buffer.data(), begin, std::size_t(held));
        if (progress && !progress(done, total))
            return fail(ReadError::Cancelled, lineNo);
    }
    result.content = parser.take();
    return result;
}

} // namespace scopefile
