// The test forests seen from the Linux side, through tools/forest.sh, never
// through the provider or the code under test: a copy's own database read
// with ldbsearch, or its DC asked over LDAP as Administrator, with the one
// parser of what both print; and the changes and controls that tests make.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace TestSupport {

// "tools/forest.sh WORDS" (FOREST_SCRIPT of the environment); WORDS are
// shell words as given. Returns the exit status; output gets what it printed.
int RunForestScript(const std::string& words, std::string* output = nullptr, DWORD timeoutMs = 120000);

// "tools/forest.sh COMMAND RUN_DIR [ARGUMENTS]" on a forest copy: by default
// this run's one-DC forest, as the environment names it (FOREST_RUN_DIR).
int RunForest(const std::string& command, const std::string& arguments = std::string(),
              std::string* output = nullptr, const std::string& runDir = std::string());

// The same, its output added to the test's failure when it does not exit 0.
int Forest(const std::string& command, const std::string& arguments = std::string(),
           const std::string& runDir = std::string());

// One entry as ldbsearch or ldapsearch prints it: attribute name (lower
// case) to values, the DN under "dn"; a base64 value reads "(base64)...".
using Entry = std::map<std::string, std::vector<std::string>>;

// The LDIF records of that output, folded lines joined.
std::vector<Entry> ParseLdif(const std::string& ldif);

// The single value of attribute in entry, or "<absent>" / "<N values>".
std::string One(const Entry& entry, const std::string& attribute);

// Every value of attribute in the entries, in their order.
std::vector<std::string> Values(const std::vector<Entry>& entries, const std::string& attribute);

// What a search of a forest copy found. tool "search" reads the copy's own
// sam.ldb; "ldapsearch" asks its DC over LDAP as Administrator, and so fails
// unless the DC answers a bind and a read (status 32: no such base object).
struct ForestSearch {
    int status = -1;
    std::vector<Entry> entries;
    std::string output;
};
ForestSearch SearchForest(const char* tool, const std::string& base, const char* scope, const std::string& filter,
                          const std::string& attributes, const std::string& runDir = std::string());

extern const char kSchemaDn[];

// The schema object whose cn is cn, read from the copy's sam.ldb with its
// security descriptor; found is false when there is none.
struct SchemaObject {
    bool found = false;
    Entry entry;
};
SchemaObject ReadSchemaObject(const std::string& cn, const std::string& runDir = std::string());

// Any entry of this run's forest, by its DN.
SchemaObject ReadEntry(const std::string& dn);

// The values that the program's two objects carry, as the directory stores
// them (its own spelling of booleans).
using Expected = std::pair<const char*, const char*>;
extern const std::vector<Expected> kAttributeValues;
extern const std::vector<Expected> kClassValues;

// Each expected value that entry does not hold, one "name: wanted | held"
// line each; empty when it holds them all.
std::string Differences(const Entry& entry, const std::vector<Expected>& expected);

// ldapmodify as the forest's administrator with ldif on its input; returns
// its exit status, and what it printed through output.
int LdapModify(const std::string& ldif, std::string* output = nullptr);

// Applies an LDIF file written for any forest (its DN DC=X) to this one.
int ApplyLdifFile(const std::string& path, std::string* output = nullptr);

// Brings the forest back up at the end of a test that stopped it, whatever
// the test's outcome, so that later tests find it running.
class ForestUpAgain {
public:
    ForestUpAgain() = default;
    ForestUpAgain(const ForestUpAgain&) = delete;
    ForestUpAgain& operator=(const ForestUpAgain&) = delete;
    ~ForestUpAgain();
};

}  // namespace TestSupport
