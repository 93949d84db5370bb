// The string table and the version block, as data.
#ifndef BRINDLE_RES_STRING_TABLE_H
#define BRINDLE_RES_STRING_TABLE_H

namespace res {

// The text of string resource `id`, or "" when there is none (as a failed LoadString leaves it).
const char* LoadString(int id);

struct VersionInfo {
    unsigned fileVersion[4];
    unsigned productVersion[4];
    const char* fileVersionText;
    const char* productVersionText;
    const char* translation; // language and code page block name
    const char* companyName;
    const char* fileDescription;
    const char* internalName;
    const char* legalCopyright;
    const char* legalTrademarks;
    const char* originalFilename;
    const char* productName;
};

const VersionInfo& ProgramVersion();

} // namespace res

#endif
