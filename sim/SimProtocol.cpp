#include "SimProtocol.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace zps {
namespace {
const char kMagic[4] = {'L', 'T', 'B', 'R'};
}

void putU32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void putF64(std::string& out, double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

uint32_t getU32(const char* p)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<unsigned char>(p[i])) << (8 * i);
    return v;
}

double getF64(const char* p)
{
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

std::string encodeDashRequest(const DashRequest& r)
{
    std::string out(kMagic, 4);
    putU32(out, kDashRequestSize);
    putU32(out, kDashRestSize);
    putU32(out, r.command);
    for (int32_t i : r.indexes)
        putU32(out, static_cast<uint32_t>(i));
    return out;
}

void DashFramer::feed(const char* data, size_t n) { buf_.append(data, n); }

std::optional<DashRequest> DashFramer::next()
{
    for (;;) {
        const size_t at = buf_.find(std::string(kMagic, 4));
        if (at == std::string::npos) {
            // Keep a tail that may be the start of a split magic.
            const size_t keep = std::min<size_t>(buf_.size(), 3);
            skipped_ += buf_.size() - keep;
            buf_.erase(0, buf_.size() - keep);
            return std::nullopt;
        }
        if (at > 0) {
            skipped_ += at;
            buf_.erase(0, at);
        }
        if (buf_.size() < kDashRequestSize)
            return std::nullopt;
        if (getU32(&buf_[4]) != kDashRequestSize || getU32(&buf_[8]) != kDashRestSize) {
            // A magic by chance inside garbage: look for the next one.
            skipped_ += 4;
            buf_.erase(0, 4);
            continue;
        }
        DashRequest r;
        r.command = getU32(&buf_[12]);
        for (int i = 0; i < kScopeSlots; ++i)
            r.indexes[i] = static_cast<int32_t>(getU32(&buf_[16 + 4 * i]));
        buf_.erase(0, kDashRequestSize);
        return r;
    }
}

std::string buildSubscribeAck()
{
    std::string out(kMagic, 4);
    putU32(out, 16);
    putU32(out, 4);
    putU32(out, kSetScopeIndexes);
    return out;
}

std::string buildScopeReply(double cpuLoad, uint32_t memory, const double* rows, uint32_t rowCount)
{
    const size_t total = kScopeHeaderSize + static_cast<size_t>(rowCount) * kScopeRowSize;
    std::string out;
    out.reserve(total);
    out.append(kMagic, 4);
    putU32(out, static_cast<uint32_t>(total));
    putU32(out, static_cast<uint32_t>(total - 12));
    putU32(out, kReadScopeData);
    putF64(out, cpuLoad);
    putU32(out, memory);
    putU32(out, rowCount);
    const size_t values = static_cast<size_t>(rowCount) * (1 + kScopeSlots);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // The reply goes out within the link's few-microsecond wait: copy the
    // rows in one block where the host order is the wire order.
    const size_t at = out.size();
    out.resize(at + values * 8);
    if (values > 0)
        std::memcpy(&out[at], rows, values * 8);
#else
    for (size_t i = 0; i < values; ++i)
        putF64(out, rows[i]);
#endif
    return out;
}

std::optional<ScopeReply> parseScopeReply(const std::string& bytes)
{
    if (bytes.size() < kScopeHeaderSize)
        return std::nullopt;
    ScopeReply r;
    r.cpuLoad = getF64(&bytes[16]);
    r.memory = getU32(&bytes[24]);
    const uint32_t n = getU32(&bytes[28]);
    if ((bytes.size() - kScopeHeaderSize) / kScopeRowSize < n)
        return std::nullopt;
    r.rows.resize(n);
    for (uint32_t i = 0; i < n; ++i)
        for (int v = 0; v < 1 + kScopeSlots; ++v)
            r.rows[i][v] = getF64(&bytes[kScopeHeaderSize + i * kScopeRowSize + 8 * v]);
    return r;
}

void CommandFramer::feed(const char* data, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const char c = data[i];
        if (c == ';') {
            if (!dropping_)
                ready_.push_back(buf_);
            buf_.clear();
            dropping_ = false;
            continue;
        }
        if (dropping_)
            continue;
        if ((c == '\r' || c == '\n' || c == ' ' || c == '\t') && buf_.empty())
            continue;
        buf_.push_back(c);
        if (buf_.size() > kMaxRequest) {
            ++overlong_;
            buf_.clear();
            dropping_ = true;
        }
    }
}

std::optional<std::string> CommandFramer::next()
{
    if (readyPos_ >= ready_.size()) {
        ready_.clear();
        readyPos_ = 0;
        return std::nullopt;
    }
    return ready_[readyPos_++];
}

TextCommand parseTextCommand(const std::string& request)
{
    TextCommand cmd;
    size_t start = 0;
    bool first = true;
    while (start <= request.size()) {
        size_t comma = request.find(',', start);
        if (comma == std::string::npos)
            comma = request.size();
        std::string field = request.substr(start, comma - start);
        if (first)
            cmd.name = field;
        else if (comma < request.size() || !field.empty())
            cmd.fields.push_back(field); // a trailing "," before ";" adds no field
        first = false;
        start = comma + 1;
    }
    // Blanks around the name come from hand-typed requests.
    while (!cmd.name.empty() && (cmd.name.back() == ' ' || cmd.name.back() == '\r' || cmd.name.back() == '\n'))
        cmd.name.pop_back();
    return cmd;
}

std::string robotStateReply(const std::array<int, 9>& values)
{
    std::string out = "ReadRobotState,OK,";
    for (int v : values)
        out += std::to_string(v) + ",";
    out += ";";
    return out;
}

std::string failReply(const std::string& name, int code) { return name + ",Fail," + std::to_string(code) + ",;"; }

HttpHead parseHttpHead(const std::string& head)
{
    HttpHead h;
    const size_t eol = head.find("\r\n");
    const std::string requestLine = head.substr(0, eol);
    const size_t sp1 = requestLine.find(' ');
    const size_t sp2 = sp1 == std::string::npos ? sp1 : requestLine.find(' ', sp1 + 1);
    if (sp2 == std::string::npos || requestLine.compare(sp2 + 1, 5, "HTTP/") != 0)
        return h;
    h.method = requestLine.substr(0, sp1);
    h.path = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    size_t at = eol == std::string::npos ? head.size() : eol + 2;
    while (at < head.size()) {
        size_t end = head.find("\r\n", at);
        if (end == std::string::npos)
            end = head.size();
        const std::string line = head.substr(at, end - at);
        at = end + 2;
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = line.substr(0, colon), value = line.substr(colon + 1);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.erase(0, 1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
        std::string lower = value;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name == "content-length") {
            char* endp = nullptr;
            const long long n = std::strtoll(value.c_str(), &endp, 10);
            if (value.empty() || *endp != '\0' || n < 0)
                return h;
            h.contentLength = n;
        } else if (name == "expect") {
            h.expectContinue = lower == "100-continue";
        } else if (name == "transfer-encoding") {
            h.chunked = lower.find("chunked") != std::string::npos;
        }
    }
    h.valid = true;
    return h;
}

namespace {

void appendUtf8(std::string& out, unsigned long cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// XML character data to text: entities and character references decoded,
// literal line ends normalised to LF as an XML parser does.
std::optional<std::string> xmlText(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\r') {
            out += '\n';
            if (i + 1 < s.size() && s[i + 1] == '\n')
                ++i;
            continue;
        }
        if (c != '&') {
            out += c;
            continue;
        }
        const size_t semi = s.find(';', i);
        if (semi == std::string::npos || semi - i > 12)
            return std::nullopt;
        const std::string ent = s.substr(i + 1, semi - i - 1);
        if (ent == "lt") out += '<';
        else if (ent == "gt") out += '>';
        else if (ent == "amp") out += '&';
        else if (ent == "quot") out += '"';
        else if (ent == "apos") out += '\'';
        else if (ent.size() > 1 && ent[0] == '#') {
            const bool hexRef = ent[1] == 'x' || ent[1] == 'X';
            const std::string digits = ent.substr(hexRef ? 2 : 1);
            char* end = nullptr;
            const unsigned long cp = std::strtoul(digits.c_str(), &end, hexRef ? 16 : 10);
            if (digits.empty() || *end != '\0' || cp > 0x10FFFF)
                return std::nullopt;
            appendUtf8(out, cp);
        } else {
            return std::nullopt;
        }
        i = semi;
    }
    return out;
}

} // namespace

std::optional<std::string> xmlRpcStringParam(const std::string& callXml, size_t index)
{
    size_t at = callXml.find("<params>");
    if (at == std::string::npos)
        return std::nullopt;
    for (size_t i = 0;; ++i) {
        at = callXml.find("<param>", at);
        if (at == std::string::npos)
            return std::nullopt;
        at += 7;
        if (i == index)
            break;
    }
    const size_t close = callXml.find("</param>", at);
    size_t v = callXml.find("<value>", at);
    if (v == std::string::npos || v > close)
        return std::nullopt;
    v += 7;
    size_t p = v;
    while (p < close && std::isspace(static_cast<unsigned char>(callXml[p])))
        ++p;
    if (callXml.compare(p, 9, "<string/>") == 0)
        return std::string();
    if (callXml.compare(p, 8, "<string>") == 0) {
        const size_t end = callXml.find("</string>", p + 8);
        if (end == std::string::npos || end > close)
            return std::nullopt;
        return xmlText(callXml.substr(p + 8, end - p - 8));
    }
    // A value without a type element is a string too.
    const size_t end = callXml.find("</value>", v);
    if (end == std::string::npos || end > close)
        return std::nullopt;
    const std::string inner = callXml.substr(v, end - v);
    if (inner.find('<') != std::string::npos)
        return std::nullopt;
    return xmlText(inner);
}

} // namespace zps
