// The setup dialog's own texts, written out once for every test that reads
// the dialog, in process or from outside.
#pragma once

#include <windows.h>

#include <string>

namespace TestSupport {

extern const wchar_t kTitleText[];        // control 1010
extern const wchar_t kInstructionText[];  // control 1000 at start
extern const wchar_t kRunningText[];      // control 1000 while the job runs
extern const wchar_t kFinishedText[];     // control 1000 in the final display
extern const wchar_t kWaitLabel[];        // control 1004
extern const wchar_t kGroupCaption[];     // control 1007
extern const wchar_t kSuccessText[];
extern const wchar_t kNoMasterPrefix[];

// What the dialog shows for an HRESULT outside the directory range (no bit
// of 0x5000 set): the system's message for it, else the unknown-error text.
std::wstring SystemDescription(HRESULT hr);

}  // namespace TestSupport
