// The Linux side of the directory tests of ad/: changing the forest through
// tools/forest.sh and reading it back with ldbsearch on the copy's sam.ldb,
// so that every check is made without the provider or the code under test.
#pragma once

#include "tests/support/ProviderTest.h"

#include <map>
#include <string>
#include <vector>

namespace DirectoryCheck {

// One entry as ldbsearch prints it: attribute name (lower case) to values.
using Entry = std::map<std::string, std::vector<std::string>>;

// The LDIF records of ldbsearch output, folded lines joined.
std::vector<Entry> ParseLdif(const std::string& ldif);

// The single value of attribute in entry, or "<absent>" / "<N values>".
std::string One(const Entry& entry, const std::string& attribute);

// The schema object whose cn is cn, read from sam.ldb with its security
// descriptor; found is false when there is none.
struct SchemaObject {
    bool found = false;
    Entry entry;
};
// runDir names another forest copy than this run's one-DC forest.
SchemaObject ReadSchemaObject(const std::string& cn, const std::string& runDir = std::string());

// Any entry of the directory, by its DN (base search).
SchemaObject ReadEntry(const std::string& dn);

// Runs "tools/forest.sh COMMAND RUN_DIR ARGS"; returns its exit status and
// adds its output to the test's failure text when it fails.
int Forest(const std::string& command, const std::string& arguments = std::string());

// Runs ldapmodify as the forest's administrator with ldif on its input;
// returns its exit status, and its output through output.
int LdapModify(const std::string& ldif, std::string* output = nullptr);

// Applies an LDIF file written for any forest (its DN DC=X) to this one, as
// the forest's administrator; returns ldapmodify's exit status.
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

}  // namespace DirectoryCheck
