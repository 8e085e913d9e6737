#include "VX_ScopeStream.h"

#include "VX_Protocol.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <type_traits>

namespace vx {

static_assert(std::is_trivially_copyable_v<_ST_ReadScopeData>,
              "rows are taken from the reply bytes by copying them");
static_assert(kRowSize == 296, "a row is 37 doubles");

namespace {

std::uint32_t U32At(const char* at)
{
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Walks row bytes that do not sit on a row boundary in memory and hands out
// each row by value, built straight from its bytes. Appending through it
// constructs every row once in its place in the vector: the row bytes are
// copied once, with no zero-filled room written first.
class RowBytes
{
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = _ST_ReadScopeData;
    using difference_type = std::ptrdiff_t;
    using pointer = const _ST_ReadScopeData*;
    using reference = _ST_ReadScopeData;

    explicit RowBytes(const char* at) : m_at(at) {}

    _ST_ReadScopeData operator*() const
    {
        _ST_ReadScopeData row;
        std::memcpy(&row, m_at, kRowSize);
        return row;
    }
    RowBytes& operator++()
    {
        m_at += kRowSize;
        return *this;
    }
    RowBytes operator++(int)
    {
        RowBytes before = *this;
        m_at += kRowSize;
        return before;
    }
    bool operator==(const RowBytes& other) const { return m_at == other.m_at; }
    bool operator!=(const RowBytes& other) const { return m_at != other.m_at; }

private:
    const char* m_at;
};

// Appends `count` rows that lie back to back from `first`.
void AppendRows(const char* first, std::size_t count, std::vector<_ST_ReadScopeData>* rows)
{
    if (count == 0)
        return;
    if (reinterpret_cast<std::uintptr_t>(first) % alignof(_ST_ReadScopeData) == 0) {
        // Row bytes on a row boundary are rows as they stand (a trivially
        // copyable type laid out as the controller sends it): the vector
        // takes them in one block copy.
        const auto* at = reinterpret_cast<const _ST_ReadScopeData*>(first);
        rows->insert(rows->end(), at, at + count);
    } else {
        rows->insert(rows->end(), RowBytes(first), RowBytes(first + count * kRowSize));
    }
}

bool IsAcknowledgement(const char* head)
{
    const std::uint32_t total = U32At(head + 4);
    return std::memcmp(head, "LTBR", 4) == 0 && U32At(head + 12) == kCmdSetScopeIndexes &&
           total >= kAckHeaderSize && total <= kMaxAckSize;
}

// The first 16 bytes of a framed controller's data reply: "LTBR", a total
// length that whole rows fill, the length after byte 12, command 2.
bool IsFramedStart(const char* head)
{
    const std::uint32_t total = U32At(head + 4);
    return std::memcmp(head, "LTBR", 4) == 0 && U32At(head + 12) == kCmdReadScopeData &&
           total >= kReplyRowsOffset && (total - kReplyRowsOffset) % kRowSize == 0 &&
           U32At(head + 8) == total - 12;
}

// A framed reply header whose total length is that of the rows it counts.
bool IsFramedReply(const char* head)
{
    return IsFramedStart(head) &&
           U32At(head + 4) == kReplyRowsOffset + std::uint64_t{U32At(head + kReplyRowCountOffset)} * kRowSize;
}

} // namespace

ScopeStreamResult ScopeStreamReader::Read(std::string_view bytes, double* cpuLoad,
                                          std::uint32_t* memory, std::vector<_ST_ReadScopeData>* rows)
{
    ScopeStreamResult result;
    Outputs out{cpuLoad, memory, rows, result};
    Cursor in{bytes.data(), bytes.data() + bytes.size()};
    Consume(in, out);
    return result;
}

void ScopeStreamReader::Consume(Cursor& in, Outputs& out)
{
    while (in.at < in.end) {
        switch (m_part) {
        case Part::Header:
            ReadHeader(in, out);
            break;
        case Part::Rows:
            ReadRows(in, out);
            break;
        case Part::Pass:
            PassOver(in);
            break;
        case Part::Resync:
            Resync(in, out);
            break;
        }
    }
}

void ScopeStreamReader::Reset()
{
    *this = ScopeStreamReader();
}

void ScopeStreamReader::ExpectHeader()
{
    m_part = Part::Header;
    m_headFill = 0;
    m_rowFill = 0;
    m_rowsLeft = 0;
    m_passLeft = 0;
}

void ScopeStreamReader::StartAcknowledgement(Outputs& out)
{
    ++out.result.acknowledgements;
    const std::uint32_t total = U32At(m_head + 4);
    ExpectHeader();
    if (total > kAckHeaderSize) {
        m_part = Part::Pass;
        m_passLeft = total - kAckHeaderSize;
    }
}

void ScopeStreamReader::ReadHeader(Cursor& in, Outputs& out)
{
    // The first 16 bytes tell an acknowledgement from a data reply.
    const std::size_t want = m_headFill < kAckHeaderSize ? kAckHeaderSize : kReplyRowsOffset;
    const std::size_t take = std::min(want - m_headFill, in.left());
    std::memcpy(m_head + m_headFill, in.at, take);
    m_headFill += take;
    in.at += take;
    if (m_headFill == kAckHeaderSize && want == kAckHeaderSize && IsAcknowledgement(m_head)) {
        StartAcknowledgement(out);
        return;
    }
    if (m_headFill == kReplyRowsOffset)
        StartReply(in, out);
}

void ScopeStreamReader::StartReply(Cursor& in, Outputs& out)
{
    const std::uint32_t announced = U32At(m_head + kReplyRowCountOffset);
    // The first reply of a sound stream (nothing broke since the connection
    // opened) tells whether this controller frames its replies: one that
    // does starts every answer with "LTBR". The rest of the header does not
    // tell: a controller that frames may cut its first answers short (an
    // acknowledgement, or a reply without rows inside its header), and the
    // next answer's bytes then stand in for the missing ones. After a
    // break, only a framed reply can be told from bytes that make none.
    if (m_framing == Framing::Unknown && announced <= kMaxRowsInReply && m_broken == 0)
        m_framing = std::memcmp(m_head, "LTBR", 4) == 0 ? Framing::Framed : Framing::Opaque;
    if (m_framing != Framing::Opaque && (announced > kMaxRowsInReply || !IsFramedReply(m_head))) {
        // No reply starts here; one may start at any later byte, also inside
        // these 32.
        Break(in, out, m_head + 1, kReplyRowsOffset - 1);
        return;
    }
    std::memcpy(out.cpuLoad, m_head + kReplyCpuLoadOffset, sizeof(double));
    std::memcpy(out.memory, m_head + kReplyMemoryOffset, sizeof(std::uint32_t));
    ++out.result.headers;
    if (announced > kMaxRowsInReply) {
        // Nothing after a count like this can be framed: the rows wholly
        // present are all this "reply" can give, and the controller's next
        // answer starts with the next fetch.
        const std::size_t count = RowsThatFollow(in.at, std::min(in.left() / kRowSize, kMaxRowsPerReply));
        AppendRows(in.at, count, out.rows);
        out.result.appended += count;
        Break(in, out, nullptr, 0);
        return;
    }
    const std::size_t taken = std::min<std::size_t>(announced, kMaxRowsPerReply);
    const std::uint64_t overCap = announced - taken;
    out.result.rowsOverCap += overCap;
    m_rowsOverCap += overCap;
    ExpectHeader();
    m_rowsLeft = taken;
    m_passLeft = overCap * kRowSize;
    if (m_rowsLeft > 0)
        m_part = Part::Rows;
    else if (m_passLeft > 0)
        m_part = Part::Pass;
}

void ScopeStreamReader::ReadRows(Cursor& in, Outputs& out)
{
    if (m_rowFill > 0 || in.left() < kRowSize) {
        // A row cut by a fetch's end: gathered, then delivered whole.
        const std::size_t take = std::min(kRowSize - m_rowFill, in.left());
        std::memcpy(reinterpret_cast<char*>(&m_row) + m_rowFill, in.at, take);
        m_rowFill += take;
        in.at += take;
        if (m_rowFill < kRowSize)
            return;
        if (RowsThatFollow(reinterpret_cast<const char*>(&m_row), 1) == 0) {
            Break(in, out, reinterpret_cast<const char*>(&m_row), kRowSize);
            return;
        }
        out.rows->push_back(m_row);
        m_rowFill = 0;
        --m_rowsLeft;
        ++out.result.appended;
    } else {
        const std::size_t count = std::min(m_rowsLeft, in.left() / kRowSize);
        const std::size_t good = RowsThatFollow(in.at, count);
        AppendRows(in.at, good, out.rows);
        in.at += good * kRowSize;
        m_rowsLeft -= good;
        out.result.appended += good;
        if (good < count) {
            // The next reply may start at the first byte of the row that
            // broke (a reply cut short by the controller).
            Break(in, out, nullptr, 0);
            return;
        }
    }
    if (m_rowsLeft == 0)
        m_part = m_passLeft > 0 ? Part::Pass : Part::Header;
}

void ScopeStreamReader::PassOver(Cursor& in)
{
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(m_passLeft, in.left()));
    in.at += take;
    m_passLeft -= take;
    if (m_passLeft == 0)
        m_part = Part::Header;
}

void ScopeStreamReader::Resync(Cursor& in, Outputs& out)
{
    // m_head holds the bytes from a possible "LTBR" on, gathered until 16
    // tell whether a framed reply or an acknowledgement starts there.
    while (in.at < in.end) {
        if (m_headFill == 0) {
            const void* magic = std::memchr(in.at, 'L', in.left());
            if (!magic) {
                in.at = in.end;
                return;
            }
            in.at = static_cast<const char*>(magic);
        }
        const std::size_t take = std::min(kAckHeaderSize - m_headFill, in.left());
        std::memcpy(m_head + m_headFill, in.at, take);
        m_headFill += take;
        in.at += take;
        if (m_headFill < kAckHeaderSize)
            return;
        if (IsAcknowledgement(m_head)) {
            StartAcknowledgement(out);
            return;
        }
        if (IsFramedStart(m_head)) {
            m_framing = Framing::Framed;
            m_part = Part::Header; // the rest of the header follows
            return;
        }
        const void* next = std::memchr(m_head + 1, 'L', kAckHeaderSize - 1);
        const std::size_t from = next ? static_cast<std::size_t>(static_cast<const char*>(next) - m_head)
                                      : kAckHeaderSize;
        std::memmove(m_head, m_head + from, kAckHeaderSize - from);
        m_headFill = kAckHeaderSize - from;
    }
}

void ScopeStreamReader::Break(Cursor& in, Outputs& out, const char* replay, std::size_t replayLength)
{
    // The bytes to read again may be the reader's own (the header or row
    // that broke), which the reading below overwrites.
    char again[kRowSize];
    if (replayLength > 0)
        std::memcpy(again, replay, replayLength);
    out.result.broken = true;
    ++m_broken;
    ExpectHeader();
    m_lastTime = -std::numeric_limits<double>::infinity();
    if (m_framing == Framing::Opaque) {
        // A controller whose header bytes say nothing: its next answer is
        // taken to start with the next fetch.
        in.at = in.end;
        return;
    }
    m_part = Part::Resync;
    Cursor replayed{again, again + replayLength};
    Consume(replayed, out);
}

std::size_t ScopeStreamReader::RowsThatFollow(const char* first, std::size_t count)
{
    // A controller stamps its rows with a rising sample time. A row whose
    // stamp does not rise, or is no number a clock gives, was not framed
    // from the controller's bytes as it sent them: a reply that was cut
    // short, whose missing bytes the following reply's header and rows stand
    // in for. Beyond 2^53 a double no longer counts whole milliseconds, so no
    // clock reads there; text and integers read as a double land beyond it
    // or among the subnormal numbers.
    constexpr double kLargestStamp = 9007199254740992.0; // 2^53
    auto stampAt = [first](std::size_t i) {
        double time;
        std::memcpy(&time, first + i * kRowSize, sizeof time);
        return time;
    };
    // A clock's reading: zero or a normal number no larger than 2^53 (NaN
    // fails every comparison, an infinity the size).
    auto clockReading = [](double time) {
        const double size = std::fabs(time);
        return (size <= kLargestStamp) & ((size >= std::numeric_limits<double>::min()) | (size == 0.0));
    };
    double last = m_lastTime;
    std::size_t i = 0;
    // Four rows at a time, each stamp against the one before it, two lanes
    // per comparison and no branch but the block's: a block with a bad row
    // is walked again row by row below to find it.
    using Pair = double __attribute__((vector_size(16)));
    const Pair largest = {kLargestStamp, kLargestStamp};
    const Pair smallest = {std::numeric_limits<double>::min(), std::numeric_limits<double>::min()};
    const Pair zero = {0.0, 0.0};
    auto readings = [&](Pair t) {
        const Pair size = t < zero ? -t : t;
        return (size <= largest) & ((size >= smallest) | (size == zero));
    };
    for (; i + 4 <= count; i += 4) {
        const Pair a = {stampAt(i), stampAt(i + 1)}, b = {stampAt(i + 2), stampAt(i + 3)};
        const Pair beforeA = {last, a[0]}, beforeB = {a[1], b[0]};
        const auto ok = (a > beforeA) & (b > beforeB) & readings(a) & readings(b);
        if (!(ok[0] & ok[1]))
            break;
        last = b[1];
    }
    for (; i < count; ++i) {
        const double time = stampAt(i);
        if (!(time > last) || !clockReading(time))
            break;
        last = time;
    }
    m_lastTime = last;
    return i;
}

} // namespace vx
