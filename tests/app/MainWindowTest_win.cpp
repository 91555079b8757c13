// The Win32 main window, driven through its messages under wine with a
// display (Xvfb in the test script): the layout, the keys, the checks and
// the run through the stand-in client library.
#include "app/MainWindow_win.h"


#include "BoxCollector.h"
#include "DesignedLayout.h"
#include "Installation.h"

#include <commctrl.h>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

using fixture::BoxCollector;
using testsupport::Installation;

namespace {

// Shows the window and lets its FormShow run.
void ShowWindow(app::TForm1& form)
{
    form.Show();
    for (int i = 0; i < 100 && !form.FormShowDone(); ++i) {
        app::ProcessPendingMessages();
        Sleep(1);
    }
    ASSERT_TRUE(form.FormShowDone());
}

app::Rect Geometry(HWND control)
{
    RECT r {};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

bool Hidden(HWND control) { return (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) == 0; }

LOGFONTW FontOf(HWND control)
{
    LOGFONTW font {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font), &font);
    return font;
}

void Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

// A hidden window that runs a function when the message it was posted
// arrives: posted before a button is pressed, the function runs from the
// first message pump inside the handler.
class Probe {
public:
    explicit Probe(std::function<void()> action) : action_(std::move(action))
    {
        static const ATOM registered = [] {
            WNDCLASSW probeClass {};
            probeClass.lpfnWndProc = &Probe::Proc;
            probeClass.hInstance = GetModuleHandleW(nullptr);
            probeClass.lpszClassName = L"TestProbe";
            return RegisterClassW(&probeClass);
        }();
        (void)registered;
        window_ = CreateWindowW(L"TestProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        PostMessageW(window_, WM_APP, 0, 0);
    }
    ~Probe() { DestroyWindow(window_); }
    bool Ran() const { return ran_; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* probe = reinterpret_cast<Probe*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_APP && probe != nullptr) {
            probe->ran_ = true;
            probe->action_();
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_;
    std::function<void()> action_;
    bool ran_ = false;
};

}  // namespace

TEST(Win32Form, HasTheDesignedLayout)
{
    testsupport::TempDir dir;
    app::TForm1 form(dir / "updater.exe");
    HWND window = form.Handle();
    EXPECT_EQ(app::WindowText(window), "Оновлення");
    RECT client {};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 635);
    EXPECT_EQ(client.bottom, 456);
    RECT frame {};
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.left, 0);
    EXPECT_EQ(frame.top, 0);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    for (LONG bit : {WS_THICKFRAME, WS_SYSMENU, WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_CAPTION})
        EXPECT_EQ(style & bit, bit);
    EXPECT_EQ(GetClassLongPtrW(window, GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_BTNFACE + 1));

    for (const auto& c : fixture::kDesignedControls) {
        HWND control = form.Control(c.name);
        ASSERT_NE(control, nullptr) << c.name;
        EXPECT_EQ(app::ControlName(GetDlgCtrlID(control)), c.name);
        fixture::ExpectDesignedGeometry(c, Geometry(control));
        EXPECT_EQ(Hidden(control), c.hidden) << c.name;
        EXPECT_EQ(IsWindowEnabled(control) != 0, c.enabled) << c.name;
        if (!c.text)
            continue;  // panels and the bar draw no text
        EXPECT_EQ(app::WindowText(control), c.text) << c.name;
        const LOGFONTW font = FontOf(control);
        EXPECT_STREQ(font.lfFaceName, L"Tahoma") << c.name;
        EXPECT_EQ(font.lfHeight, -11) << c.name;
    }
    for (const char* bold : {"Label1", "lCurVer", "Label2", "lActVer", "lUpdate"})
        EXPECT_EQ(FontOf(form.Control(bold)).lfWeight, FW_BOLD) << bold;
    for (const char* right : {"lCurVer", "lActVer", "lUpdateTime"})
        EXPECT_EQ(GetWindowLongW(form.Control(right), GWL_STYLE) & SS_TYPEMASK, SS_RIGHT) << right;

    HWND memo = form.Control("Memo2");
    const LONG memoStyle = GetWindowLongW(memo, GWL_STYLE);
    EXPECT_TRUE(memoStyle & ES_MULTILINE);
    EXPECT_FALSE(memoStyle & (WS_VSCROLL | WS_HSCROLL | ES_AUTOHSCROLL | ES_READONLY)) << "word wrap, no scroll bars";
    HDC dc = GetDC(memo);
    EXPECT_EQ(SendMessageW(GetParent(memo), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(memo)),
              reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_INFOBK)));
    ReleaseDC(memo, dc);

    HWND bar = form.Control("ProgressBar2");
    wchar_t barClass[64] {};
    GetClassNameW(bar, barClass, 64);
    EXPECT_STREQ(barClass, PROGRESS_CLASSW);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
}

TEST(Win32Form, KeepsDockingAndAnchorsWhenResized)
{
    testsupport::TempDir dir;
    BoxCollector boxes;  // FormShow finds no database here
    app::TForm1 form(dir / "updater.exe");
    ShowWindow(form);
    RECT frame {0, 0, 835, 556};
    AdjustWindowRectEx(&frame, GetWindowLongW(form.Handle(), GWL_STYLE), FALSE,
                       GetWindowLongW(form.Handle(), GWL_EXSTYLE));
    SetWindowPos(form.Handle(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    app::ProcessPendingMessages();
    const auto at = [&](const char* name) { return Geometry(form.Control(name)); };
    EXPECT_EQ(at("Panel2"), (app::Rect {0, 514, 835, 42}));
    EXPECT_EQ(at("btOK"), (app::Rect {667, 9, 75, 25}));
    EXPECT_EQ(at("btCancel"), (app::Rect {755, 9, 75, 25}));
    EXPECT_EQ(at("plUp"), (app::Rect {0, 402, 835, 112}));
    EXPECT_EQ(at("ProgressBar2"), (app::Rect {17, 40, 804, 17}));
    EXPECT_EQ(at("lUpdateTime").left + at("lUpdateTime").width, 821);
    EXPECT_EQ(at("Panel3"), (app::Rect {0, 356, 835, 46}));
    EXPECT_EQ(at("plInfo"), (app::Rect {0, 0, 835, 356}));
    EXPECT_EQ(at("Memo2"), (app::Rect {46, 22, 764, 319}));
}

// Esc presses btCancel wherever the focus is; Alt+F4 and the close box
// close the window as well.
TEST(Win32Form, EscAltF4AndTheCloseBoxCloseTheWindow)
{
    testsupport::TempDir dir;
    BoxCollector boxes;  // FormShow finds no database here
    for (const char* way : {"Esc on btCancel", "Esc in Memo2", "Alt+F4", "close box"}) {
        app::TForm1 form(dir / "updater.exe");
        ShowWindow(form);
        ASSERT_TRUE(form.IsOpen());
        const std::string how = way;
        if (how.starts_with("Esc")) {
            HWND focus = form.Control(how.ends_with("btCancel") ? "btCancel" : "Memo2");
            SetFocus(focus);
            PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 0);
        } else if (how == "Alt+F4") {
            PostMessageW(form.Handle(), WM_SYSKEYDOWN, VK_F4, 1 << 29);  // bit 29: Alt held
        } else {
            PostMessageW(form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        app::ProcessPendingMessages();
        EXPECT_FALSE(form.IsOpen()) << way;
    }
}

TEST(Win32Memo, AddLineAndAppendToLastLine)
{
    HWND memo = CreateWindowW(L"EDIT", L"", WS_POPUP | ES_MULTILINE | ES_WANTRETURN, 0, 0, 300, 200, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    app::AddLine(memo, "a");
    app::AppendToLastLine(memo, "OK");
    EXPECT_EQ(app::WindowText(memo), "aOK\r\n");
    app::AddLine(memo, "b");
    EXPECT_EQ(app::WindowText(memo), "aOK\r\nb\r\n");
    DWORD start = 0, end = 0;
    SendMessageW(memo, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(end, 8u) << "the caret stands at the end";
    for (wchar_t typed : std::wstring(L"xyz"))  // typed at the end of the memo
        SendMessageW(memo, WM_CHAR, typed, 0);
    app::AddLine(memo, "122.007.sql");
    EXPECT_EQ(app::WindowText(memo), "aOK\r\nb\r\nxyz\r\n122.007.sql\r\n");

    SendMessageW(memo, EM_SETSEL, 2, 2);  // the user clicked into the first line
    app::AppendToLastLine(memo, "[OK]");
    EXPECT_EQ(app::WindowText(memo), "aOK\r\nb\r\nxyz\r\n122.007.sql[OK]\r\n");
    DestroyWindow(memo);
}

TEST(Win32Form, FormShowOffersThePackagedUpdate)
{
    BoxCollector boxes;
    Installation installation(121, {{"122_RAR", testsupport::Package122()}});
    app::TForm1 form(installation.updater);
    ShowWindow(form);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(app::WindowText(form.Control("Memo2")),
              "Перевірка запущенної програми...OK\r\nПідключення до бази даних\r\n" + installation.database +
                  "\r\nВерсія бази даних: 121\r\nНаявні пакети оновлення:\r\n122_RAR [OK]\r\n");
    EXPECT_TRUE(IsWindowEnabled(form.Control("btOK")));
    EXPECT_EQ(app::WindowText(form.Control("lCurVer")), "121");
    EXPECT_EQ(app::WindowText(form.Control("lActVer")), "122");
}

// The main application running (a process nvlib.exe under wine): the
// warning box, no connection, "Оновить" stays disabled.
TEST(Win32Form, ARunningMainApplicationRefusesTheUpdate)
{
    BoxCollector boxes;
    Installation installation(121, {{"122_RAR", testsupport::Package122()}});
    testsupport::RunningProgram program(installation.exeDir, "nvlib.exe");
    app::TForm1 form(installation.updater);
    ShowWindow(form);
    EXPECT_EQ(app::WindowText(form.Control("Memo2")),
              "Перевірка запущенної програми...\r\nПрограмма запущена\r\nОновлення не можливо!!!\r\n");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, app::BoxKind::Warning);
    EXPECT_EQ(boxes.boxes[0].caption, "Warning");
    EXPECT_EQ(boxes.boxes[0].text, "ПК Norvex запущена. Будь ласка, закрийте програму та перезапустіть оновлення!");
    EXPECT_FALSE(IsWindowEnabled(form.Control("btOK")));
    EXPECT_EQ(app::WindowText(form.Control("lCurVer")), "-");
    EXPECT_EQ(app::WindowText(form.Control("lActVer")), "-");
}

// "Оновить" pressed in the window applies the packages through rar.exe and
// the client library, and leaves only the close button.
TEST(Win32Form, TheUpdateButtonAppliesThePackages)
{
    BoxCollector boxes;
    Installation installation(120, {{"121_RAR", testsupport::Package121()}, {"122_RAR", testsupport::Package122()}});
    app::TForm1 form(installation.updater);
    ShowWindow(form);
    ASSERT_TRUE(IsWindowEnabled(form.Control("btOK")));
    Click(form.Control("btOK"));
    EXPECT_TRUE(boxes.boxes.empty());

    const std::string memo = app::WindowText(form.Control("Memo2"));
    EXPECT_NE(memo.find("\r\nВстановлення оновлення\r\n122.001.sql\r\n122.099.sql\r\nnvlib.exe...[OK]\r\n"
                        "a.fr3...[OK]\r\nb.fr3...[OK]\r\n"),
              std::string::npos)
        << memo;
    EXPECT_EQ(installation.Version(), 122);
    EXPECT_EQ(testsupport::ReadFile(installation.InExeDir("nvlib.exe")), "program 122");
    EXPECT_TRUE(Hidden(form.Control("btOK")));
    EXPECT_EQ(app::WindowText(form.Control("btCancel")), "Зачинити");
    EXPECT_TRUE(IsWindowEnabled(form.Control("btCancel")));
    for (const char* hidden : {"lUpdate", "ProgressBar2", "lTextFile", "lFile", "lUpdateTime"})
        EXPECT_TRUE(Hidden(form.Control(hidden))) << hidden;
    EXPECT_EQ(app::WindowText(form.Control("lFile")), "b.fr3 (3/3)");
    EXPECT_EQ(SendMessageW(form.Control("ProgressBar2"), PBM_GETPOS, 0, 0), 3);
    EXPECT_TRUE(form.IsOpen());
}

// A workstation whose program files lag behind its database: the window
// names them, "Оновить" installs only them and leaves the database alone.
TEST(Win32Form, AWorkstationBehindItsDatabaseCatchesUp)
{
    BoxCollector boxes;
    Installation installation(121, {{"121_RAR", testsupport::Package121()}});
    app::TForm1 form(installation.updater);
    ShowWindow(form);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(app::WindowText(form.Control("Memo2"))
                    .ends_with("\r\nВерсія бази даних: 121\r\nНаявні пакети оновлення:\r\n121_RAR\r\n"
                               "Версія БД більша за номер пакета оновлень\r\n"
                               "Файли програми цього робочого місця відстають від бази даних:\r\n"
                               "Reports/a.fr3 (121, missing)\r\n"
                               "nvlib.exe: not from an update package, left as it is\r\n"))
        << app::WindowText(form.Control("Memo2"));
    ASSERT_TRUE(IsWindowEnabled(form.Control("btOK")));
    Click(form.Control("btOK"));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(app::WindowText(form.Control("Memo2")).ends_with("a.fr3...[OK]\r\nФайли програми оновлено до версії 121\r\n"))
        << app::WindowText(form.Control("Memo2"));
    EXPECT_EQ(testsupport::ReadFile(installation.InExeDir("Reports/a.fr3")), "report a 121");
    EXPECT_EQ(testsupport::ReadFile(installation.InExeDir("nvlib.exe")), "program 120");
    EXPECT_EQ(installation.Version(), 121);
    EXPECT_EQ(app::WindowText(form.Control("btCancel")), "Зачинити");
}

// A close asked for during the run (the close box, Alt+F4) leaves the window
// on screen until the run has returned, and is carried out then.
TEST(Win32Form, ACloseDuringTheRunWaitsForItsEnd)
{
    BoxCollector boxes;
    Installation installation(121, {{"122_RAR", testsupport::Package122()}});
    app::TForm1 form(installation.updater);
    ShowWindow(form);
    bool visibleAfterClose = false;
    Probe probe([&] {
        SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
        visibleAfterClose = form.IsOpen() && IsWindowVisible(form.Handle());
    });
    Click(form.Control("btOK"));
    ASSERT_TRUE(probe.Ran());
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_FALSE(form.IsOpen());
    EXPECT_EQ(installation.Version(), 122);
    EXPECT_EQ(testsupport::ReadFile(installation.InExeDir("nvlib.exe")), "program 122");
}

// A logoff during the run (here while the package is prepared): the session
// is asked to wait, nothing of the package is installed, and the window
// closes once the run has returned.
TEST(Win32Form, ASessionThatEndsStopsTheRunAndClosesTheWindow)
{
    BoxCollector boxes;
    Installation installation(121, {{"122_RAR", testsupport::Package122()}});
    app::TForm1 form(installation.updater);
    ShowWindow(form);
    LRESULT mayEnd = TRUE;
    Probe probe([&] { mayEnd = SendMessageW(form.Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF); });
    Click(form.Control("btOK"));
    ASSERT_TRUE(probe.Ran());
    EXPECT_EQ(mayEnd, FALSE);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_FALSE(form.IsOpen());
    EXPECT_EQ(installation.Version(), 121);
    EXPECT_EQ(testsupport::ReadFile(installation.InExeDir("nvlib.exe")), "program 120");
    EXPECT_EQ(SendMessageW(form.Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 0) << "the window is gone";
}

namespace {

struct SeenBox {
    std::string caption;
    std::string text;
};

// Finds a message box of the process, reads it and presses its OK button,
// as a user would; false when the process shows none.
bool AnswerMessageBox(DWORD processId, SeenBox& seen)
{
    struct Search {
        DWORD processId;
        SeenBox* seen;
        bool found = false;
    } search {processId, &seen};
    EnumWindows(
        [](HWND window, LPARAM parameter) CALLBACK -> BOOL {
            auto& search = *reinterpret_cast<Search*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t windowClass[16] {};
            GetClassNameW(window, windowClass, 16);
            if (owner != search.processId || std::wstring(windowClass) != L"#32770" || !IsWindowVisible(window))
                return TRUE;
            search.seen->caption = app::WindowText(window);
            EnumChildWindows(
                window,
                [](HWND child, LPARAM text) CALLBACK -> BOOL {
                    wchar_t childClass[16] {};
                    GetClassNameW(child, childClass, 16);
                    if (std::wstring(childClass) == L"Static" && GetWindowTextLengthW(child) > 0)
                        *reinterpret_cast<std::string*>(text) = app::WindowText(child);
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search.seen->text));
            PostMessageW(window, WM_COMMAND, IDOK, 0);
            search.found = true;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

// The system's own boxes: the error box with the application's title and
// the full stop, closed here by the test as a user would.
TEST(Win32Form, TheErrorBoxIsTheSystemsMessageBox)
{
    app::SetApplicationTitle("C:\\Norvex\\UPDATER.EXE");
    static SeenBox seen;
    SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR timer, DWORD) CALLBACK {
        if (AnswerMessageBox(GetCurrentProcessId(), seen))
            KillTimer(nullptr, timer);
    });
    app::ShowErrorBox("Stream write error");
    EXPECT_EQ(seen.caption, "Updater");
    EXPECT_EQ(seen.text, "Stream write error.");
}

// The program itself, without a client library beside it: the error box,
// no window, exit code 0.
TEST(Win32Program, AnErrorWhileTheWindowIsBuiltEndsTheProgramAfterTheBox)
{
    testsupport::TempDir dir;
    const std::string updater = dir / "UPDATER.EXE";
    ASSERT_TRUE(CopyFileA(testsupport::BuiltProgram("src/app", "updater").c_str(), updater.c_str(), FALSE));
    std::string command = "\"" + updater + "\"";
    STARTUPINFOA startup {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process {};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.Path().c_str(),
                               &startup, &process));
    SeenBox seen;
    bool answered = false;
    for (int i = 0; i < 600 && !answered; ++i) {
        Sleep(50);
        answered = AnswerMessageBox(process.dwProcessId, seen);
    }
    const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    if (!ended)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_TRUE(answered) << "no error box";
    EXPECT_TRUE(ended);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(seen.caption, "Updater");
    EXPECT_EQ(seen.text.rfind("Cannot load the Firebird client library fbclient.dll", 0), 0u) << seen.text;
    EXPECT_EQ(seen.text.back(), '.');
}

TEST(Win32Form, AnErrorWhileTheWindowIsBuiltGoesToTheErrorBox)
{
    _putenv("UPDATER_FBCLIENT=C:\\nonexistent\\fbclient.dll");
    BoxCollector boxes;
    testsupport::TempDir dir;
    EXPECT_EQ(app::CreateForm1(dir / "UPDATER.EXE"), nullptr);
    _putenv("UPDATER_FBCLIENT=");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].kind, app::BoxKind::Error);
    EXPECT_EQ(boxes.boxes[0].caption, "Updater");
    EXPECT_NE(boxes.boxes[0].text.find("C:\\nonexistent\\fbclient.dll"), std::string::npos) << boxes.boxes[0].text;
    EXPECT_EQ(FindWindowW(L"TForm1", nullptr), nullptr) << "the window is never shown";
}
