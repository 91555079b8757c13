// rarwrite OUT.rar DIR: stores every file and directory below DIR, with
// relative paths, in a RAR 1.5-4.x archive.
#include "RarWriter.h"

#include <exception>
#include <fstream>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: rarwrite OUT.rar DIR\n";
        return 7;
    }
    try {
        const std::string archive = rarformat::WriteRar4(rarformat::EntriesFromDirectory(argv[2]));
        std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
        out << archive;
        if (!out.flush())
            throw std::runtime_error(std::string("cannot write ") + argv[1]);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "rarwrite: " << error.what() << "\n";
        return 2;
    }
}
