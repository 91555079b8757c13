#pragma once
// The cnfg.ini that the profile reader's tests read: sections, blanks,
// quotes, empty values, a later section of the same name, code page 1251
// bytes.

#include <string>

inline const std::string kSampleIni =
    "; comment\r\n"
    "[Other]\r\n"
    "PathBaseIB=wrong\r\n"
    "[ common ]\r\n"
    "  pathbaseib =  \"D:\\Data\\base.fdb\"  \r\n"
    "NameServer = 'dbhost' \r\n"
    "TypeServer=0x1\r\n"
    "Empty=\r\n"
    "Inner=a \"b\" c\r\n"
    "Eq=a=b\r\n"
    "EmptyDouble=\"\"\r\n"
    "EmptySingle=''\r\n"
    "LoneQuote=\"\r\n"
    "Cyrillic=\xC1\xE0\xE7\xE0\r\n"
    "[Common]\r\n"
    "Later=ignored\r\n";
