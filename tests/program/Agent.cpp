#include "tests/program/Agent.h"

#include "tests/support/Environment.h"
#include "tests/support/Text.h"
#include "tests/support/Unix.h"

#include <cstdio>
#include <sstream>

namespace ProgramTest {

AgentReply AskAgent(const std::string& request, unsigned timeoutMs) {
    const std::string script = TestSupport::Narrow(TestSupport::EnvironmentValue(L"PROGRAM_TEST_AGENT"));
    if (script.empty()) return {-1, "no agent: PROGRAM_TEST_AGENT is not set"};
    std::string command = TestSupport::ShellQuote(script);
    std::istringstream words(request);
    for (std::string word; words >> word;) command += " " + TestSupport::ShellQuote(word);
    AgentReply reply{-1, ""};
    reply.status = TestSupport::RunUnix(command, &reply.output, timeoutMs);
    if (reply.status == -1 && reply.output.empty()) reply.output = "no answer from the agent to: " + request;
    return reply;
}

testing::AssertionResult AgentDoes(const std::string& request, unsigned timeoutMs) {
    const AgentReply reply = AskAgent(request, timeoutMs);
    if (reply.status == 0) return testing::AssertionSuccess();
    return testing::AssertionFailure() << request << ": exit status " << reply.status << ": " << reply.output;
}

void Screenshot(const std::string& name) {
    const AgentReply reply = AskAgent("screenshot " + name);
    if (reply.status != 0)
        std::fprintf(stderr, "screenshot %s failed: %s\n", name.c_str(), reply.output.c_str());
}

}  // namespace ProgramTest
