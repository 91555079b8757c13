#pragma once
// Profile (INI) files: cnfg.ini is read as GetPrivateProfileStringA reads it.

#include <string>

namespace platform {

// Reads a value from INI text by the profile rules: section and key names
// match without regard to letter case; only the first section of a name
// counts; lines starting with ";" are comments; the value is the text after
// the first "=" with surrounding blanks removed and one enclosing pair of
// quotation marks (" or ') dropped; at most 2047 characters are read.
// Missing gives fallback.
std::string ProfileStringFromText(const std::string& iniText, const std::string& section, const std::string& key,
                                  const std::string& fallback);

// Reads a value from the profile file at iniPath (an absolute path): on
// Windows through GetPrivateProfileStringA, elsewhere by the rules of
// ProfileStringFromText. A missing or unreadable file gives fallback.
std::string ReadProfileString(const std::string& iniPath, const std::string& section, const std::string& key,
                              const std::string& fallback);

}  // namespace platform
