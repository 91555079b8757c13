// The INI reader on arbitrary cnfg.ini text.
#include "dbupdate/Settings.h"
#include "platform/Profile.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    platform::ProfileStringFromText(text, "Common", "PathBaseIB", "");
    platform::ProfileStringFromText(text, "Common", "NameServer", "fallback");
    dbupdate::ProfileInteger(platform::ProfileStringFromText(text, "Common", "TypeServer", ""), 0);
    dbupdate::ProfileInteger(platform::ProfileStringFromText(text, "common", "connectprotocol", ""), -1);
    // A section and key taken from the text itself.
    const auto equals = text.find('=');
    if (equals != std::string::npos && equals > 0)
        platform::ProfileStringFromText(text, text.substr(0, equals / 2), text.substr(equals / 2, equals - equals / 2), "");
    return 0;
}
