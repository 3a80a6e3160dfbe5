// Times one run of a dialog program under the same Wine as the program:
//   bench-probe.exe [--setup] [--hold MS] PROGRAM.exe
//   bench-probe.exe --pictures PROGRAM.exe
// Starts PROGRAM, waits for its first visible top-level window (for
// schema-modify: the dialog with its details filled in, or its final
// display when discovery failed), optionally presses "&Setup" (1003) and
// waits for the final display (complete once Cancel reads "&Exit": the
// failure display is made from the worker, control by control), then presses
// Cancel/Exit (2) and waits for the exit. Prints key=value lines; every
// figure is measured, nothing is judged. With --hold (tools/demo.sh) it
// prints "phase=details" and "phase=final" as each display appears and then
// waits MS before going on, so that an observer can take a screenshot.
// --pictures times, in this process, what schema-modify's dialog does with
// its pictures on start: the two window icons and the banner, loaded from
// the program's image mapped as a data file.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

const int kTimeoutMs = 600000;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Search {
    DWORD process;
    HWND found;
};

HWND VisibleWindowOf(DWORD process) {
    Search search{process, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == s->process && ::IsWindowVisible(window) && !::GetWindow(window, GW_OWNER)) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring Text(HWND window) {
    wchar_t text[1024] = {};
    // WM_GETTEXT rather than GetWindowTextW: the control is in another process.
    ::SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                          SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

bool Visible(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    return control && ::IsWindowVisible(control);
}

// One line of a control's text, with line breaks shown as "|".
void PrintText(const char* key, const std::wstring& text) {
    std::printf("%s=", key);
    for (wchar_t c : text)
        std::putchar(c == L'\r' ? ' ' : c == L'\n' ? '|' : c < 0x80 ? static_cast<char>(c) : '?');
    std::printf("\n");
}

// Polls until ready() holds or the process ends; returns whether it held.
template <typename Ready>
bool WaitFor(HANDLE process, Ready ready) {
    double deadline = Now() + kTimeoutMs;
    while (Now() < deadline) {
        if (ready())
            return true;
        if (::WaitForSingleObject(process, 0) == WAIT_OBJECT_0)
            return ready();
        ::Sleep(2);
    }
    return false;
}

// Tells an observer which display is up, then gives it holdMs to look.
void Hold(const char* phase, DWORD holdMs) {
    if (!holdMs) return;
    std::printf("phase=%s\n", phase);
    std::fflush(stdout);
    ::Sleep(holdMs);
}

int TimePictures(const wchar_t* program) {
    // The display driver loads on the first use of the screen; the program
    // has paid for that (its dialog exists) before it loads its pictures.
    ::ReleaseDC(nullptr, ::GetDC(nullptr));
    double start = Now();
    HMODULE image = ::LoadLibraryExW(program, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!image) {
        std::fprintf(stderr, "bench-probe: cannot map %ls, error %lu\n", program, ::GetLastError());
        return 1;
    }
    double mapped = Now();
    const int sizes[][2] = {{SM_CXICON, SM_CYICON}, {SM_CXSMICON, SM_CYSMICON}};
    for (const auto& size : sizes)
        ::LoadImageW(image, MAKEINTRESOURCEW(128), IMAGE_ICON, ::GetSystemMetrics(size[0]),
                     ::GetSystemMetrics(size[1]), LR_DEFAULTCOLOR);
    double icons = Now();
    HBITMAP banner = ::LoadBitmapW(image, MAKEINTRESOURCEW(201));
    double loaded = Now();
    std::printf("map_image_ms=%.3f\nicons_ms=%.3f\nbanner_ms=%.3f\nbanner_loaded=%d\n", mapped - start,
                icons - mapped, loaded - icons, banner != nullptr);
    return banner ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"--pictures") == 0)
        return TimePictures(argv[2]);
    bool setup = false;
    DWORD holdMs = 0;
    int arg = 1;
    for (; arg < argc - 1; ++arg) {
        if (std::wcscmp(argv[arg], L"--setup") == 0)
            setup = true;
        else if (std::wcscmp(argv[arg], L"--hold") == 0 && arg + 1 < argc - 1)
            holdMs = std::wcstoul(argv[++arg], nullptr, 10);
        else
            break;
    }
    if (arg != argc - 1) {
        std::fprintf(stderr, "usage: bench-probe.exe [--setup] [--hold MS] PROGRAM.exe\n");
        return 2;
    }
    std::wstring command = L"\"" + std::wstring(argv[arg]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    double start = Now();
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &child)) {
        std::fprintf(stderr, "bench-probe: cannot start the program, error %lu\n", ::GetLastError());
        return 1;
    }
    HWND dialog = nullptr;
    bool shown = WaitFor(child.hProcess, [&] {
        dialog = VisibleWindowOf(child.dwProcessId);
        return dialog != nullptr;
    });
    double shownAt = Now();
    int status = 0;
    if (!shown) {
        std::fprintf(stderr, "bench-probe: no window appeared\n");
        status = 1;
    } else {
        std::printf("start_to_shown_ms=%.1f\n", shownAt - start);
        // The same clock as the provider's operation log (WINEADSI_STATS).
        std::printf("started_at_ms=%.3f\nshown_at_ms=%.3f\n", start, shownAt);
        bool details = ::GetDlgItem(dialog, 1006) && Visible(dialog, 1006);
        std::printf("details_shown=%d\n", details ? 1 : 0);
        if (details)
            PrintText("details", Text(::GetDlgItem(dialog, 1006)));
        if (Visible(dialog, 1013))
            PrintText("result", Text(::GetDlgItem(dialog, 1013)));
        Hold(details ? "details" : "final", holdMs);
        if (setup && details) {
            HWND button = ::GetDlgItem(dialog, 1003);
            double pressed = Now();
            ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1003, BN_CLICKED),
                           reinterpret_cast<LPARAM>(button));
            if (WaitFor(child.hProcess, [&] { return Text(::GetDlgItem(dialog, 2)) == L"&Exit"; })) {
                std::printf("setup_to_final_ms=%.1f\n", Now() - pressed);
                PrintText("result", Text(::GetDlgItem(dialog, 1013)));
                Hold("final", holdMs);
            } else {
                std::fprintf(stderr, "bench-probe: no final display after Setup\n");
                status = 1;
            }
        }
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof memory;
        if (::GetProcessMemoryInfo(child.hProcess, &memory, sizeof memory))
            std::printf("peak_working_set_kib=%llu\n",
                        static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024));
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    const double closed = Now();
    if (::WaitForSingleObject(child.hProcess, 30000) == WAIT_OBJECT_0 && shown)
        std::printf("cancel_to_end_ms=%.1f\n", Now() - closed);
    if (::WaitForSingleObject(child.hProcess, 0) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "bench-probe: the program did not end; terminating it\n");
        ::TerminateProcess(child.hProcess, 1);
        status = 1;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(child.hProcess, &code);
    std::printf("exit_code=%lu\n", code);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    std::fflush(stdout);
    return status;
}
