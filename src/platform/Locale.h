#pragma once
// Locale services: sorting in the user's locale, the time of day and its
// formatting with the user's time separator.

#include <string>
#include <vector>

namespace platform {

// Takes the user's locale for every category (call once at start).
void UseUserLocale();

// Compares two texts without regard to letter case in the user's locale;
// byte order breaks ties so that the order is total and repeatable.
int CompareTextIgnoringCase(const std::string& left, const std::string& right);

// Sorts ascending with CompareTextIgnoringCase.
void SortTextList(std::vector<std::string>& list);

// The current local time of day as a fraction of a day.
double TimeOfDayNow();

// The locale's time separator (from its time format), ":" where it has none.
char TimeSeparator();

// Formats the time-of-day part of a day fraction as hours, minutes and
// seconds, two digits each, separated by separator ("hh:nn:ss").
std::string FormatTimeOfDay(double dayFraction, char separator);

}  // namespace platform
