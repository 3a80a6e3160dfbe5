// What the dialog's controls show in each of its phases, written out from
// the program's documented behaviour, and the comparison with what a running
// program shows.
#pragma once

#include "tests/program/Program.h"
#include "tests/support/DialogTexts.h"
#include "tests/support/Text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ProgramTest {

using TestSupport::kFinishedText;
using TestSupport::kInstructionText;
using TestSupport::kNoMasterPrefix;
using TestSupport::kRunningText;
using TestSupport::kSuccessText;
using TestSupport::Narrow;

// The details of the test forest's schema master.
extern const wchar_t kForestDetails[];

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

}  // namespace ProgramTest
