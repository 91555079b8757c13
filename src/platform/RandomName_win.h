#pragma once
// Random letters and digits for the names of temporary files (the Windows
// files' counterpart of mkostemp's XXXXXX). Internal to the platform layer.

#include <random>
#include <string>

namespace platform {

inline std::string RandomLetters(std::size_t count)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device source;
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += letters[source() % (sizeof letters - 1)];
    return text;
}

}  // namespace platform
