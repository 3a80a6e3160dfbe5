#include "ad/DomainName.h"

#include <gtest/gtest.h>

namespace {

struct Row {
    const wchar_t* path;
    const wchar_t* domain;
};

const Row Rows[] = {
    {L"LDAP://CN=DC1,CN=Servers,CN=Site1,CN=Sites,CN=Configuration,DC=example,DC=com",
     L"DC=example,DC=com"},
    {L"LDAP://dc1.samdom.test/CN=DC1,CN=Servers,CN=Default-First-Site-Name,CN=Sites,"
     L"CN=Configuration,DC=samdom,DC=test",
     L"DC=samdom,DC=test"},
    // Only the upper-case marker counts.
    {L"LDAP://CN=DC1,dc=example,dc=com", L""},
    {L"LDAP://CN=DC1,Dc=example,DC=com", L"DC=com"},
    // From the first "DC=" inside a token to the token's end.
    {L"CN=XDC=1,DC=a", L"DC=1,DC=a"},
    {L"CN=aDC=bDC=c", L"DC=bDC=c"},
    // Empty and short tokens add nothing; a trailing comma adds no token.
    {L"DC=a,,DC=b,", L"DC=a,DC=b"},
    {L",,DC,D,DC=x", L"DC=x"},
    {L"DC=", L"DC="},
    {L"DC", L""},
    {L"", L""},
    {L"CN=Servers,CN=Configuration", L""},
    // Escaped commas are not special.
    {L"CN=a\\,DC=b,DC=c", L"DC=b,DC=c"},
    // A path of domain components only comes back as it is.
    {L"DC=a,DC=b", L"DC=a,DC=b"},
    {L"DC=a", L"DC=a"},
};

TEST(ExtractDomainName, Table) {
    for (const Row& row : Rows) EXPECT_EQ(row.domain, AD::ExtractDomainName(row.path)) << row.path;
}

}  // namespace
