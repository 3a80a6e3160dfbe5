// The program tests: the real schema-modify.exe, started beside this driver,
// driven on the session's display. Run through tests/support/session.sh,
// which provides the display, with the agent script named by ctest.
#include "tests/program/Agent.h"

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!ProgramTest::AgentAvailable()) {
        std::fprintf(stderr, "run this driver through ctest (tests/support/session.sh, PROGRAM_TEST_AGENT)\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
