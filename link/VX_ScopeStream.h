// The dashboard connection read as one byte stream. The controller answers
// every request on the connection in order, and TCP hands its answers over
// in pieces of any size: a reply may end in the middle of a fetch's bytes, or
// be cut inside its header or inside a row and finished by a later fetch.
// ScopeStreamReader is fed the bytes of each fetch as they come and keeps
// what is not yet whole, so every row is delivered exactly once, in order,
// and nothing is read from bytes the controller did not send as a row.
//
// A controller that frames its replies (bytes 0 to 15 are "LTBR", the total
// length, the length after byte 12 and command 2, the reader learns it from
// the first reply) lets the reader find its way back after bytes that make no
// reply: it looks for the next framed reply or acknowledgement in the bytes
// that follow, in this fetch or a later one, whatever pieces they come in.
// Replies late by a fetch or more bring the rest of a broken reply into the
// next fetch; taking that fetch's first byte as a reply's start (all a reader
// can do with a controller whose header bytes say nothing) would read rows
// from the middle of it.
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
    bool broken = false;              // a header announced a count no controller sends, a framed
                                      // controller's header lacked its frame, or a row's time
                                      // stamp did not follow the row before
};

class ScopeStreamReader
{
public:
    // Reads the bytes of one fetch, following those of earlier fetches.
    // Every reply header completed sets `cpuLoad` and `memory` (the newest
    // wins); every row completed, up to the first 100 of each reply, is
    // appended to `rows` (never cleared), straight from the bytes. Rows past
    // 100 are passed over. Bytes that do not yet make a whole header or row
    // are kept for the next Read.
    //
    // The stream breaks at a header whose count exceeds kMaxRowsInReply, at
    // a header of a framed controller that lacks the frame, and at a row
    // whose time stamp does not rise above the one before or is no clock's
    // reading (subnormal, non-finite, beyond 2^53); the rows before are
    // taken. Then, for a framed controller (or one not yet known), nothing
    // is taken until the next framed reply or acknowledgement, looked for
    // from the byte after the broken header's start or from the broken row's
    // first byte. For a controller known to send other header bytes, the
    // rows wholly present after a broken header (at most 100) are taken, the
    // rest of these bytes is dropped and the next Read starts at a new reply.
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
    // Whether the reader is looking for the next framed reply after a break.
    bool Resynchronising() const { return m_part == Part::Resync; }
    // Whether a break is followed by a look for the next framed reply (the
    // controller frames its replies, or has sent none yet) rather than by
    // the next fetch taken as a new reply.
    bool FindsRepliesAfterBreaks() const { return m_framing != Framing::Opaque; }

    // Since the last Reset: headers that broke the stream, and rows passed
    // over by the 100-row cap.
    std::uint64_t BrokenReplies() const { return m_broken; }
    std::uint64_t RowsOverCap() const { return m_rowsOverCap; }

private:
    enum class Part { Header, Rows, Pass, Resync };
    // What the first data reply since the last Reset told about the header's
    // bytes 0 to 15.
    enum class Framing { Unknown, Framed, Opaque };

    struct Cursor
    {
        const char* at;
        const char* end;
        std::size_t left() const { return static_cast<std::size_t>(end - at); }
    };
    struct Outputs
    {
        double* cpuLoad;
        std::uint32_t* memory;
        std::vector<_ST_ReadScopeData>* rows;
        ScopeStreamResult& result;
    };

    void Consume(Cursor& in, Outputs& out);
    void ReadHeader(Cursor& in, Outputs& out);
    void StartReply(Cursor& in, Outputs& out);
    void ReadRows(Cursor& in, Outputs& out);
    void PassOver(Cursor& in);
    void Resync(Cursor& in, Outputs& out);
    void StartAcknowledgement(Outputs& out);
    void ExpectHeader();
    std::size_t RowsThatFollow(const char* first, std::size_t count);
    // Counts a break and goes on from `replay` (bytes already read that may
    // hold the next reply's start), then from `in`.
    void Break(Cursor& in, Outputs& out, const char* replay, std::size_t replayLength);

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
    Framing m_framing = Framing::Unknown;

    std::uint64_t m_broken = 0;
    std::uint64_t m_rowsOverCap = 0;
};

} // namespace vx
