// The packed updater.exe on Windows, unattended, from 120 to 122: the
// database, the blob bytes, the program files and the run log, through
// rar.exe and the client library beside it.
#include "app/Unattended.h"

#include "Installation.h"
#include "platform/ChildProcess.h"
#include "platform/Paths.h"
#include "platform/SharedLibrary.h"
#include "platform/Utf16_win.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <windows.h>

using platform::JoinPath;
using testsupport::Installation;
using testsupport::ReadFile;

namespace {

// A file the tests' own libraries are built into: <build>/tests/DIRECTORY/NAME.
std::string TestLibrary(const std::string& directory, const std::string& name)
{
    return JoinPath(JoinPath(JoinPath(testsupport::BinaryDir(), "tests"), directory), name);
}

}  // namespace

TEST(UnattendedOnWindows, UpdatesAnInstallationFrom120To122)
{
    Installation installation(120, {{"121_RAR", testsupport::Package121()}, {"122_RAR", testsupport::Package122()}});
    const testsupport::UnattendedResult result = testsupport::RunUnattended(installation);
    EXPECT_EQ(result.code, app::kExitFailures) << result.err;
    EXPECT_EQ(installation.Version(), 122);
    EXPECT_EQ(installation.Query("select count(*) from INFO_DOC where ID = 300 and KIND = 2"), 1);
    EXPECT_EQ(testsupport::QueryBlob(installation.database, "select NOTE_U from INFO_DOC where ID = 200"),
              std::string("blob\0bytes\r\n\x1A end", 17))
        << "CR LF, NUL and Ctrl-Z reach the column unchanged";
    EXPECT_EQ(ReadFile(installation.InExeDir("nvlib.exe")), "program 122");
    EXPECT_EQ(ReadFile(installation.InExeDir("Reports/a.fr3")), "report a 121");
    EXPECT_EQ(ReadFile(installation.InExeDir("Reports/b.fr3")), "report b 122");
    const std::string log = ReadFile(installation.InWorkDir("up/122.001.sql.log"));
    EXPECT_EQ(log.rfind("insert into NOWHERE values (1)\r\n------------------------- error ---", 0), 0u) << log;
    EXPECT_EQ(log.find("\r\r\n"), std::string::npos) << "lines end in CR LF, once";
    EXPECT_NE(result.out.find("Встановлення оновлення\n121.001.sql\n121.099.sql\nnvlib.exe...[OK]\na.fr3...[OK]\n"),
              std::string::npos)
        << result.out;
}

// Started from a command prompt without redirection, the window program
// writes its lines to the prompt's console (here a console of the test's
// own), in Ukrainian whatever the console's code page.
TEST(UnattendedOnWindows, WritesToTheConsoleOfThePromptThatStartedIt)
{
    Installation installation(122, {{"122_RAR", testsupport::Package122()}});
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    std::wstring command = L"\"" + platform::Utf16FromText(installation.updater) + L"\" --unattended";
    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    // No standard handles, as Windows starts a window program from a
    // prompt: the updater has to attach to the console itself.
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION process {};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               platform::Utf16FromText(installation.exeDir).c_str(), &startup, &process));
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(code, static_cast<DWORD>(app::kExitApplied)) << "nothing to apply";

    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(console, INVALID_HANDLE_VALUE);
    CONSOLE_SCREEN_BUFFER_INFO info {};
    ASSERT_TRUE(GetConsoleScreenBufferInfo(console, &info));
    std::wstring screen(static_cast<std::size_t>(info.dwSize.X) * (info.dwCursorPosition.Y + 1), L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(console, screen.data(), static_cast<DWORD>(screen.size()), {0, 0}, &read);
    CloseHandle(console);
    const std::string text = platform::TextFromUtf16(screen.substr(0, read));
    EXPECT_NE(text.find("Версія бази даних: 122"), std::string::npos) << text;
    EXPECT_NE(text.find("Версія БД більша за номер пакета оновлень"), std::string::npos) << text;
}

// The version resource names the product and the build's version; the
// manifest asks for the common controls 6 and runs as the invoking user.
TEST(UpdaterResources, CarryTheVersionAndTheManifest)
{
    const std::wstring path = platform::Utf16FromText(testsupport::BuiltProgram("src/app", "updater"));
    std::string version(GetFileVersionInfoSizeW(path.c_str(), nullptr), '\0');
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
    const auto value = [&](const wchar_t* name) {
        wchar_t* text = nullptr;
        UINT length = 0;
        const std::wstring key = std::wstring(L"\\StringFileInfo\\042204E3\\") + name;
        if (!VerQueryValueW(version.data(), key.c_str(), reinterpret_cast<void**>(&text), &length))
            return std::string("<none>");
        return platform::TextFromUtf16(std::wstring(text, length > 0 ? length - 1 : 0));
    };
    EXPECT_EQ(value(L"ProductName"), "Norvex");
    EXPECT_EQ(value(L"FileVersion"), UPDATER_VERSION);
    EXPECT_EQ(value(L"OriginalFilename"), "updater.exe");

    HMODULE image = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image, nullptr);
    HRSRC resource = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(resource, nullptr);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(image, resource))),
                               SizeofResource(image, resource));
    FreeLibrary(image);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
}

// An installation whose client library has the other bitness (a 32-bit
// fbclient.dll and the 64-bit updater, or the reverse): the message names
// the library, both bitnesses and the updater to use, never a raw "%1".
TEST(UnattendedOnWindows, AClientLibraryOfTheOtherBitnessNamesTheUpdaterToUse)
{
    Installation installation(121, {{"122_RAR", testsupport::Package122()}});
    const std::string client = installation.InExeDir("fbclient.dll");
    ASSERT_TRUE(CopyFileA(TestLibrary("other-bitness", "fbclient.dll").c_str(), client.c_str(), FALSE));
    const testsupport::UnattendedResult result = testsupport::RunUnattended(installation);
    const std::string ours = std::to_string(platform::ProgramBits());
    const std::string theirs = std::to_string(96 - platform::ProgramBits());
    EXPECT_EQ(result.code, app::kExitError);
    EXPECT_NE(result.err.find("Cannot load the Firebird client library " + client + ": the library is " + theirs +
                              "-bit and this updater is " + ours + "-bit. Use the " + theirs +
                              "-bit updater with this client library"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find("%1"), std::string::npos) << result.err;
    EXPECT_EQ(installation.Version(), 121);
}

// Wine's own libraries come before native ones of the same name; for the
// program named here, while the object lives, a native bcrypt.dll comes
// first, as Windows takes one.
class NativeBcryptFirst {
public:
    explicit NativeBcryptFirst(const std::wstring& program)
        : key_(L"Software\\Wine\\AppDefaults\\" + program)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, (key_ + L"\\DllOverrides").c_str(), L"bcrypt", REG_SZ, L"native,builtin",
                        sizeof L"native,builtin");
    }
    ~NativeBcryptFirst() { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }
    NativeBcryptFirst(const NativeBcryptFirst&) = delete;
    NativeBcryptFirst& operator=(const NativeBcryptFirst&) = delete;

private:
    std::wstring key_;
};

// A bcrypt.dll lying beside the updater (a downloads folder) is never
// loaded, through a whole run that checks the packages' SHA-256. Windows
// takes an imported library that is not one of its known ones from the
// program's directory first; a program that imports BCrypt, as the updater
// once did, shows that the check sees a planted library that is loaded.
TEST(UpdaterOnWindows, LoadsNoLibraryPlantedBesideIt)
{
    const std::string planted = TestLibrary("planted", "bcrypt.dll");
    testsupport::TempDir control;
    const std::string importer = control / "imports-bcrypt.exe";
    ASSERT_TRUE(CopyFileA(testsupport::BuiltProgram("tests/planted", "imports-bcrypt").c_str(), importer.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(planted.c_str(), (control / "bcrypt.dll").c_str(), FALSE));
    {
        const NativeBcryptFirst native(L"imports-bcrypt.exe");
        auto process = platform::ChildProcess::Start({importer}, control.Path(), "", "");
        ASSERT_TRUE(process.has_value());
        process->Wait();
    }
    EXPECT_TRUE(std::filesystem::exists(control / "planted-library-ran"))
        << "a program that imports BCrypt loads the planted library";

    Installation installation(121, {{"122_RAR", testsupport::Package122()}});
    ASSERT_TRUE(CopyFileA(planted.c_str(), installation.InExeDir("bcrypt.dll").c_str(), FALSE));
    testsupport::UnattendedResult result;
    {
        const NativeBcryptFirst native(L"updater.exe");
        result = testsupport::RunUnattended(installation);
    }
    EXPECT_EQ(result.code, app::kExitFailures) << result.err;
    EXPECT_EQ(installation.Version(), 122);
    EXPECT_FALSE(std::filesystem::exists(installation.InExeDir("planted-library-ran")));
}
