#include "PackTool.h"

#include <iostream>

int main(int argc, char** argv)
{
    return packtool::Run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
