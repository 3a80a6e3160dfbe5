// Where the provider connects and as whom. Under Wine there is no logged-on
// domain user, so the test harness and the demo hand the provider (never the
// program) a server and credentials through its environment.
#pragma once

#include <string>

namespace Provider {

struct Settings {
    std::wstring server;    // WINEADSI_SERVER: host[:port] for serverless paths
    std::wstring user;      // WINEADSI_USER
    std::wstring password;  // WINEADSI_PASSWORD
    std::wstring auth;      // WINEADSI_AUTH: "simple" (also when empty) or "kerberos"
    std::wstring statsPath; // WINEADSI_STATS: optional operation log
};

// Read afresh on each call, so a test may change them between binds.
Settings ReadSettings();

}  // namespace Provider
