// vx-linkdemo ADDRESS: walks through the link library against a controller
// (or zps-sim) and prints what comes back. Exit status 0 when the
// controller answered every step.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "VX_Prod.h"
#include "VX_Ports.h"

int main(int argc, char** argv)
{
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::fprintf(stderr, "Usage: vx-linkdemo ADDRESS\n"
                             "Connects the link library to the controller at ADDRESS and prints versions,\n"
                             "machine origin, encoders, robot flags and a few scope rows.\n");
        return 2;
    }
    const std::string address = argv[1];
    int failures = 0;

    std::printf("VXRPC_InitClient(%s, 20000, 10003) = %d\n", address.c_str(), VXRPC_InitClient(address, vx::kRpcPort, vx::kCommandPort));
    const int dash = VX_InitDashboardClient(address);
    std::printf("VX_InitDashboardClient(%s) = %d, connected: %s\n", address.c_str(), dash,
                VX_IsConnectDashboard() ? "yes" : "no");
    failures += dash != 0;

    int v[7] = {};
    int r = VXRPC_ReadVersion(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]);
    std::printf("ReadVersion = %d: ZPS Version %d.%d, Box Version %d.%d.%d, Algorithm Version %d, firmware %08X\n",
                r, v[0], v[1], v[2], v[3], v[4], v[5], static_cast<unsigned>(v[6]));
    failures += r != 0;

    int o[6] = {};
    r = VXRPC_ReadMachineOrigin(&o[0], &o[1], &o[2], &o[3], &o[4], &o[5]);
    std::printf("ReadMachineOrigin = %d: %d %d %d %d %d %d\n", r, o[0], o[1], o[2], o[3], o[4], o[5]);
    failures += r != 0;

    int e[6] = {};
    r = VXRPC_ReadCurEncode(&e[0], &e[1], &e[2], &e[3], &e[4], &e[5]);
    std::printf("ReadCurEncode = %d: %d %d %d %d %d %d\n", r, e[0], e[1], e[2], e[3], e[4], e[5]);
    failures += r != 0;

    // The command port answers within a few milliseconds; a reply that
    // misses the library's short wait is picked up by the next call.
    int f[8] = {};
    r = 20007;
    for (int attempt = 0; attempt < 5 && r != 0; ++attempt)
        r = VXIF_ReadRobotFlags(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7]);
    std::printf("ReadRobotFlags = %d: %d %d %d %d %d %d %d %d%s\n", r, f[0], f[1], f[2], f[3], f[4], f[5], f[6],
                f[7], f[2] == 1 ? "  (robot error)" : "");
    failures += r != 0;

    // J1..J6 " Actual ACS" and J1 " Actual JointVel".
    std::vector<int> indexes = {49, 50, 51, 52, 53, 54, 61};
    std::printf("VX_SetScopeIndexs(49..54, 61) = %d\n", VX_SetScopeIndexs(indexes));
    size_t total = 0;
    for (int fetch = 0; fetch < 5; ++fetch) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        double cpu = -1;
        uint32_t mem = 0;
        std::vector<_ST_ReadScopeData> rows;
        VX_ReadScopeData(&cpu, &mem, &rows);
        total += rows.size();
        std::printf("fetch %d: %zu rows, ZPS CPU:%.3f%% ZPS Mem:%.3fMB\n", fetch + 1, rows.size(), cpu, mem / 1024.0);
        for (size_t i = 0; i < rows.size() && i < 3; ++i) {
            const auto& row = rows[i];
            std::printf("  t=%9.0f ms  J1..J6 %8.3f %8.3f %8.3f %8.3f %8.3f %8.3f deg  J1 vel %8.3f deg/s\n", row.time,
                        row.values[0], row.values[1], row.values[2], row.values[3], row.values[4], row.values[5],
                        row.values[6]);
        }
    }
    failures += total == 0;
    std::printf("dashboard still connected: %s\n", VX_IsConnectDashboard() ? "yes" : "no");
    std::printf("%s\n", failures == 0 ? "all steps answered" : "some steps failed");
    return failures == 0 ? 0 : 1;
}
