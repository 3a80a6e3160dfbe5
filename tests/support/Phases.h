// What the setup dialog's controls show in each of its phases, written out
// from the program's documented behaviour, and the comparison with what a
// dialog shows: the test's own window or a running program's, read through
// the window manager either way.
#pragma once

#include "gui/DialogIds.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace TestSupport {

// The details of a test forest whose schema master is DC ("DC1", "DC2").
std::wstring ForestDetails(const std::wstring& dc = L"DC1");

struct ExpectedControl {
    int id;
    bool visible;
    bool enabled;
    std::optional<std::wstring> text;  // nullopt: whatever it holds
};

using Phase = std::vector<ExpectedControl>;

Phase DetailsPhase(const std::wstring& details, bool setupEnabled = true);
Phase RunningPhase(const std::wstring& details);
Phase FinishedPhase(const std::wstring& result);

// Every difference between the phase and what the dialog shows, as one failure.
testing::AssertionResult ShowsPhase(HWND dialog, const Phase& phase);

}  // namespace TestSupport
