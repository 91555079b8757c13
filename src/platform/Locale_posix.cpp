#include "platform/Locale.h"

#include <algorithm>
#include <clocale>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <cwctype>
#include <langinfo.h>
#include <sys/time.h>

namespace platform {

void UseUserLocale() { std::setlocale(LC_ALL, ""); }

// Decodes in the current locale and folds case; bytes that do not decode are
// taken one by one so that no text is lost for the comparison.
static std::wstring FoldedWide(const std::string& text)
{
    std::wstring wide;
    wide.reserve(text.size());
    std::mbstate_t state {};
    const char* cursor = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        wchar_t character = 0;
        std::size_t used = std::mbrtowc(&character, cursor, left, &state);
        if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
            character = static_cast<wchar_t>(static_cast<unsigned char>(*cursor));
            used = 1;
            state = {};
        } else if (used == 0) {
            used = 1;  // an embedded NUL
        }
        wide.push_back(static_cast<wchar_t>(std::towlower(static_cast<wint_t>(character))));
        cursor += used;
        left -= used;
    }
    return wide;
}

int CompareTextIgnoringCase(const std::string& left, const std::string& right)
{
    const int collated = std::wcscoll(FoldedWide(left).c_str(), FoldedWide(right).c_str());
    if (collated != 0)
        return collated < 0 ? -1 : 1;
    const int bytes = left.compare(right);
    return bytes < 0 ? -1 : (bytes > 0 ? 1 : 0);
}

void SortTextList(std::vector<std::string>& list)
{
    // Fold each text once; comparisons then only collate.
    std::vector<std::pair<std::wstring, std::string>> keyed;
    keyed.reserve(list.size());
    for (auto& text : list)
        keyed.emplace_back(FoldedWide(text), std::move(text));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        const int collated = std::wcscoll(a.first.c_str(), b.first.c_str());
        return collated != 0 ? collated < 0 : a.second < b.second;
    });
    for (std::size_t i = 0; i < list.size(); ++i)
        list[i] = std::move(keyed[i].second);
}

double TimeOfDayNow()
{
    timeval now {};
    ::gettimeofday(&now, nullptr);
    std::tm local {};
    const std::time_t seconds = now.tv_sec;
    ::localtime_r(&seconds, &local);
    const double secondsOfDay = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + now.tv_usec / 1e6;
    return secondsOfDay / 86400.0;
}

char TimeSeparator()
{
    const char* format = ::nl_langinfo(T_FMT);
    if (!format)
        return ':';
    // The separator is the first literal character after the hour field.
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] && std::strchr("HIkl", p[1])) {
            const char next = p[2];
            return next && next != '%' ? next : ':';
        }
    }
    return ':';
}

}  // namespace platform
