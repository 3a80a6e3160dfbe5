// Tests that run the program with the project's ADSI provider against the
// Samba forest; each starts from a fresh copy, since schema additions are
// for good.
#pragma once

#include "tests/program/Agent.h"
#include "tests/support/Phases.h"
#include "tests/program/Program.h"

#include <gtest/gtest.h>

namespace ProgramTest {

class ForestTest : public testing::Test {
protected:
    void SetUp() override {
        const AgentReply fresh = AskAgent("forest-fresh", 120000);
        ASSERT_EQ(0, fresh.status) << fresh.output;
    }
    void TearDown() override {
        // A test that failed while the DC was paused must not leave it so.
        AskAgent("forest-resume");
    }

    // Waits for the program's dialog and checks that it shows the forest's
    // schema master with "&Setup" enabled.
    static void ExpectDetails(Program& program) {
        ASSERT_TRUE(program.started());
        ASSERT_TRUE(program.WaitForWindow()) << "no dialog appeared";
        ASSERT_TRUE(ShowsPhase(program, DetailsPhase(kForestDetails, true)));
    }

    // Waits until the final display is up ("&Exit" on button 2).
    static bool WaitForFinished(const Program& program, DWORD timeoutMs) {
        return WaitUntil([&] { return program.Text(2) == L"&Exit"; }, timeoutMs);
    }
};

}  // namespace ProgramTest
