#include "tests/program/Program.h"

#include "tests/program/Agent.h"
#include "tests/support/Controls.h"

#include <commctrl.h>
#include <psapi.h>

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>

namespace ProgramTest {
namespace {

const wchar_t kTitle[] = L"Wexlor Enterprise AD schema setup";

std::wstring Upper(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towupper(c));
    return s;
}

// The driver's own environment, the provider's WINEADSI_* settings passed
// only to a program that uses it, with WINEADSI_SERVER replaced when the
// scenario names the DC.
std::wstring ChildEnvironment(Adsi adsi, const std::wstring& server) {
    std::map<std::wstring, std::wstring> vars;  // upper-case name -> "Name=value"
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
        std::wstring entry(p);
        size_t eq = entry.find(L'=', 1);
        if (eq == std::wstring::npos) continue;
        vars[Upper(entry.substr(0, eq))] = entry;
    }
    FreeEnvironmentStringsW(block);

    const bool provider = adsi == Adsi::Provider;
    if (provider && !server.empty()) vars[L"WINEADSI_SERVER"] = L"WINEADSI_SERVER=" + server;
    if (!provider) {
        for (auto it = vars.begin(); it != vars.end();)
            it = it->first.rfind(L"WINEADSI_", 0) == 0 ? vars.erase(it) : std::next(it);
    }
    std::wstring result;
    for (const auto& v : vars) result += v.second + L'\0';
    result += L'\0';
    return result;
}

struct FindData {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM param) {
    auto* data = reinterpret_cast<FindData*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t title[128] = {};
    if (pid == data->pid && IsWindowVisible(hwnd) && GetWindowTextW(hwnd, title, 128) &&
        wcscmp(title, kTitle) == 0) {
        data->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

void SendMouse(int x, int y, DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    SendInput(1, &in, sizeof in);
    Sleep(30);
}

void ClickAt(int x, int y) {
    SendMouse(x, y, 0);
    SendMouse(x, y, MOUSEEVENTF_LEFTDOWN);
    SendMouse(x, y, MOUSEEVENTF_LEFTUP);
}

}  // namespace

std::wstring DriverDirectory() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L"\\/"));
}

void ExpectFinal(const Program& program, const std::wstring& result, int picture, const std::string& shot) {
    SCOPED_TRACE(shot);
    Sleep(300);  // let the picture paint before it is read from the screen
    Screenshot(shot);
    EXPECT_TRUE(program.Shows(FinishedPhase(result)));
    EXPECT_EQ(picture, program.PictureShown());
}

Program::Program(Adsi adsi, const std::wstring& server)
    : Program(adsi, server, DriverDirectory() + L"\\schema-modify.exe", DriverDirectory()) {}

Program::Program(const std::wstring& exe, const std::wstring& currentDirectory)
    : Program(Adsi::Provider, std::wstring(), exe, currentDirectory) {}

Program::Program(Adsi adsi, const std::wstring& server, const std::wstring& exe,
                 const std::wstring& currentDirectory)
    : m_exe(exe) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (adsi == Adsi::Builtin) m_overrides.Set(L"activeds.dll", L"builtin");
    std::wstring env = ChildEnvironment(adsi, server);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, &env[0], currentDirectory.c_str(), &startup,
                        &m_process))
        m_process = PROCESS_INFORMATION{};
}

Program::~Program() {
    if (!m_process.hProcess) return;
    if (Running()) {
        TerminateProcess(m_process.hProcess, 255);
        WaitForSingleObject(m_process.hProcess, 10000);
    }
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
}

HWND Program::WaitForWindow(DWORD timeoutMs) {
    if (!m_process.hProcess) return nullptr;
    WaitUntil(
        [&] {
            FindData data{m_process.dwProcessId, nullptr};
            EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&data));
            m_window = data.found;
            return m_window != nullptr || !Running();
        },
        timeoutMs, 100);
    return m_window;
}

HWND Program::Control(int id) const { return GetDlgItem(m_window, id); }

std::wstring Program::Text(int id) const { return ItemText(m_window, id); }

testing::AssertionResult Program::Shows(const Phase& phase) const { return ShowsPhase(m_window, phase); }

int Program::ProgressPosition() const {
    DWORD_PTR position = 0;
    if (!SendMessageTimeoutW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0, SMTO_NORMAL, 5000, &position))
        return -1;
    return static_cast<int>(position);
}

bool Program::WaitForFinal(DWORD timeoutMs) const {
    return WaitUntil([&] { return Text(IDCANCEL) == L"&Exit"; }, timeoutMs);
}

int Program::FocusedControl() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(m_window, nullptr), &info)) return -1;
    if (!info.hwndFocus) return 0;
    if (GetParent(info.hwndFocus) != m_window) return -1;
    return GetDlgCtrlID(info.hwndFocus);
}

HMODULE Program::Module(const wchar_t* name) const {
    HMODULE modules[512];
    DWORD bytes = 0;
    if (!EnumProcessModules(m_process.hProcess, modules, sizeof modules, &bytes)) return nullptr;
    for (DWORD i = 0; i < bytes / sizeof modules[0]; ++i) {
        wchar_t path[MAX_PATH];
        DWORD n = GetModuleFileNameExW(m_process.hProcess, modules[i], path, MAX_PATH);
        std::wstring file(path, n);
        if (Upper(file.substr(file.find_last_of(L"\\/") + 1)) == Upper(name)) return modules[i];
    }
    return nullptr;
}

bool Program::ReadModule(HMODULE module, DWORD rva, void* buffer, size_t size) const {
    SIZE_T read = 0;
    return module &&
           ReadProcessMemory(m_process.hProcess, reinterpret_cast<const char*>(module) + rva, buffer, size, &read) &&
           read == size;
}

bool Program::ReadImage(DWORD rva, void* buffer, size_t size) const {
    return ReadModule(Module(m_exe.substr(m_exe.find_last_of(L"\\/") + 1).c_str()), rva, buffer, size);
}

std::wstring Program::LoadedModule(const wchar_t* name) const {
    HMODULE module = Module(name);
    wchar_t path[MAX_PATH];
    DWORD n = module ? GetModuleFileNameExW(m_process.hProcess, module, path, MAX_PATH) : 0;
    return std::wstring(path, n);
}

bool Program::IsWineBuiltin(const wchar_t* name) const {
    // What Wine writes after the DOS header of each of its own DLLs; the
    // headers are mapped with the image.
    static const char kSignature[] = "Wine builtin DLL";
    char header[sizeof kSignature - 1] = {};
    return ReadModule(Module(name), 0x40, header, sizeof header) && memcmp(header, kSignature, sizeof header) == 0;
}

int Program::PictureShown() const {
    HWND picture = Control(IDC_STATUS_PICTURE);
    DWORD_PTR image = 0;
    SendMessageTimeoutW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0, SMTO_NORMAL, 5000, &image);
    if (!image || !IsWindowVisible(picture)) return 0;

    HMODULE data = LoadLibraryExW(m_exe.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!data) return 0;
    RECT r;
    GetWindowRect(picture, &r);
    HDC screen = GetDC(nullptr);
    int shown = 0;
    for (int id : {IDB_SUCCESS, IDB_FAILURE}) {
        auto bitmap = static_cast<HBITMAP>(
            LoadImageW(data, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        BITMAP info{};
        if (!bitmap || !GetObjectW(bitmap, sizeof info, &info)) continue;
        // What the display shows where the control draws its bitmap.
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP capture = CreateCompatibleBitmap(screen, info.bmWidth, info.bmHeight);
        HGDIOBJ old = SelectObject(memory, capture);
        BitBlt(memory, 0, 0, info.bmWidth, info.bmHeight, screen, r.left, r.top, SRCCOPY);
        SelectObject(memory, old);
        const auto onScreen = BitmapPixels(capture);
        const auto resource = BitmapPixels(bitmap);
        DeleteObject(capture);
        DeleteDC(memory);
        DeleteObject(bitmap);
        if (!onScreen.empty() && onScreen == resource) shown = id;
    }
    ReleaseDC(nullptr, screen);
    FreeLibrary(data);
    return shown;
}

void Program::Click(int id) {
    RECT r;
    GetWindowRect(Control(id), &r);
    ClickAt((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

void Program::PressKey(WORD vk) {
    SetForegroundWindow(m_window);
    WaitUntil([&] { return GetForegroundWindow() == m_window; }, 2000);
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof in[0]);
}

bool Program::ClickCloseBox() {
    RECT r;
    GetWindowRect(m_window, &r);
    const int frame = GetSystemMetrics(SM_CXFIXEDFRAME);
    const int x = r.right - frame - GetSystemMetrics(SM_CXSIZE) / 2 - 1;
    const int y = r.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYSIZE) / 2;
    // The window itself says whether that point is its close box.
    DWORD_PTR hit = 0;
    SendMessageTimeoutW(m_window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_NORMAL, 5000, &hit);
    if (hit != HTCLOSE) return false;
    ClickAt(x, y);
    return true;
}

void Program::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    PostMessageW(m_window, message, wParam, lParam);
}

void Program::MoveTo(int left, int top) {
    SetWindowPos(m_window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Program::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    if (!m_process.hProcess || WaitForSingleObject(m_process.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(m_process.hProcess, exitCode);
    return true;
}

bool Program::Running() const {
    return m_process.hProcess && WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT;
}

testing::AssertionResult Program::EndsWithCode2(Ending how) {
    const char* const names[] = {"\"&Exit\"", "Escape", "the close box"};
    const char* name = names[static_cast<int>(how)];
    if (how == Ending::ExitButton) Click(IDCANCEL);
    if (how == Ending::Escape) PressKey(VK_ESCAPE);
    if (how == Ending::CloseBox && !ClickCloseBox())
        return testing::AssertionFailure() << "no close box where the caption should have it";
    DWORD code = 0;
    if (!WaitForExit(15000, &code)) return testing::AssertionFailure() << name << " did not end the program";
    if (code != 2) return testing::AssertionFailure() << name << " ended the program with code " << code;
    return testing::AssertionSuccess();
}

}  // namespace ProgramTest
