#include "dbupdate/ParamScan.h"

#include "dbupdate/DatabaseError.h"

#include <cctype>

namespace dbupdate {

ParsedParams ScanParams(const std::string& sql)
{
    auto parseError = [](const char* why) {
        return DatabaseError(std::string("SQL Parse Error:\r\n\r\n") + why);
    };
    auto isNameChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
    };
    ParsedParams result;
    std::size_t i = 0;
    const std::size_t n = sql.size();
    while (i < n) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            // A quoted literal; a doubled quote stands for itself.
            std::size_t j = i + 1;
            for (;;) {
                if (j >= n)
                    throw parseError("EOF in string detected");
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            result.text.append(sql, i, j + 1 - i);
            i = j + 1;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const auto end = sql.find("*/", i + 2);
            if (end == std::string::npos)
                throw parseError("EOF in comment detected");
            result.text.append(sql, i, end + 2 - i);
            i = end + 2;
        } else if (c == ':' || c == '?') {
            std::size_t j = i + 1;
            std::string name;
            if (j < n && sql[j] == '"') {
                const auto close = sql.find('"', j + 1);
                if (close == std::string::npos)
                    throw parseError("EOF in string detected");
                name = sql.substr(j + 1, close - j - 1);
                j = close + 1;
            } else {
                while (j < n && isNameChar(sql[j]))
                    ++j;
                name = sql.substr(i + 1, j - i - 1);
            }
            if (name.empty())
                throw parseError("Parameter name expected");
            result.names.push_back(name);
            result.text += '?';
            i = j;
        } else {
            result.text += c;
            ++i;
        }
    }
    return result;
}

}  // namespace dbupdate
