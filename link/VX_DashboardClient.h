// The dashboard connection (port 20003): scope subscription and samples.
// Everything the controller sends on it is read as one byte stream
// (ScopeStreamReader): a subscription's exchange keeps the bytes it reads
// for the next fetch, and a fetch hands all of them, in order, to the
// reader. The stream lock orders the whole of each call (exchange and
// reading), so the GUI thread's subscription and the collector's fetch
// never reorder bytes; it is always taken before the connection's lock.
#pragma once

#include "VX_Lock.h"
#include "VX_Prod.h"
#include "VX_ScopeStream.h"
#include "VX_SocketClient.h"
#include "VX_Ports.h"

#include <cstdint>
#include <string>
#include <vector>

class VX_DashboardClient : public VX_SocketClient
{
public:
    // Drops the old connection and connects to address:20003; the new
    // connection starts a new stream (kept bytes and counters are dropped).
    int Init(const char* address);

    // -1 when more than 36 indexes are given (nothing is sent); otherwise the
    // result of the exchange. The bytes read are appended to `reply`.
    int SendRequest(std::uint32_t command, const std::vector<int>& indexes, std::string& reply);

    int SetScopeIndexes(const std::vector<int>& indexes);
    int ReadScopeData(double* cpuLoad, std::uint32_t* memory, std::vector<_ST_ReadScopeData>* rows);

    // Since the last Init: replies whose header broke the stream, and rows
    // that replies held beyond the 100 taken from each.
    void ReadStreamCounts(std::uint64_t* brokenReplies, std::uint64_t* rowsOverCap);

private:
    VX_Lock m_streamLock;
    // Bytes read by subscriptions since the last fetch, then the fetch's own.
    std::string m_unread;
    vx::ScopeStreamReader m_reader;
};
