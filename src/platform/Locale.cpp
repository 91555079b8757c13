#include "platform/Locale.h"

#include <cmath>
#include <cstdio>

namespace platform {

std::string FormatTimeOfDay(double dayFraction, char separator)
{
    double fraction = dayFraction - std::floor(dayFraction);
    // Round to whole milliseconds first, so that 0.99999 of a second does not
    // show as the previous second through floating-point noise.
    long long milliseconds = std::llround(fraction * 86400000.0) % 86400000LL;
    const long long totalSeconds = milliseconds / 1000;
    char text[16];
    std::snprintf(text, sizeof text, "%02lld%c%02lld%c%02lld", totalSeconds / 3600, separator,
                  (totalSeconds / 60) % 60, separator, totalSeconds % 60);
    return text;
}

}  // namespace platform
