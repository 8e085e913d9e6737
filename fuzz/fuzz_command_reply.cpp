// A reply on the command port: the split rule, the status and the eight
// robot state flags.
#include "VX_Protocol.h"

#include <cstdlib>

using namespace vx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> fields;
    SplitFields(text, ",", fields);

    // Joining the fields again gives the text back (with the closing
    // separator the split rule supplies).
    std::string joined;
    for (const std::string& f : fields)
        joined += f + ",";
    if (!text.empty() && joined != (text.back() == ',' ? std::string(text) : std::string(text) + ","))
        std::abort();

    const std::size_t before = fields.size();
    const int status = ReadCommandStatus(fields);
    if (fields.size() + 1 < before)
        std::abort();
    if (status == 0 && (fields.size() < 2 || fields[1] != "OK"))
        std::abort(); // success only for an "OK" status

    int values[kRobotFlagCount];
    int* const outputs[kRobotFlagCount] = {&values[0], &values[1], &values[2], &values[3],
                                           &values[4], &values[5], &values[6], &values[7]};
    const bool set = ReadRobotFlags(fields, outputs);
    if (set != (fields.size() >= 11))
        std::abort();
    for (const std::string& f : fields)
        (void)ParseDecimal(f);
    return 0;
}
