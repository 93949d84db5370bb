// How the console reads what was typed into its fields.
#ifndef BRINDLE_CONSOLE_FIELD_TEXT_H
#define BRINDLE_CONSOLE_FIELD_TEXT_H

#include <cstdint>
#include <cstdlib>
#include <string>

// True when nothing but white space was typed.
inline bool IsBlank(const std::string& text)
{
    return text.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
}

// The leading number of a text as atoi reads it (white space, a sign, digits; 0 when there are
// none), wrapped to int rather than left undefined when it does not fit.
inline int LeadingNumber(const std::string& text)
{
    return static_cast<int>(static_cast<std::uint32_t>(std::strtoll(text.c_str(), nullptr, 10)));
}

// True when a port field names port 0: blank, no leading digits, or a multiple of 65536. Bound,
// that port is one the system picks and shows nowhere; as a destination it reaches nobody.
inline bool NamesNoPort(const std::string& text)
{
    return static_cast<std::uint16_t>(LeadingNumber(text)) == 0;
}

#endif
