#include "Rar4Headers.h"

#include <iconv.h>

namespace rarformat {

std::string OemToUtf8(const std::string& bytes, const std::string& codePage)
{
    iconv_t converter = ::iconv_open("UTF-8", codePage.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return bytes;
    std::string out(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* cursor = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = ::iconv(converter, &in, &inLeft, &cursor, &outLeft);
    ::iconv_close(converter);
    if (result == static_cast<std::size_t>(-1))
        return bytes;
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace rarformat
