// The dashboard connection read as one byte stream. The controller answers
// every request on the connection in order, and TCP hands its answers over
// in pieces of any size: a reply may end in the middle of a fetch's bytes, or
// be cut inside its header or inside a row and finished by a later fetch.
// ScopeStreamReader is fed the bytes of each fetch as they come and keeps
// what is not yet whole, so every row is delivered exactly once, in order,
// and nothing is read from bytes the controller did not send as a row.
//
// Pure: no sockets, no locks. VX_DashboardClient owns one per connection and
// serialises its use.
#pragma once

#include "VX_Prod.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

namespace vx {

// The largest row count a reply can announce. The controller samples at
// 1 kHz and answers with the rows gathered since the previous fetch, which
// the scope makes about every 51 ms; it keeps only a few seconds of unsent
// rows. 65,535 rows are over a minute of samples (19 MB of rows), more than
// any controller holds back; a larger count means the bytes at hand are not
// a reply header (the header's own 32-bit total length would still allow up
// to 14.5 million rows, so the format alone gives no useful bound).
constexpr std::uint32_t kMaxRowsInReply = 0xFFFF;

// The controller acknowledges a subscription with the request's own
// 16-byte header ("LTBR", total length, rest length, command 1). An
// acknowledgement that also echoes the indexes is at most the request's
// 160 bytes.
constexpr std::size_t kAckHeaderSize = 16;
constexpr std::size_t kMaxAckSize = 160;

// What one Read found.
struct ScopeStreamResult
{
    std::size_t headers = 0;          // reply headers completed (the figures come from the last)
    std::size_t appended = 0;         // rows appended to the caller's vector
    std::size_t acknowledgements = 0; // subscription answers passed over
    std::size_t rowsOverCap = 0;      // rows beyond the 100 a reply gives, passed over
    bool broken = false;              // a header announced a count no controller sends, or a
                                      // row's time stamp did not follow the row before
};

class ScopeStreamReader
{
public:
    // Reads the bytes of one fetch, following those of earlier fetches.
    // Every reply header completed sets `cpuLoad` and `memory` (the newest
    // wins); every row completed, up to the first 100 of each reply, is
    // appended to `rows` (never cleared), straight from the bytes. Rows past
    // 100 are passed over. Bytes that do not yet make a whole header or row
    // are kept for the next Read. A header whose count exceeds
    // kMaxRowsInReply breaks the stream: the whole rows present in these
    // bytes (at most 100) are taken, the rest of them is dropped, and the
    // next Read starts at a new reply. So does a row whose time stamp does
    // not rise above the one before or is no clock's reading (subnormal,
    // non-finite, beyond 2^53): the rows before it are taken, it and the rest
    // of these bytes are not.
    ScopeStreamResult Read(std::string_view bytes, double* cpuLoad, std::uint32_t* memory,
                           std::vector<_ST_ReadScopeData>* rows);

    // Forgets every kept byte: the next Read starts at a new reply (a new
    // connection). The counters are cleared too.
    void Reset();

    // Bytes kept for the next Read: the part of a header or of a row that
    // has come so far.
    std::size_t Kept() const { return m_headFill + m_rowFill; }
    // Whether the next byte starts a new reply or acknowledgement.
    bool AtBoundary() const { return m_part == Part::Header && m_headFill == 0; }

    // Since the last Reset: headers that broke the stream, and rows passed
    // over by the 100-row cap.
    std::uint64_t BrokenReplies() const { return m_broken; }
    std::uint64_t RowsOverCap() const { return m_rowsOverCap; }

private:
    enum class Part { Header, Rows, Pass };

    struct Cursor
    {
        const char* at;
        const char* end;
        std::size_t left() const { return static_cast<std::size_t>(end - at); }
    };

    void ReadHeader(Cursor& in, double* cpuLoad, std::uint32_t* memory,
                    std::vector<_ST_ReadScopeData>* rows, ScopeStreamResult& result);
    void StartReply(Cursor& in, double* cpuLoad, std::uint32_t* memory,
                    std::vector<_ST_ReadScopeData>* rows, ScopeStreamResult& result);
    void ReadRows(Cursor& in, std::vector<_ST_ReadScopeData>* rows, ScopeStreamResult& result);
    void PassOver(Cursor& in);
    void BreakStream(Cursor& in, std::vector<_ST_ReadScopeData>* rows, ScopeStreamResult& result);
    void ExpectHeader();
    std::size_t RowsThatFollow(const char* first, std::size_t count);
    void DropRest(Cursor& in, ScopeStreamResult& result);

    Part m_part = Part::Header;
    // The header being gathered.
    char m_head[32] = {};
    std::size_t m_headFill = 0;
    // A row cut by the end of a fetch, finished by the next.
    _ST_ReadScopeData m_row{};
    std::size_t m_rowFill = 0;
    // Rows of the current reply still to deliver, then bytes to pass over.
    std::size_t m_rowsLeft = 0;
    std::uint64_t m_passLeft = 0;
    // Time stamp of the last row delivered since the stream (re)started.
    double m_lastTime = -std::numeric_limits<double>::infinity();

    std::uint64_t m_broken = 0;
    std::uint64_t m_rowsOverCap = 0;
};

} // namespace vx
