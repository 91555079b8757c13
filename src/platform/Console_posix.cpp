#include "platform/Console.h"

#include <iostream>

namespace platform {

ConsoleOutput& UnattendedOutput()
{
    static ConsoleOutput output {std::cout, std::cerr};
    return output;
}

}  // namespace platform
