// The real schema-modify.exe, started as a separate process and driven from
// outside as a user would: its window found by title and process, its
// controls read through the window manager, its buttons and keys pressed
// with synthesised hardware input.
#pragma once

#include "tests/program/DllOverrides.h"
#include "tests/support/DialogTexts.h"
#include "tests/support/Phases.h"
#include "tests/support/Text.h"
#include "tests/support/Wait.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace ProgramTest {

enum class Adsi {
    Builtin,   // Wine's own activeds.dll, made builtin-only: no directory can be reached
    Provider,  // the project's provider in system32 (Wine's own prefers it), with the forest's settings
};

// How a user closes the dialog.
enum class Ending { ExitButton, Escape, CloseBox };

class Program {
public:
    // Starts schema-modify.exe from the driver's own directory. With the
    // provider, a non-empty server replaces the forest's WINEADSI_SERVER:
    // the DC that the program's serverless paths reach.
    explicit Program(Adsi adsi, const std::wstring& server = std::wstring());
    // Starts the exe at that path, with the provider, in that current directory.
    Program(const std::wstring& exe, const std::wstring& currentDirectory);
    ~Program();  // a process still running at the end of a test is ended
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return m_process.hProcess != nullptr; }
    DWORD id() const { return m_process.dwProcessId; }

    // Waits for the visible dialog of this process; null on time-out or exit.
    HWND WaitForWindow(DWORD timeoutMs = 60000);

    HWND Control(int id) const;
    std::wstring Text(int id) const;
    // Every difference between the phase and what the dialog shows.
    testing::AssertionResult Shows(const TestSupport::Phase& phase) const;
    int ProgressPosition() const;
    // Whether the final display ("&Exit" on button 2) is up within the time.
    bool WaitForFinal(DWORD timeoutMs) const;

    // Id of the control that has the keyboard focus of the dialog's thread;
    // 0 when no window has it (keys then reach no control), -1 when a
    // window outside the dialog has it.
    int FocusedControl() const;

    // Reads size bytes at that RVA of the running exe's image.
    bool ReadImage(DWORD rva, void* buffer, size_t size) const;

    // Full path of a DLL loaded in the program ("" if it is not loaded).
    std::wstring LoadedModule(const wchar_t* name) const;
    // True when the DLL of that name loaded in the program is Wine's own
    // code, which Wine reports at the same System32 path as a native file.
    bool IsWineBuiltin(const wchar_t* name) const;

    // Bitmap resource id (203 or 204) whose pixels the status picture shows
    // on screen, or 0 when it shows neither.
    int PictureShown() const;

    void Click(int id);      // a left click in the middle of the control
    void PressKey(WORD vk);  // the dialog brought forward, then the key
    // Clicks the caption's close button; false (and no click) when the
    // window does not report that point as its close box.
    bool ClickCloseBox();

    void Post(UINT message, WPARAM wParam, LPARAM lParam);
    void MoveTo(int left, int top);

    // True once the process has ended within the time; its exit code then.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
    bool Running() const;
    // Closes the dialog as a user would; success once the process has ended
    // with exit code 2 within 15 s.
    testing::AssertionResult EndsWithCode2(Ending how = Ending::ExitButton);

private:
    Program(Adsi adsi, const std::wstring& server, const std::wstring& exe,
            const std::wstring& currentDirectory);
    HMODULE Module(const wchar_t* name) const;  // where the DLL lies in the program; null if not loaded
    // Reads size bytes at that RVA of a module of the program; false for a null module.
    bool ReadModule(HMODULE module, DWORD rva, void* buffer, size_t size) const;

    std::wstring m_exe;
    ProgramDllOverrides m_overrides;
    PROCESS_INFORMATION m_process{};
    HWND m_window = nullptr;
};

using namespace TestSupport;

std::wstring DriverDirectory();

// The final display once painted (its picture is read from the screen): the
// result text and the picture (IDB_SUCCESS or IDB_FAILURE); the screen is
// kept as screenshot shot.
void ExpectFinal(const Program& program, const std::wstring& result, int picture, const std::string& shot);

}  // namespace ProgramTest
