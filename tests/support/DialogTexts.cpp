#include "tests/support/DialogTexts.h"

#include <cwchar>

namespace TestSupport {

const wchar_t kTitleText[] = L"AD schema setup";
const wchar_t kInstructionText[] =
    L"Verify domain schema information below and click `Setup' button to extend AD schema.\n"
    L"Note: in order to modify AD schema you should be a member of 'Schema Admins' group.";
const wchar_t kRunningText[] = L"Wait please while domain schema extension takes place.";
const wchar_t kFinishedText[] = L"Utility has finished, press `Exit' button.";
const wchar_t kWaitLabel[] = L"Extending schema please wait...";
const wchar_t kGroupCaption[] = L"Domain schema FSMO details:";
const wchar_t kSuccessText[] = L"Domain schema has been successfully extended.";
const wchar_t kNoMasterPrefix[] = L"Unable to find domain schema FSMO:\r\n";

std::wstring SystemDescription(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                                     static_cast<DWORD>(hr), 0x0800, reinterpret_cast<wchar_t*>(&buffer), 0,
                                     nullptr);
    std::wstring text = (n && buffer) ? std::wstring(buffer, n) : std::wstring();
    ::LocalFree(buffer);
    if (text.empty()) {
        wchar_t unknown[64];
        std::swprintf(unknown, 64, L"An unknown error occured (0x%lX)", static_cast<unsigned long>(hr));
        text = unknown;
    }
    return text;
}

}  // namespace TestSupport
