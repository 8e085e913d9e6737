// A scope data file on import: the whole-file reader and the line parser.
#include "scopefile.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <cstdlib>

using namespace scopefile;

namespace {

void checkContent(const Content& c)
{
    if (c.curves.size() > kMaxCurves || c.declaredCurves < c.curves.size())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    // A small row limit keeps each run short; it is checked like the real one.
    const ReadResult r = readFile(device, 200);
    if (r.error != ReadError::None && (!r.content.curves.isEmpty() || !r.content.times.isEmpty()))
        std::abort();
    if (r.content.times.size() > 200)
        std::abort();
    checkContent(r.content);

    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    if (lines.size() <= 400)
        checkContent(importLines(lines));
    // The reader's byte path and the text path read every field alike.
    for (const QString& line : lines.mid(0, 8)) {
        const QByteArray utf8 = line.toUtf8();
        if (readNumber(line) != readNumber(utf8.constData(), utf8.size()))
            std::abort();
    }
    return 0;
}
