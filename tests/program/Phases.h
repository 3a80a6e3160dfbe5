// What the dialog's controls show in each of its phases, written out from
// the program's documented behaviour, and the comparison with what a running
// program shows.
#pragma once

#include "tests/program/Program.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ProgramTest {

extern const wchar_t kInstructionText[];
extern const wchar_t kRunningText[];
extern const wchar_t kFinishedText[];
extern const wchar_t kSuccessText[];
extern const wchar_t kForestDetails[];
extern const wchar_t kNoMasterPrefix[];

struct ExpectedControl {
    int id;
    bool visible;
    bool enabled;
    std::optional<std::wstring> text;  // nullopt: whatever it holds
};

using Phase = std::vector<ExpectedControl>;

Phase DetailsPhase(const std::wstring& details, bool setupEnabled);
Phase RunningPhase();
Phase FinishedPhase(const std::wstring& result);

// Every difference between the phase and what the program shows, as one failure.
testing::AssertionResult ShowsPhase(const Program& program, const Phase& phase);

std::string Narrow(const std::wstring& text);

}  // namespace ProgramTest
