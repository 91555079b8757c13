#include "Extractor.h"

#include <clocale>
#include <iostream>

int main(int argc, char** argv)
{
    // libarchive converts entry names through the locale: UTF-8 keeps them all.
    if (!std::setlocale(LC_CTYPE, "C.UTF-8"))
        std::setlocale(LC_CTYPE, "");
    return rarformat::RunRar(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
