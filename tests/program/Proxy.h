// The LDAP proxy (tools/ldap-proxy.py) between the program and the forest,
// run by the agent: while a ProxyRun lives, programs started by the driver
// talk to the forest through it.
#pragma once

#include <string>
#include <vector>

namespace ProgramTest {

// One request in the proxy's log.
struct ProxyRequest {
    double seconds;      // since the proxy started
    int index;           // request number in the whole run, from 1
    std::string operation;
    std::string dn;
};

class ProxyRun {
public:
    // Starts the proxy with the given options (words of tools/ldap-proxy.py)
    // and points the provider's server setting at it.
    explicit ProxyRun(const std::string& options = std::string());
    ~ProxyRun();  // stops the proxy and points the provider at the DC again
    ProxyRun(const ProxyRun&) = delete;
    ProxyRun& operator=(const ProxyRun&) = delete;

    bool started() const { return m_started; }
    const std::string& failure() const { return m_failure; }
    std::vector<ProxyRequest> Requests() const;
    std::string Log() const;  // the proxy's whole log

private:
    bool m_started = false;
    std::string m_failure;
    std::wstring m_server;  // the provider's server setting before the run
};

}  // namespace ProgramTest
