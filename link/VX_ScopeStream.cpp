#include "VX_ScopeStream.h"

#include "VX_Protocol.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
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

} // namespace

ScopeStreamResult ScopeStreamReader::Read(std::string_view bytes, double* cpuLoad,
                                          std::uint32_t* memory, std::vector<_ST_ReadScopeData>* rows)
{
    ScopeStreamResult result;
    Cursor in{bytes.data(), bytes.data() + bytes.size()};
    while (in.at < in.end) {
        switch (m_part) {
        case Part::Header:
            ReadHeader(in, cpuLoad, memory, rows, result);
            break;
        case Part::Rows:
            ReadRows(in, rows, result);
            break;
        case Part::Pass:
            PassOver(in);
            break;
        }
    }
    return result;
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

void ScopeStreamReader::ReadHeader(Cursor& in, double* cpuLoad, std::uint32_t* memory,
                                   std::vector<_ST_ReadScopeData>* rows, ScopeStreamResult& result)
{
    // The first 16 bytes tell an acknowledgement from a data reply.
    const std::size_t want = m_headFill < kAckHeaderSize ? kAckHeaderSize : kReplyRowsOffset;
    const std::size_t take = std::min(want - m_headFill, in.left());
    std::memcpy(m_head + m_headFill, in.at, take);
    m_headFill += take;
    in.at += take;
    if (m_headFill == kAckHeaderSize && want == kAckHeaderSize && IsAcknowledgement(m_head)) {
        ++result.acknowledgements;
        const std::uint32_t total = U32At(m_head + 4);
        ExpectHeader();
        if (total > kAckHeaderSize) {
            m_part = Part::Pass;
            m_passLeft = total - kAckHeaderSize;
        }
        return;
    }
    if (m_headFill == kReplyRowsOffset)
        StartReply(in, cpuLoad, memory, rows, result);
}

void ScopeStreamReader::StartReply(Cursor& in, double* cpuLoad, std::uint32_t* memory,
                                   std::vector<_ST_ReadScopeData>* rows, ScopeStreamResult& result)
{
    std::memcpy(cpuLoad, m_head + kReplyCpuLoadOffset, sizeof(double));
    std::memcpy(memory, m_head + kReplyMemoryOffset, sizeof(std::uint32_t));
    ++result.headers;
    const std::uint32_t announced = U32At(m_head + kReplyRowCountOffset);
    if (announced > kMaxRowsInReply) {
        BreakStream(in, rows, result);
        return;
    }
    const std::size_t taken = std::min<std::size_t>(announced, kMaxRowsPerReply);
    const std::uint64_t overCap = announced - taken;
    result.rowsOverCap += overCap;
    m_rowsOverCap += overCap;
    ExpectHeader();
    m_rowsLeft = taken;
    m_passLeft = overCap * kRowSize;
    if (m_rowsLeft > 0)
        m_part = Part::Rows;
    else if (m_passLeft > 0)
        m_part = Part::Pass;
}

void ScopeStreamReader::ReadRows(Cursor& in, std::vector<_ST_ReadScopeData>* rows,
                                 ScopeStreamResult& result)
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
            DropRest(in, result);
            return;
        }
        rows->push_back(m_row);
        m_rowFill = 0;
        --m_rowsLeft;
        ++result.appended;
    } else {
        const std::size_t count = std::min(m_rowsLeft, in.left() / kRowSize);
        const std::size_t good = RowsThatFollow(in.at, count);
        AppendRows(in.at, good, rows);
        in.at += good * kRowSize;
        m_rowsLeft -= good;
        result.appended += good;
        if (good < count) {
            DropRest(in, result);
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

void ScopeStreamReader::BreakStream(Cursor& in, std::vector<_ST_ReadScopeData>* rows,
                                    ScopeStreamResult& result)
{
    // Nothing after a count like this can be framed: the rows wholly present
    // are all this "reply" can give, and the controller's next answer starts
    // with the next fetch.
    const std::size_t count = RowsThatFollow(in.at, std::min(in.left() / kRowSize, kMaxRowsPerReply));
    AppendRows(in.at, count, rows);
    result.appended += count;
    DropRest(in, result);
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
    for (std::size_t i = 0; i < count; ++i) {
        double time;
        std::memcpy(&time, first + i * kRowSize, sizeof time);
        const int kind = std::fpclassify(time);
        if ((kind != FP_NORMAL && kind != FP_ZERO) || !(time > m_lastTime) ||
            std::fabs(time) > kLargestStamp)
            return i;
        m_lastTime = time;
    }
    return count;
}

void ScopeStreamReader::DropRest(Cursor& in, ScopeStreamResult& result)
{
    // The controller's next answer starts with the next fetch.
    result.broken = true;
    ++m_broken;
    in.at = in.end;
    ExpectHeader();
    m_lastTime = -std::numeric_limits<double>::infinity();
}

} // namespace vx
