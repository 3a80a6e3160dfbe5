// The program tests: the real schema-modify.exe, started beside this driver,
// driven on the session's display. Run through session.sh, which provides
// the display and the agent for the Linux-side actions.
#include "tests/program/Agent.h"

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!ProgramTest::AgentAvailable()) {
        std::fprintf(stderr, "run this driver through tests/program/session.sh\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
