// The program tests' Linux-side actions (tests/program/agent.sh): stopping,
// pausing or killing the DC, screenshots of the X display, the LDAP proxy,
// carried out at the moment a test asks.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace ProgramTest {

struct AgentReply {
    int status;          // the command's exit status; -1 when no answer came
    std::string output;  // what it printed
};

// Sends one request ("forest-stop", "screenshot details", ...) and waits up
// to timeoutMs for the answer.
AgentReply AskAgent(const std::string& request, unsigned timeoutMs = 60000);
// The same, as a check: a failure, with what the agent printed, unless it exits 0.
testing::AssertionResult AgentDoes(const std::string& request, unsigned timeoutMs = 60000);

// Keeps a PNG of the whole display under the given name.
void Screenshot(const std::string& name);

}  // namespace ProgramTest
