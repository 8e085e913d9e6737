#include "VX_Protocol.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <iterator>
#include <type_traits>

namespace vx {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the controller's packets are little-endian and are copied as they are");
static_assert(sizeof(double) == 8, "the controller sends IEEE 754 binary64 values");
static_assert(std::is_trivially_copyable_v<_ST_ReadScopeData>,
              "rows are taken from the reply bytes by copying them");

namespace {

void PutU32(unsigned char* at, std::uint32_t value)
{
    std::memcpy(at, &value, sizeof value);
}

} // namespace

bool BuildScopeRequest(std::uint32_t command, const std::vector<int>& indexes,
                       RequestPacket& packet)
{
    if (indexes.size() > kMaxScopeIndexes)
        return false;
    packet.fill(0);
    PutU32(&packet[12], command);
    if (!indexes.empty())
        std::memcpy(&packet[16], indexes.data(), indexes.size() * sizeof(int));
    std::memcpy(&packet[0], "LTBR", 4);
    PutU32(&packet[4], static_cast<std::uint32_t>(kRequestSize));
    PutU32(&packet[8], kRequestRestLength);
    return true;
}

namespace {

std::uint32_t U32At(const char* at)
{
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Whether bytes[start, length) is a whole number of complete replies.
bool ChainsExactly(const char* bytes, std::size_t length, std::size_t start)
{
    std::size_t at = start;
    if (at >= length)
        return false;
    while (at < length) {
        if (length - at < kReplyRowsOffset)
            return false;
        const std::uint64_t rowBytes =
            static_cast<std::uint64_t>(U32At(bytes + at + kReplyRowCountOffset)) * kRowSize;
        if (rowBytes > length - at - kReplyRowsOffset)
            return false;
        at += kReplyRowsOffset + static_cast<std::size_t>(rowBytes);
    }
    return true;
}

// Walks the rows of a reply's bytes and hands out each row by value, built
// straight from its bytes. Appending through it constructs every row once in
// its place in the vector: the row bytes are copied once, with no zero-filled
// room written first.
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

void TakeRows(const char* reply, std::size_t count, std::vector<_ST_ReadScopeData>* rows,
              ScopeReplyResult& result)
{
    if (count == 0)
        return;
    const char* first = reply + kReplyRowsOffset;
    if (reinterpret_cast<std::uintptr_t>(first) % alignof(_ST_ReadScopeData) == 0) {
        // Row bytes on a row boundary are rows as they stand (a trivially
        // copyable type laid out as the controller sends it): the vector
        // takes them in one block copy.
        const auto* at = reinterpret_cast<const _ST_ReadScopeData*>(first);
        rows->insert(rows->end(), at, at + count);
    } else {
        rows->insert(rows->end(), RowBytes(first), RowBytes(first + count * kRowSize));
    }
    result.appended += count;
}

void TakeFigures(const char* reply, double* cpuLoad, std::uint32_t* memory,
                 ScopeReplyResult& result)
{
    std::memcpy(cpuLoad, reply + kReplyCpuLoadOffset, sizeof(double));
    std::memcpy(memory, reply + kReplyMemoryOffset, sizeof(std::uint32_t));
    result.cpuLoadSet = result.memorySet = true;
}


// Whether the rows of a reply that was not found at offset 0 look like rows
// at all: misaligned bytes give time stamps made of other values' bytes,
// which are mostly subnormal (3.3e-310), not finite, or out of order; the
// controller's time stamps rise from row to row.
bool RowsLookReal(const char* reply, std::size_t count)
{
    // A load figure is a percentage (several cores may add up past 100).
    double load;
    std::memcpy(&load, reply + kReplyCpuLoadOffset, sizeof load);
    if (!(load >= 0.0 && load <= kMaxPlausibleCpuLoad))
        return false;
    double previous = -HUGE_VAL;
    for (std::size_t i = 0; i < count; ++i) {
        double time;
        std::memcpy(&time, reply + kReplyRowsOffset + i * kRowSize, sizeof time);
        const int kind = std::fpclassify(time);
        if (kind != FP_NORMAL && kind != FP_ZERO)
            return false;
        if (time <= previous)
            return false;
        previous = time;
    }
    return true;
}

// Whether every reply of the chain from `start` has at least one row and
// only rows that look real.
bool ChainLooksReal(const char* bytes, std::size_t length, std::size_t start)
{
    for (std::size_t at = start; at < length;) {
        const std::uint32_t announced = U32At(bytes + at + kReplyRowCountOffset);
        if (announced == 0 ||
            !RowsLookReal(bytes + at, std::min<std::size_t>(announced, kMaxRowsPerReply)))
            return false;
        at += kReplyRowsOffset + static_cast<std::size_t>(announced) * kRowSize;
    }
    return true;
}

void TakeChain(const char* bytes, std::size_t length, std::size_t start, double* cpuLoad,
               std::uint32_t* memory, std::vector<_ST_ReadScopeData>* rows, ScopeReplyResult& result)
{
    result.skipped = start;
    for (std::size_t at = start; at < length;) {
        const char* one = bytes + at;
        const std::uint32_t announced = U32At(one + kReplyRowCountOffset);
        TakeFigures(one, cpuLoad, memory, result);
        result.announced = announced;
        TakeRows(one, std::min<std::size_t>(announced, kMaxRowsPerReply), rows, result);
        ++result.replies;
        at += kReplyRowsOffset + static_cast<std::size_t>(announced) * kRowSize;
    }
}

} // namespace

ScopeReplyResult ReadScopeReply(std::string_view reply, double* cpuLoad, std::uint32_t* memory,
                                std::vector<_ST_ReadScopeData>* rows)
{
    ScopeReplyResult result;
    const char* bytes = reply.data();
    const std::size_t length = reply.size();

    // Too short for a header: a lone short answer, figures only where whole.
    if (length < kReplyRowsOffset) {
        if (length >= kReplyCpuLoadOffset + sizeof(double)) {
            std::memcpy(cpuLoad, bytes + kReplyCpuLoadOffset, sizeof(double));
            result.cpuLoadSet = true;
        }
        if (length >= kReplyMemoryOffset + sizeof(std::uint32_t)) {
            std::memcpy(memory, bytes + kReplyMemoryOffset, sizeof(std::uint32_t));
            result.memorySet = true;
        }
        return result;
    }

    // One reply, or a late reply followed by the next one.
    if (ChainsExactly(bytes, length, 0)) {
        TakeChain(bytes, length, 0, cpuLoad, memory, rows, result);
        return result;
    }

    // A reply cut short (the rest came too late for this fetch): its whole
    // rows are good. A count no controller sends, or rows that do not look
    // like rows, mean the bytes are not a reply's start at all. One row alone
    // cannot be checked against a neighbour, so it is not taken.
    const std::uint32_t announced = U32At(bytes + kReplyRowCountOffset);
    const std::size_t present = (length - kReplyRowsOffset) / kRowSize;
    const std::size_t take = present < 2 ? 0 : std::min(present, kMaxRowsPerReply);
    if (announced <= kMaxPlausibleRowCount && present < announced && RowsLookReal(bytes, take)) {
        TakeFigures(bytes, cpuLoad, memory, result);
        result.announced = announced;
        TakeRows(bytes, take, rows, result);
        result.replies = 1;
        return result;
    }

    // The controller's acknowledgement of a subscription is shorter than a
    // header; when it was read together with data replies it leads them.
    for (std::size_t start = 1; start < kReplyRowsOffset; ++start) {
        if (ChainsExactly(bytes, length, start) && ChainLooksReal(bytes, length, start)) {
            TakeChain(bytes, length, start, cpuLoad, memory, rows, result);
            return result;
        }
    }
    result.rejected = true;
    return result;
}

std::string BuildCommandText(const std::string& name, int argument,
                             const std::vector<std::string>& parameters)
{
    std::string text;
    text.reserve(name.size() + 16);
    text += name;
    text += ',';
    text += std::to_string(argument);
    for (const std::string& parameter : parameters) {
        text += ',';
        text += parameter;
    }
    text += ",;";
    return text;
}

void SplitFields(std::string_view text, std::string_view separator,
                 std::vector<std::string>& fields)
{
    if (text.empty() || separator.empty())
        return;
    // A text whose last character is not the separator's first one is read as
    // if the separator followed it, so the last field is never lost.
    std::string owned;
    if (text.back() != separator.front()) {
        owned.reserve(text.size() + separator.size());
        owned.append(text);
        owned.append(separator);
        text = owned;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        if (at == std::string_view::npos)
            break;
        fields.emplace_back(text.substr(start, at - start));
        start = at + separator.size();
    }
}

int ParseDecimal(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= static_cast<long long>(INT_MAX) + 1)
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

int ReadCommandStatus(std::vector<std::string>& fields)
{
    if (fields.size() < 2)
        return kNoUsableReply;
    if (fields.back() == ";")
        fields.pop_back();
    if (fields.size() < 2)
        return kNoUsableReply;
    if (fields[1] == "OK")
        return 0;
    if (fields.size() < 3)
        return kNoUsableReply;
    const int code = ParseDecimal(fields[2]);
    // The controller refused the command but gave no number: that is no
    // success, so it reads as a reply without a usable answer.
    return code != 0 ? code : kNoUsableReply;
}

bool ReadRobotFlags(const std::vector<std::string>& fields, int* const flags[kRobotFlagCount])
{
    if (fields.size() < 3 + kRobotFlagCount)
        return false;
    for (std::size_t k = 0; k < kRobotFlagCount; ++k)
        *flags[k] = ParseDecimal(fields[k + 2]);
    return true;
}

} // namespace vx
