#include "string_table.h"

#include "resource.h"

namespace res {

const char* LoadString(int id)
{
    switch (id) {
    case IDS_ABOUTBOX:
        return "&About brindle...";
    case IDP_SOCKETS_INIT_FAILED:
        return "Windows sockets initialization failed.";
    default:
        return "";
    }
}

const VersionInfo& ProgramVersion()
{
    static constexpr VersionInfo kVersion{
        {1, 0, 0, 1},
        {1, 0, 0, 1},
        "1, 0, 0, 1",
        "1, 0, 0, 1",
        "040904B0",
        "",
        "brindle MFC Application",
        "brindle",
        "Copyright (C) 2026",
        "",
        "brindle.EXE",
        "brindle Application",
    };
    return kVersion;
}

} // namespace res
