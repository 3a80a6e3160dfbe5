// Tests that run the program with the project's ADSI provider against the
// Samba forest; each starts from a fresh copy, since schema additions are
// for good.
#pragma once

#include "tests/program/Agent.h"
#include "tests/program/Program.h"
#include "tests/support/Directory.h"

#include <gtest/gtest.h>

namespace ProgramTest {

// How many schema entries named cn the forest copy's own database holds.
inline int SchemaCount(const std::string& cn) { return ReadSchemaObject(cn).found ? 1 : 0; }

class ForestTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(AgentDoes("forest-fresh", 120000));
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
        ASSERT_TRUE(program.Shows(DetailsPhase(ForestDetails())));
    }
};

}  // namespace ProgramTest
