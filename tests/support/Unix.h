// The Linux side of a test that runs under Wine: files and shell commands.
// Wine starts a Linux program from CreateProcess, so a test reaches the
// forest, the X display and the directory's own database without going
// through the code under test.
#pragma once

#include <windows.h>

#include <string>

namespace TestSupport {

// The whole file at that Windows path (a Linux file as Z:...); false when it
// cannot be read.
bool ReadWholeFile(const std::string& windowsPath, std::string& content);

// Runs a /bin/sh command line and waits for it up to timeoutMs. Returns its
// exit status, -1 if it could not be run or did not end in time; output
// gets its stdout and stderr.
int RunUnix(const std::string& command, std::string* output = nullptr, DWORD timeoutMs = 120000);

}  // namespace TestSupport
