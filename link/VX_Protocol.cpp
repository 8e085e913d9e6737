#include "VX_Protocol.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cstdint>

namespace vx {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the controller's packets are little-endian and are copied as they are");
static_assert(sizeof(double) == 8, "the controller sends IEEE 754 binary64 values");

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
