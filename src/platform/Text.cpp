#include "platform/Text.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <random>

namespace platform {

std::string TrimBlanks(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    return text.substr(begin, end - begin);
}

std::string UpperAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool EqualIgnoringAsciiCase(const std::string& left, const std::string& right)
{
    return left.size() == right.size() && UpperAscii(left) == UpperAscii(right);
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.emplace_back(text, start, i - start);
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.emplace_back(text, start);
    return lines;
}

bool TryParseUint64(const std::string& text, std::uint64_t& value)
{
    if (text.empty())
        return false;
    std::uint64_t result = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (result > (UINT64_MAX - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

std::string RandomTag()
{
    std::random_device device;
    char tag[9];
    std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(device()));
    return tag;
}

bool TryParseInt32(const std::string& text, int base, std::int32_t& value)
{
    std::size_t i = 0;
    bool negative = false;
    if (base == 10 && i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return false;
    unsigned long long result = 0;
    for (; i < text.size(); ++i) {
        const int c = std::tolower(static_cast<unsigned char>(text[i]));
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        result = result * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (result > 0xFFFFFFFFULL)
            return false;
    }
    if (base == 16) {
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(result));
        return true;
    }
    if (negative ? result > 2147483648ULL : result > 2147483647ULL)
        return false;
    value = negative ? static_cast<std::int32_t>(-static_cast<long long>(result)) : static_cast<std::int32_t>(result);
    return true;
}

std::string FillMessageInserts(const std::string& message, const std::string& subject)
{
    std::string filled;
    filled.reserve(message.size() + subject.size());
    std::size_t i = 0;
    while (i < message.size()) {
        const bool insert = message[i] == '%' && i + 1 < message.size() && message[i + 1] >= '1' && message[i + 1] <= '9';
        if (!insert) {
            filled += message[i++];
            continue;
        }
        i += 2;
        if (i < message.size() && message[i] >= '0' && message[i] <= '9')
            ++i;
        if (i < message.size() && message[i] == '!') {
            const std::size_t end = message.find('!', i + 1);
            if (end != std::string::npos)
                i = end + 1;
        }
        if (!subject.empty()) {
            filled += subject;
        } else if (i < message.size() && message[i] == ' ') {
            ++i;
        } else if (!filled.empty() && filled.back() == ' ') {
            filled.pop_back();
        }
    }
    return filled;
}

std::string Counted(std::size_t count, const char* singular, const char* plural)
{
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

}  // namespace platform
