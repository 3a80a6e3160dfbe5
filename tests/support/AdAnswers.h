// What Windows AD answers where Samba answers otherwise, as
// tools/proxy/ad-answers.tsv keeps it once for the LDAP proxy and the tests
// (AD_ANSWERS in the environment names the file).
#pragma once

#include <string>

namespace TestSupport {

struct AdAnswer {
    int code = -1;         // the LDAP result code; -1 when the file has no such answer
    std::string text;      // the diagnostic text
    std::string escaped;   // the same as the file writes it, and the proxy logs it
};

// The answer of that name, its placeholder (if any) filled in.
AdAnswer ReadAdAnswer(const std::string& name, const std::string& placeholder = std::string(),
                      const std::string& value = std::string());

}  // namespace TestSupport
