// The byte and text formats spoken with the ZPS controller, as pure functions
// without sockets: the 160-byte dashboard request, the scope data reply, the
// comma-separated command text and its reply. The socket clients are a thin
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

// What the bytes gathered by one fetch held.
struct ScopeReplyResult
{
    bool cpuLoadSet = false;      // a CPU load was taken
    bool memorySet = false;       // a memory figure was taken
    std::uint32_t announced = 0;  // row count N of the last reply taken (0 if none)
    std::size_t appended = 0;     // rows appended to the caller's vector
    std::size_t replies = 0;      // replies whose rows were taken
    std::size_t skipped = 0;      // leading bytes passed over (an acknowledgement)
    bool rejected = false;        // bytes that frame as no reply: nothing taken
};

// Replies a cut reply may announce. A count from the high half of a double
// (any value whose magnitude is above 1e-300) is far beyond this, so rows are
// never read from bytes that lie inside another reply's rows.
constexpr std::uint32_t kMaxPlausibleRowCount = 0xFFFF;
constexpr double kMaxPlausibleCpuLoad = 1000.0;

// Reads the bytes one fetch gathered. They may hold more than one reply (a
// late reply read together with the next one), so they are first taken as a
// sequence of replies of 32 + N x 296 bytes each (N at offset 28) that must
// chain exactly to the end; each reply gives at most 100 rows and the figures
// come from the last one. Bytes that do not chain are taken as one reply cut
// short at offset 0 (N up to kMaxPlausibleRowCount, fewer bytes than
// announced): its wholly present rows if there are at least two, at most 100. Failing that, a leading
// acknowledgement of a subscription (1..31 bytes, the shortest that works) is
// passed over if the replies after it chain exactly. The last two readings
// are taken only when the CPU load is within 0..1000 and every row's time
// stamp is finite, not subnormal and above the one before (and, after an acknowledgement, every reply has rows). Anything else
// is rejected and leaves every output untouched, so misaligned bytes do not
// become rows. Bytes shorter than a header give the figures wholly inside
// them and no row. Rows are copied straight from the bytes into `rows`, which
// is appended to and never cleared. Nothing is read past `reply`.
ScopeReplyResult ReadScopeReply(std::string_view reply, double* cpuLoad, std::uint32_t* memory,
                                std::vector<_ST_ReadScopeData>* rows);

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
