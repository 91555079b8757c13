#include "Extractor.h"

#include "ExtractFailure.h"

#include <exception>
#include <filesystem>
#include <ostream>

namespace rarformat {

int ReportFailure(std::ostream& err)
{
    try {
        throw;
    } catch (const Failure& failure) {
        err << "rar: " << failure.what() << "\n";
        return failure.code;
    } catch (const std::exception& error) {
        err << "rar: " << error.what() << "\n";
        return kFatal;
    } catch (...) {
        err << "rar: unknown error\n";
        return kFatal;
    }
}

int RunRar(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    const char* usage = "usage: rar x [-o+|-o-|-y] ARCHIVE [DESTINATION/]\n";
    if (arguments.empty() || arguments[0] != "x") {
        err << usage;
        return kUsageError;
    }
    ExtractOptions options;
    std::vector<std::string> files;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() > 1 && argument[0] == '-' && files.empty()) {
            if (argument == "-o-")
                options.overwrite = false;
            else if (argument == "-o+" || argument == "-y" || argument.rfind("-id", 0) == 0)
                options.overwrite = true;
            else {
                err << "rar: unknown switch " << argument << "\n" << usage;
                return kUsageError;
            }
            continue;
        }
        files.push_back(argument);
    }
    if (files.empty() || files.size() > 2) {
        err << usage;
        return kUsageError;
    }
    std::string destination = ".";
    if (files.size() == 2) {
        destination = files[1];
        std::error_code error;
        std::filesystem::create_directories(destination, error);
        if (error) {
            err << "rar: cannot create " << destination << ": " << error.message() << "\n";
            return kCreateError;
        }
    }
    const int code = Extract(files[0], destination, options, err);
    if (code == kSuccess)
        out << "All OK\n";
    return code;
}

}  // namespace rarformat
