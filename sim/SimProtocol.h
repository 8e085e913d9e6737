// The controller's wire formats as the simulator sees them: dashboard
// requests and scope replies (port 20003), and the comma-separated text
// commands (port 10003). Pure functions and small framers, no sockets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zps {

constexpr size_t kDashRequestSize = 160;
constexpr uint32_t kDashRestSize = 148;
constexpr int kScopeSlots = 36;
constexpr size_t kScopeRowSize = 8 * (1 + kScopeSlots); // 296
constexpr size_t kScopeHeaderSize = 32;

enum DashCommand : uint32_t { kSetScopeIndexes = 1, kReadScopeData = 2 };

struct DashRequest
{
    uint32_t command = 0;
    std::array<int32_t, kScopeSlots> indexes{};
};

void putU32(std::string& out, uint32_t v);
void putF64(std::string& out, double v);
uint32_t getU32(const char* p);
double getF64(const char* p);

// The 160-byte request the link library sends ("LTBR", 160, 148, command,
// 36 indexes), little-endian.
std::string encodeDashRequest(const DashRequest& r);

// Cuts a TCP byte stream into dashboard requests. Bytes that cannot start a
// request are skipped up to the next "LTBR", so a stray byte costs one
// request, not the connection. The buffer never holds more than one
// request's worth of unmatched bytes.
class DashFramer
{
public:
    void feed(const char* data, size_t n);
    std::optional<DashRequest> next();
    size_t skippedBytes() const { return skipped_; }

private:
    std::string buf_;
    size_t skipped_ = 0;
};

// Acknowledgement of a subscription: the request's own 16-byte header with
// the lengths of an empty answer.
std::string buildSubscribeAck();

// Scope data reply: 16 header bytes ("LTBR", total length, rest length,
// command 2), CPU load, memory figure, row count, then the rows. `rows`
// holds rowCount records of 37 doubles (time stamp + 36 values).
std::string buildScopeReply(double cpuLoad, uint32_t memory, const double* rows, uint32_t rowCount);

// Reads a scope reply back (for tests and the demo's own checks); nullopt
// when the bytes are shorter than the header or the rows it announces.
struct ScopeReply
{
    double cpuLoad = 0;
    uint32_t memory = 0;
    std::vector<std::array<double, 1 + kScopeSlots>> rows;
};
std::optional<ScopeReply> parseScopeReply(const std::string& bytes);

// A text command: "Name,argument,param...,;". The link library sends no
// line end; ";" closes a request.
struct TextCommand
{
    std::string name;
    std::vector<std::string> fields; // everything after the name, ";" excluded
};

// Collects text requests up to their closing ";". Line ends and blanks
// around a request are ignored. A request longer than the limit is dropped
// and reported as overlong.
class CommandFramer
{
public:
    static constexpr size_t kMaxRequest = 4096;
    void feed(const char* data, size_t n);
    // Returns the next complete request text (without ";"), or nullopt.
    std::optional<std::string> next();
    size_t overlong() const { return overlong_; }

private:
    std::string buf_;
    std::vector<std::string> ready_;
    size_t readyPos_ = 0;
    size_t overlong_ = 0;
    bool dropping_ = false;
};

TextCommand parseTextCommand(const std::string& request);

constexpr int kErrUnknownCommand = 1001;
constexpr int kErrMalformed = 1002;

// "ReadRobotState,OK,v1,...,v9,;": the link library takes values 1..8 from
// a reply that carries at least nine.
std::string robotStateReply(const std::array<int, 9>& values);
std::string failReply(const std::string& name, int code);

// The head of an HTTP request, as far as the XML-RPC port needs it.
struct HttpHead
{
    bool valid = false;
    std::string method, path;
    long long contentLength = -1; // -1 when absent
    bool expectContinue = false;
    bool chunked = false;
};
// `head` is the text before the blank line that ends the headers.
HttpHead parseHttpHead(const std::string& head);

// The text of the index-th parameter of an XML-RPC call when it is a
// string, with entities and character references decoded and nothing else
// changed: a carriage return sent as "&#x0d;" stays a carriage return.
// nullopt when the parameter is missing or not a string.
std::optional<std::string> xmlRpcStringParam(const std::string& callXml, size_t index);

} // namespace zps
