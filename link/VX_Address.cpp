#include "VX_Address.h"

#include <arpa/inet.h>

namespace vx {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string Trimmed(const char* text)
{
    std::string s = text ? text : "";
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && IsBlank(s[begin]))
        ++begin;
    while (end > begin && IsBlank(s[end - 1]))
        --end;
    return s.substr(begin, end - begin);
}

} // namespace

std::optional<in_addr> ParseAddress(const char* text)
{
    const std::string address = Trimmed(text);
    // inet_aton stops at the first blank and takes the rest for a comment;
    // "1.2.3.4 5" is a typing error, not the address 1.2.3.4.
    for (char c : address) {
        if (IsBlank(c))
            return std::nullopt;
    }
    in_addr parsed{};
    if (address.empty() || inet_aton(address.c_str(), &parsed) == 0)
        return std::nullopt;
    return parsed;
}

std::string UrlHost(const char* text)
{
    if (const std::optional<in_addr> address = ParseAddress(text)) {
        char dotted[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &*address, dotted, sizeof dotted))
            return dotted;
    }
    return Trimmed(text);
}

} // namespace vx
