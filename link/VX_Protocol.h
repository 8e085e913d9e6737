// The byte and text formats spoken with the ZPS controller, as pure functions
// without sockets: the 160-byte dashboard request, the layout of the scope
// data reply (read by ScopeStreamReader), the comma-separated command text
// and its reply. The socket clients are a thin
// layer over these; tests, fuzz targets and benchmarks call them directly.
#pragma once

#include "VX_Prod.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// Dashboard request packet.
constexpr std::size_t kRequestSize = 160;
constexpr std::uint32_t kRequestRestLength = 148; // the bytes after offset 12
constexpr std::size_t kMaxScopeIndexes = 36;
constexpr std::uint32_t kCmdSetScopeIndexes = 1;
constexpr std::uint32_t kCmdReadScopeData = 2;
using RequestPacket = std::array<unsigned char, kRequestSize>;

// Scope data reply.
constexpr std::size_t kReplyCpuLoadOffset = 16;
constexpr std::size_t kReplyMemoryOffset = 24;
constexpr std::size_t kReplyRowCountOffset = 28;
constexpr std::size_t kReplyRowsOffset = 32;
constexpr std::size_t kRowSize = sizeof(_ST_ReadScopeData);
constexpr std::size_t kMaxRowsPerReply = 100;

// Command port.
constexpr int kNoUsableReply = 20007;
constexpr std::size_t kRobotFlagCount = 8;

// Fills `packet` with a request for `command` and the given channel indexes
// (unused entries 0). Returns false, leaving `packet` untouched, when more than
// 36 indexes are given.
bool BuildScopeRequest(std::uint32_t command, const std::vector<int>& indexes,
                       RequestPacket& packet);

// The command line sent on the command port: name,argument[,param...],;
std::string BuildCommandText(const std::string& name, int argument,
                             const std::vector<std::string>& parameters);

// Splits `text` at `separator` and appends the fields to `fields`. An empty
// text or separator appends nothing. A text that does not end with the
// separator's first character is treated as if it did, so "A,B" and "A,B,"
// both give A, B; empty fields between separators are kept.
void SplitFields(std::string_view text, std::string_view separator,
                 std::vector<std::string>& fields);

// Reads a decimal integer the way the controller's numbers are read: leading
// white space skipped, an optional sign, digits up to the first non-digit; no
// digits give 0. Values beyond the int range saturate.
int ParseDecimal(std::string_view text);

// Reads the status of a split command reply: 0 for "OK", 20007 when the reply
// has too few fields, otherwise the controller's error number. A closing ";"
// field is removed from `fields`. A non-"OK" status whose error number reads
// as 0 (missing or not a number) yields 20007, so a refused command is never
// reported as success.
int ReadCommandStatus(std::vector<std::string>& fields);

// Reads the eight robot state flags from a split reply whose closing ";" is
// already removed: flag k is field k + 1. Returns false and writes nothing
// when fewer than 11 fields are present.
bool ReadRobotFlags(const std::vector<std::string>& fields, int* const flags[kRobotFlagCount]);

} // namespace vx
