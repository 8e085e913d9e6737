// A shared library that is no Qt plug-in at all: the host must skip it.
extern "C" __attribute__((visibility("default"))) int vx_fixture_plain_library()
{
    return 7;
}
