#include "tests/support/Directory.h"

#include "tests/support/Environment.h"
#include "tests/support/Text.h"
#include "tests/support/Unix.h"

#include <gtest/gtest.h>

#include <sstream>

namespace TestSupport {

namespace {

std::string RunDir(const std::string& runDir) {
    return runDir.empty() ? Narrow(EnvironmentValue(L"FOREST_RUN_DIR")) : runDir;
}

SchemaObject Single(const ForestSearch& search, const std::string& what) {
    EXPECT_EQ(0, search.status) << "ldbsearch failed: " << search.output;
    EXPECT_LE(search.entries.size(), 1u) << "more than one entry for " << what;
    SchemaObject object;
    if (!search.entries.empty()) {
        object.found = true;
        object.entry = search.entries.front();
    }
    return object;
}

// ldapmodify as the administrator, fed by the shell command source.
int PipeToLdapModify(const std::string& source, std::string* output) {
    const std::string forest = ShellQuote(Narrow(EnvironmentValue(L"FOREST_SCRIPT")));
    return RunUnix(source + " | " + forest + " ldapmodify " + ShellQuote(RunDir("")), output);
}

}  // namespace

const char kSchemaDn[] = "CN=Schema,CN=Configuration,DC=samdom,DC=test";

const std::vector<Expected> kAttributeValues = {
    {"cn", "WexlorAdmin"},
    {"adminDescription", "WexlorAdmin"},
    {"adminDisplayName", "WexlorAdmin"},
    {"lDAPDisplayName", "WexlorAdmin"},
    {"attributeID", "1.3.6.1.4.1.32473.1.3.1"},
    {"attributeSyntax", "2.5.5.8"},
    {"isSingleValued", "TRUE"},
    {"systemOnly", "FALSE"},
    {"oMSyntax", "1"},
    {"searchFlags", "1"},
};

const std::vector<Expected> kClassValues = {
    {"cn", "WexlorEnterpriseUser"},
    {"adminDescription", "WexlorEnterpriseUser"},
    {"adminDisplayName", "WexlorEnterpriseUser"},
    {"lDAPDisplayName", "WexlorEnterpriseUser"},
    {"name", "WexlorEnterpriseUser"},
    {"governsID", "1.3.6.1.4.1.32473.1.4"},
    {"systemOnly", "FALSE"},
    {"rDNAttID", "cn"},
    {"objectClassCategory", "3"},
    {"mayContain", "WexlorAdmin"},
};

int RunForestScript(const std::string& words, std::string* output, DWORD timeoutMs) {
    const std::string script = Narrow(EnvironmentValue(L"FOREST_SCRIPT"));
    if (script.empty()) {
        if (output) *output = "FOREST_SCRIPT is not set";
        return -1;
    }
    return RunUnix(ShellQuote(script) + " " + words, output, timeoutMs);
}

int RunForest(const std::string& command, const std::string& arguments, std::string* output,
              const std::string& runDir) {
    const std::string dir = RunDir(runDir);
    if (dir.empty()) {
        if (output) *output = "FOREST_RUN_DIR is not set";
        return -1;
    }
    return RunForestScript(command + " " + ShellQuote(dir) + (arguments.empty() ? "" : " " + arguments), output);
}

int Forest(const std::string& command, const std::string& arguments, const std::string& runDir) {
    std::string output;
    const int status = RunForest(command, arguments, &output, runDir);
    EXPECT_EQ(0, status) << "forest.sh " << command << " failed: " << output;
    return status;
}

std::vector<Entry> ParseLdif(const std::string& ldif) {
    // A line that starts with one space continues the one before.
    std::vector<std::string> lines;
    std::istringstream in(ldif);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == ' ' && !lines.empty())
            lines.back() += line.substr(1);
        else
            lines.push_back(line);
    }
    std::vector<Entry> entries;
    bool inEntry = false;
    for (const std::string& l : lines) {
        if (l.empty() || l[0] == '#') {
            inEntry = false;
            continue;
        }
        const std::size_t colon = l.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = Lower(l.substr(0, colon));
        std::string value = l.substr(colon + 1);
        if (!value.empty() && value[0] == ':') value = "(base64)" + value.substr(1);
        if (!value.empty() && value[0] == ' ') value.erase(0, 1);
        if (name == "dn" && !inEntry) {
            entries.emplace_back();
            inEntry = true;
        }
        if (inEntry) entries.back()[name].push_back(value);
    }
    return entries;
}

std::string One(const Entry& entry, const std::string& attribute) {
    const auto it = entry.find(Lower(attribute));
    if (it == entry.end()) return "<absent>";
    if (it->second.size() != 1) return "<" + std::to_string(it->second.size()) + " values>";
    return it->second.front();
}

std::vector<std::string> Values(const std::vector<Entry>& entries, const std::string& attribute) {
    std::vector<std::string> values;
    for (const Entry& entry : entries) {
        const auto it = entry.find(Lower(attribute));
        if (it != entry.end()) values.insert(values.end(), it->second.begin(), it->second.end());
    }
    return values;
}

ForestSearch SearchForest(const char* tool, const std::string& base, const char* scope, const std::string& filter,
                          const std::string& attributes, const std::string& runDir) {
    ForestSearch search;
    search.status = RunForest(tool, "-b " + ShellQuote(base) + " -s " + scope + " " + ShellQuote(filter) + " " +
                                        attributes,
                              &search.output, runDir);
    search.entries = ParseLdif(search.output);
    return search;
}

SchemaObject ReadSchemaObject(const std::string& cn, const std::string& runDir) {
    return Single(SearchForest("search", kSchemaDn, "one", "(cn=" + cn + ")", "'*' nTSecurityDescriptor", runDir),
                  cn);
}

SchemaObject ReadEntry(const std::string& dn) {
    return Single(SearchForest("search", dn, "base", "(objectClass=*)", ""), dn);
}

std::string Differences(const Entry& entry, const std::vector<Expected>& expected) {
    std::string text;
    for (const Expected& value : expected) {
        const std::string held = One(entry, value.first);
        if (held != value.second) text += std::string(value.first) + ": " + value.second + " | " + held + "\n";
    }
    return text;
}

int LdapModify(const std::string& ldif, std::string* output) {
    return PipeToLdapModify("printf '%s' " + ShellQuote(ldif), output);
}

int ApplyLdifFile(const std::string& path, std::string* output) {
    return PipeToLdapModify(ShellQuote(Narrow(EnvironmentValue(L"FOREST_SCRIPT"))) + " ldif " + ShellQuote(path),
                            output);
}

ForestUpAgain::~ForestUpAgain() {
    if (RunForest("status") != 0) Forest("up");
}

}  // namespace TestSupport
