// The dashboard stream as the controller (or anything on the network) may
// send it, cut into fetches anywhere. One bit of the input's last byte
// chooses whether the input holds the stream itself or describes a
// well-formed stream of replies and acknowledgements; the cut points come
// from the bytes left over.
//
// Properties: the caller's rows stay, every row added is a whole 296-byte
// run of the stream, and a stream that breaks nowhere gives the same rows
// and figures however it is cut (for a well-formed one: exactly the first
// 100 rows of every reply); so does a stream that breaks, as long as the
// reader looks for the next framed reply after a break (nothing depends on
// where a fetch ends).
#include "VX_Protocol.h"
#include "VX_ScopeStream.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace vx;

namespace {

struct Outcome
{
    std::vector<_ST_ReadScopeData> rows = std::vector<_ST_ReadScopeData>(1);
    double cpu = -1.0;
    std::uint32_t memory = 7;
    std::uint64_t broken = 0;
    std::size_t kept = 0;
    bool findsReplies = false;
};

Outcome ReadInPieces(const std::string& stream, const std::vector<std::size_t>& cuts)
{
    Outcome out;
    out.rows[0].time = 42.0;
    ScopeStreamReader reader;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        reader.Read(std::string_view(stream).substr(from, cut - from), &out.cpu, &out.memory, &out.rows);
        from = cut;
    }
    out.broken = reader.BrokenReplies();
    out.kept = reader.Kept();
    out.findsReplies = reader.FindsRepliesAfterBreaks();
    if (out.rows[0].time != 42.0)
        std::abort();
    return out;
}

bool SameRows(const Outcome& a, const Outcome& b)
{
    return a.rows.size() == b.rows.size() &&
           std::memcmp(a.rows.data(), b.rows.data(), a.rows.size() * kRowSize) == 0;
}

// A well-formed stream from the input: acknowledgements and replies of
// 0..160 rows whose bytes come from the input; `expected` receives the rows
// a reader must deliver.
std::string BuildStream(FuzzedDataProvider& in, std::vector<_ST_ReadScopeData>& expected)
{
    std::string stream;
    double time = 0.0; // a controller's stamps rise along the stream
    const int messages = in.ConsumeIntegralInRange(0, 8);
    for (int m = 0; m < messages; ++m) {
        if (in.ConsumeBool()) {
            const std::uint32_t ack[4] = {0x5242544Cu /* "LTBR" */, 16, 4, kCmdSetScopeIndexes};
            stream.append(reinterpret_cast<const char*>(ack), sizeof ack);
            continue;
        }
        const std::uint32_t count = in.ConsumeIntegralInRange<std::uint32_t>(0, 160);
        char header[32] = {};
        const double load = in.ConsumeFloatingPoint<double>();
        const std::uint32_t memory = in.ConsumeIntegral<std::uint32_t>();
        std::memcpy(header + 16, &load, 8);
        std::memcpy(header + 24, &memory, 4);
        std::memcpy(header + 28, &count, 4);
        stream.append(header, sizeof header);
        const unsigned char seed = in.ConsumeIntegral<unsigned char>();
        for (std::uint32_t r = 0; r < count; ++r) {
            _ST_ReadScopeData row;
            unsigned char* bytes = reinterpret_cast<unsigned char*>(&row);
            for (std::size_t b = 0; b < kRowSize; ++b)
                bytes[b] = static_cast<unsigned char>(seed + r * 7 + b);
            time += 1.0;
            std::memcpy(bytes, &time, sizeof time);
            stream.append(reinterpret_cast<const char*>(&row), kRowSize);
            if (r < kMaxRowsPerReply)
                expected.push_back(row);
        }
    }
    return stream;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool wellFormed = in.ConsumeBool();
    std::vector<_ST_ReadScopeData> expected;
    std::string stream;
    if (wellFormed) {
        stream = BuildStream(in, expected);
    } else {
        stream = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, in.remaining_bytes()));
    }
    std::vector<std::size_t> cuts;
    while (in.remaining_bytes() > 0 && cuts.size() < 64)
        cuts.push_back(in.ConsumeIntegralInRange<std::size_t>(0, stream.size()));
    std::sort(cuts.begin(), cuts.end());
    cuts.push_back(stream.size());

    const Outcome whole = ReadInPieces(stream, {stream.size()});
    const Outcome pieces = ReadInPieces(stream, cuts);

    // Every row added is a whole run of the stream (a well-formed stream's
    // rows are checked exactly below).
    for (const Outcome* o : {&whole, &pieces}) {
        if (wellFormed)
            break;
        for (std::size_t i = 1; i < o->rows.size(); ++i) {
            bool found = false;
            for (std::size_t at = 0; !found && at + kRowSize <= stream.size(); ++at)
                found = std::memcmp(&o->rows[i], stream.data() + at, kRowSize) == 0;
            if (!found)
                std::abort();
        }
    }

    // A stream that never breaks is read the same however it is cut, and so
    // is one after whose breaks the reader looks for the next framed reply.
    if (whole.broken == 0 || whole.findsReplies) {
        if (pieces.broken != whole.broken || pieces.findsReplies != whole.findsReplies ||
            !SameRows(whole, pieces) || pieces.kept != whole.kept ||
            std::memcmp(&whole.cpu, &pieces.cpu, sizeof whole.cpu) != 0 || whole.memory != pieces.memory)
            std::abort();
    }
    if (wellFormed) {
        if (whole.broken != 0 || whole.kept != 0 || whole.rows.size() != 1 + expected.size() ||
            (!expected.empty() &&
             std::memcmp(whole.rows.data() + 1, expected.data(), expected.size() * kRowSize) != 0))
            std::abort();
    }
    return 0;
}
