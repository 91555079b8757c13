#include "platform/ChildProcess.h"

#include "platform/File.h"

#include <stdexcept>
#include <windows.h>

namespace platform {

namespace {

// One argument as the C runtime's command-line parser reads it back:
// quoted when it is empty or holds blanks or quotes; backslashes doubled
// only where they come before a quote.
std::string QuoteArgument(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"')
            quoted.append(backslashes * 2 + 1, '\\');
        else
            quoted.append(backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

// An inheritable handle for the child's standard handles, owned here.
class InheritableHandle {
public:
    explicit InheritableHandle(HANDLE handle) : handle_(handle) {}
    InheritableHandle(const InheritableHandle&) = delete;
    InheritableHandle& operator=(const InheritableHandle&) = delete;
    ~InheritableHandle()
    {
        if (Valid())
            CloseHandle(handle_);
    }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

HANDLE OpenNullDevice(DWORD access)
{
    SECURITY_ATTRIBUTES inherit {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileA("NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
}

// The file an output goes to, or the null device when it cannot be used (a
// link or a special file at its path is refused before anything is
// written).
HANDLE OpenOutput(const std::string& path)
{
    if (!path.empty()) {
        try {
            File file = CreateRegularFile(path);
            HANDLE duplicate = nullptr;
            if (DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(file.NativeHandle()),
                                GetCurrentProcess(), &duplicate, 0, TRUE, DUPLICATE_SAME_ACCESS))
                return duplicate;
        } catch (const std::runtime_error&) {
        }
    }
    return OpenNullDevice(GENERIC_WRITE);
}

}  // namespace

std::optional<ChildProcess> ChildProcess::Spawn(const std::vector<std::string>& argv,
                                                const std::string& currentDirectory,
                                                const std::string& errorOutputPath, const std::string& outputPath)
{
    // The program is named as the application as well, so that a path with
    // blanks can never start another program ("C:\Program.exe" for
    // "C:\Program Files\...").
    std::string commandLine;
    for (const auto& argument : argv)
        commandLine += (commandLine.empty() ? "" : " ") + QuoteArgument(argument);

    const InheritableHandle input(OpenNullDevice(GENERIC_READ));
    const InheritableHandle output(OpenOutput(outputPath));
    const InheritableHandle error(OpenOutput(errorOutputPath));
    if (!input.Valid() || !output.Valid() || !error.Valid())
        return std::nullopt;

    // Only these three handles reach the child, whatever else the process
    // (the database client among it) made inheritable.
    HANDLE inherited[] = {input.Get(), output.Get(), error.Get()};
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<char> listStorage(listSize);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listStorage.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &listSize))
        return std::nullopt;
    const bool listed = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                                  sizeof inherited, nullptr, nullptr);

    STARTUPINFOEXA startup {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdInput = input.Get();
    startup.StartupInfo.hStdOutput = output.Get();
    startup.StartupInfo.hStdError = error.Get();
    startup.lpAttributeList = listed ? list : nullptr;
    PROCESS_INFORMATION process {};
    // Detached: the child gets no console at all. Given one (even a hidden
    // one), wine starts a console host for it that inherits the standard
    // handles and outlives the child a moment, holding the output files
    // open after the wait has returned: the working directory could then
    // not be cleared.
    const BOOL started = CreateProcessA(argv[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        DETACHED_PROCESS | (listed ? EXTENDED_STARTUPINFO_PRESENT : 0), nullptr,
                                        currentDirectory.empty() ? nullptr : currentDirectory.c_str(),
                                        &startup.StartupInfo, &process);
    DeleteProcThreadAttributeList(list);
    if (!started)
        return std::nullopt;
    CloseHandle(process.hThread);
    return ChildProcess(reinterpret_cast<std::intptr_t>(process.hProcess));
}

void ChildProcess::KillAndReap() noexcept
{
    if (process_ == kNoProcess)
        return;
    HANDLE handle = reinterpret_cast<HANDLE>(process_);
    TerminateProcess(handle, 1);
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
    process_ = kNoProcess;
}

ExitStatus ChildProcess::Wait()
{
    ExitStatus result;
    if (process_ == kNoProcess)
        return result;
    HANDLE handle = reinterpret_cast<HANDLE>(process_);
    DWORD code = 0;
    if (WaitForSingleObject(handle, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(handle, &code)) {
        result.exited = true;
        result.code = static_cast<int>(code);
    }
    CloseHandle(handle);
    process_ = kNoProcess;
    return result;
}

}  // namespace platform
