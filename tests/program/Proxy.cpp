#include "tests/program/Proxy.h"

#include "tests/program/Agent.h"
#include "tests/support/Environment.h"

#include <windows.h>

#include <cstdio>
#include <sstream>

namespace ProgramTest {
ProxyRun::ProxyRun(const std::string& options) : m_server(TestSupport::EnvironmentValue(L"WINEADSI_SERVER")) {
    const AgentReply reply = AskAgent("proxy-start " + options, 20000);
    m_started = reply.status == 0;
    if (!m_started) {
        m_failure = reply.output;
        return;
    }
    // Programs started from now on inherit the driver's environment.
    SetEnvironmentVariableW(L"WINEADSI_SERVER", TestSupport::EnvironmentValue(L"PROXY_IP").c_str());
}

ProxyRun::~ProxyRun() {
    SetEnvironmentVariableW(L"WINEADSI_SERVER", m_server.c_str());
    AskAgent("proxy-stop");
}

std::string ProxyRun::Log() const { return AskAgent("proxy-log").output; }

std::vector<ProxyRequest> ProxyRun::Requests() const {
    std::vector<ProxyRequest> requests;
    std::istringstream log(Log());
    std::string line;
    while (std::getline(log, line)) {
        // "  12.345 conn=1 req=3 id=2 add dn="CN=..." -> forwarded"
        ProxyRequest r{};
        int connection = 0, id = 0, used = 0;
        char operation[32] = {};
        if (std::sscanf(line.c_str(), "%lf conn=%d req=%d id=%d %31s dn=\"%n", &r.seconds, &connection, &r.index,
                        &id, operation, &used) < 5 || used == 0)
            continue;
        const size_t close = line.find("\" -> ", used);
        if (close == std::string::npos) continue;
        r.operation = operation;
        r.dn = line.substr(used, close - used);
        requests.push_back(r);
    }
    return requests;
}

}  // namespace ProgramTest
