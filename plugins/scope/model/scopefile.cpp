#include "scopefile.h"

#include <QByteArray>
#include <QIODevice>
#include <QVarLengthArray>

#include <charconv>
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

bool writeLines(QIODevice& device, const QVector<Curve>& curves)
{
    if (curves.isEmpty())
        return true;
    auto put = [&device](const QString& line) {
        const QByteArray bytes = line.toUtf8();
        return device.write(bytes) == bytes.size();
    };
    if (!put(headerLine(curves)))
        return false;
    const int n = rowCount(curves);
    for (int r = 0; r < n; ++r) {
        if (!put(rowLine(curves, r)))
            return false;
    }
    return true;
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

double readDerivedNumber(QStringView text)
{
    text = text.trimmed();
    const QString t = text.toString().toLower();
    if (t == QLatin1String("inf") || t == QLatin1String("+inf"))
        return std::numeric_limits<double>::infinity();
    if (t == QLatin1String("-inf"))
        return -std::numeric_limits<double>::infinity();
    const double v = readNumber(text);
    if (v == 0.0 && (t.isEmpty() || t == QLatin1String("nan") || t == QLatin1String("-nan")))
        return std::numeric_limits<double>::quiet_NaN();
    return v;
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
    if (m_lines++ == 0)
        addHeader(line);
    else
        addRow(line);
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

void Parser::addRow(QStringView line)
{
    const int curves = m_content.declaredCurves;
    if (curves == 0)
        return;
    const int kept = m_content.curves.size();

    // Only the fields that can matter are looked at: the time and the kept
    // curves, plus a count to tell whether the row is full width.
    QVarLengthArray<QStringView, kMaxCurves + 1> fields;
    qsizetype count = 0;
    qsizetype start = 0;
    for (;;) {
        const qsizetype pos = line.indexOf(QLatin1Char(','), start);
        const QStringView field = pos < 0 ? line.mid(start) : line.mid(start, pos - start);
        if (fields.size() < kMaxCurves + 1)
            fields.append(field);
        ++count;
        if (pos < 0 || count > curves)
            break;
        start = pos + 1;
    }

    int first = 0;
    if (m_content.hasTimeColumn && count >= curves + 1) {
        m_content.times.append(readNumber(fields[0]));
        first = 1;
    }
    for (int i = 0; i < kept; ++i) {
        const int f = first + i;
        Curve& curve = m_content.curves[i];
        if (curve.derived)
            curve.y.append(f < fields.size() ? readDerivedNumber(fields[f])
                                             : std::numeric_limits<double>::quiet_NaN());
        else
            curve.y.append(f < fields.size() ? readNumber(fields[f]) : 0.0);
    }
}

Content importLines(const QStringList& lines)
{
    Parser parser;
    for (const QString& line : lines)
        parser.addLine(line);
    return parser.take();
}

ReadResult readFile(QIODevice& device, qint64 maxRows)
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
    // One buffer for every line, with room for the longest allowed line, its
    // "\r\n" and the terminating zero readLine() writes.
    QByteArray buffer(int(kMaxLineBytes + 4), Qt::Uninitialized);
    while (!device.atEnd()) {
        ++lineNo;
        const qint64 n = device.readLine(buffer.data(), buffer.size());
        if (n < 0 || (n == 0 && !device.atEnd()))
            return fail(ReadError::ReadFailed, lineNo);
        const char* line = buffer.constData();
        qint64 size = n;
        const bool complete = size > 0 && line[size - 1] == '\n';
        if (complete)
            --size;
        if (size > 0 && line[size - 1] == '\r')
            --size;
        if (size > kMaxLineBytes || (!complete && !device.atEnd()))
            return fail(ReadError::LineTooLong, lineNo);
        if (std::memchr(line, '\0', std::size_t(size)))
            return fail(ReadError::NotText, lineNo);
        if (lineNo > maxRows + 1)
            return fail(ReadError::TooManyRows, lineNo);
        // Spreadsheet programs that save UTF-8 put a byte order mark first;
        // it is no part of the "time" field.
        if (lineNo == 1 && size >= 3 && std::memcmp(line, "\xEF\xBB\xBF", 3) == 0) {
            line += 3;
            size -= 3;
        }
        parser.addLine(QString::fromUtf8(line, int(size)));
    }
    result.content = parser.take();
    return result;
}

} // namespace scopefile
