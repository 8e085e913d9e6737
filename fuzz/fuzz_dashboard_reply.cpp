// The bytes one scope fetch gathered, as the controller (or anything on the
// network) may send them.
#include "VX_Protocol.h"

#include <cstdlib>
#include <cstring>

using namespace vx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    double cpu = -1.0;
    std::uint32_t memory = 7;
    std::vector<_ST_ReadScopeData> rows(1);
    rows[0].time = 42.0;
    const ScopeReplyResult r = ReadScopeReply(bytes, &cpu, &memory, &rows);

    // The caller's rows stay, at most 100 rows per reply are added, and every
    // row added is a whole 296-byte run of the input.
    if (rows.size() != 1 + r.appended || rows[0].time != 42.0)
        std::abort();
    if (r.appended > r.replies * kMaxRowsPerReply)
        std::abort();
    if (r.appended * kRowSize > size)
        std::abort();
    if (r.rejected && (r.appended != 0 || cpu != -1.0 || memory != 7))
        std::abort();
    for (std::size_t i = 1; i < rows.size(); ++i) {
        bool found = false;
        for (std::size_t at = 0; !found && at + kRowSize <= size; ++at)
            found = std::memcmp(&rows[i], data + at, kRowSize) == 0;
        if (!found)
            std::abort();
    }
    return 0;
}
