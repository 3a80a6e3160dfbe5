// What an LDAP search hands back, and what an add or modify sends: entries
// with named, multi-valued string attributes.
#pragma once

#include <string>
#include <vector>

namespace Provider {

struct Attribute {
    std::wstring name;
    std::vector<std::wstring> values;
};

struct Entry {
    std::wstring dn;
    std::vector<Attribute> attributes;
};

// Case-insensitive, as LDAP attribute names are.
bool SameAttributeName(const std::wstring& a, const std::wstring& b);

// The text in lower case: the key under which a name that compares without
// case (an attribute, a server) is kept.
std::wstring Lower(std::wstring text);

}  // namespace Provider
