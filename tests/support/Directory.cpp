#include "tests/support/Directory.h"

#include <cctype>
#include <sstream>

using TestSupport::RunForest;
using TestSupport::ShellQuote;

namespace DirectoryCheck {

namespace {

const char SchemaDn[] = "CN=Schema,CN=Configuration,DC=samdom,DC=test";

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Search(const std::string& arguments, const std::string& runDir = std::string()) {
    std::string output;
    int status = RunForest("search", arguments, &output, runDir);
    EXPECT_EQ(0, status) << "ldbsearch failed: " << output;
    return output;
}

SchemaObject Single(const std::string& ldif, const std::string& what) {
    std::vector<Entry> entries = ParseLdif(ldif);
    SchemaObject object;
    EXPECT_LE(entries.size(), 1u) << "more than one entry for " << what;
    if (!entries.empty()) {
        object.found = true;
        object.entry = entries.front();
    }
    return object;
}

// ldapmodify as the administrator, fed by the shell command source.
int PipeToLdapModify(const std::string& source, std::string* output) {
    std::string text;
    int status = TestSupport::RunUnix(source + " | " + ShellQuote(ProviderTest::TheForest().script) +
                                          " ldapmodify " + ShellQuote(ProviderTest::TheForest().runDir),
                                      &text);
    if (output) *output = text;
    return status;
}

}  // namespace

std::vector<Entry> ParseLdif(const std::string& ldif) {
    // Join folded lines first: a line that starts with one space continues
    // the previous one.
    std::vector<std::string> lines;
    std::istringstream in(ldif);
    std::string line;
    while (std::getline(in, line)) {
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
        std::size_t colon = l.find(':');
        if (colon == std::string::npos) continue;
        std::string name = Lower(l.substr(0, colon));
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
    auto it = entry.find(Lower(attribute));
    if (it == entry.end()) return "<absent>";
    if (it->second.size() != 1) return "<" + std::to_string(it->second.size()) + " values>";
    return it->second.front();
}

SchemaObject ReadSchemaObject(const std::string& cn, const std::string& runDir) {
    return Single(Search("-b " + ShellQuote(SchemaDn) + " -s one " + ShellQuote("(cn=" + cn + ")") +
                             " '*' nTSecurityDescriptor",
                         runDir),
                  cn);
}

SchemaObject ReadEntry(const std::string& dn) {
    return Single(Search("-b " + ShellQuote(dn) + " -s base"), dn);
}

int Forest(const std::string& command, const std::string& arguments) {
    std::string output;
    int status = RunForest(command, arguments, &output);
    EXPECT_EQ(0, status) << "forest.sh " << command << " failed: " << output;
    return status;
}

int LdapModify(const std::string& ldif, std::string* output) {
    return PipeToLdapModify("printf '%s' " + ShellQuote(ldif), output);
}

int ApplyLdifFile(const std::string& path, std::string* output) {
    return PipeToLdapModify(ShellQuote(ProviderTest::TheForest().script) + " ldif " + ShellQuote(path), output);
}

ForestUpAgain::~ForestUpAgain() {
    if (RunForest("status") != 0) Forest("up");
}

}  // namespace DirectoryCheck
