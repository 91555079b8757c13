#include "platform/Locale.h"

#include <algorithm>
#include <clocale>
#include <windows.h>

namespace platform {

void UseUserLocale() { std::setlocale(LC_ALL, ""); }

namespace {

// CompareStringA in the user's locale, ignoring case; byte order breaks ties.
int Compare(const std::string& left, const std::string& right)
{
    const int result = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, left.data(), static_cast<int>(left.size()),
                                      right.data(), static_cast<int>(right.size()));
    if (result == CSTR_LESS_THAN)
        return -1;
    if (result == CSTR_GREATER_THAN)
        return 1;
    const int bytes = left.compare(right);
    return bytes < 0 ? -1 : (bytes > 0 ? 1 : 0);
}

}  // namespace

int CompareTextIgnoringCase(const std::string& left, const std::string& right) { return Compare(left, right); }

void SortTextList(std::vector<std::string>& list)
{
    std::stable_sort(list.begin(), list.end(), [](const std::string& a, const std::string& b) { return Compare(a, b) < 0; });
}

double TimeOfDayNow()
{
    SYSTEMTIME now {};
    GetLocalTime(&now);
    const double seconds = now.wHour * 3600.0 + now.wMinute * 60.0 + now.wSecond + now.wMilliseconds / 1000.0;
    return seconds / 86400.0;
}

char TimeSeparator()
{
    char separator[8] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, separator, sizeof separator) > 1 && separator[0])
        return separator[0];
    return ':';
}

}  // namespace platform
