#include "string_table.h"

#include "resource_script.h" // generated from brindle.rc

namespace res {

const char* LoadString(int id)
{
    for (const script::StringResource& entry : script::kStrings) {
        if (entry.id == id)
            return entry.text;
    }
    return "";
}

const VersionInfo& ProgramVersion()
{
    return script::kVersion;
}

} // namespace res
