// The schema extension against a real directory: what a fresh forest holds
// afterwards, a second run, an attribute that was there before, a user
// without schema rights, a stopped directory, and the LDIF shipped for
// administrators against what the program writes. Each test that changes
// the schema starts from a fresh copy of the forest.
#include "tests/support/ProviderTest.h"

#include "ad/Errors.h"
#include "ad/ExtendSchema.h"
#include "base/Scoped.h"

#include <algorithm>
#include <set>
#include <string>

using namespace TestSupport;

namespace {

const wchar_t Domain[] = L"DC=samdom,DC=test";
const char AttributeCn[] = "WexlorAdmin";
const char ClassCn[] = "WexlorEnterpriseUser";

struct Outcome {
    bool threw = false;
    HRESULT hr = S_OK;
    std::string message;
};

// One run of the job's directory work, with a cancel event that is never set.
Outcome RunExtendSchema() {
    Outcome outcome;
    Scoped::Handle cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_TRUE(cancel);
    try {
        AD::ExtendSchema(Domain, cancel.get());
    } catch (const AD::HResultException& e) {
        outcome.threw = true;
        outcome.hr = e.hresult();
        outcome.message = e.what();
    }
    return outcome;
}

bool HasObjectClass(const Entry& entry, const char* objectClass) {
    const std::vector<std::string> classes = Values({entry}, "objectClass");
    return std::any_of(classes.begin(), classes.end(),
                       [&](const std::string& value) { return _stricmp(value.c_str(), objectClass) == 0; });
}

// What the directory makes up itself for a new schema object: different in
// every forest and every run, whoever wrote the object.
const char* const Generated[] = {
    "objectguid", "schemaidguid", "msds-intid", "whencreated", "whenchanged", "usncreated", "usnchanged",
};

std::string Join(const std::vector<std::string>& values) {
    std::string text;
    for (const std::string& value : values) text += (text.empty() ? "" : "; ") + value;
    return text;
}

// The attributes in which two entries differ, one line each; empty when
// they hold the same values but for the generated ones.
std::string DifferingAttributes(Entry a, Entry b) {
    for (const char* name : Generated) {
        a.erase(name);
        b.erase(name);
    }
    std::set<std::string> names;
    for (const auto& kv : a) names.insert(kv.first);
    for (const auto& kv : b) names.insert(kv.first);
    std::string text;
    for (const std::string& name : names)
        if (a[name] != b[name]) text += name + ": [" + Join(a[name]) + "] | [" + Join(b[name]) + "]\n";
    return text;
}

class ExtendSchemaForest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_FOREST_SCRIPT();
        ASSERT_EQ(0, Forest("restart"));
        ASSERT_FALSE(ReadSchemaObject(AttributeCn).found) << "the template already holds the attribute";
        ASSERT_FALSE(ReadSchemaObject(ClassCn).found) << "the template already holds the class";
    }

    // A run of the job's directory work that succeeds, and both objects as
    // it left them.
    static void ExtendAndRead(SchemaObject& attribute, SchemaObject& cls) {
        Outcome outcome = RunExtendSchema();
        ASSERT_FALSE(outcome.threw) << outcome.message << " 0x" << std::hex << outcome.hr;
        attribute = ReadSchemaObject(AttributeCn);
        cls = ReadSchemaObject(ClassCn);
        ASSERT_TRUE(attribute.found);
        ASSERT_TRUE(cls.found);
    }
};

}  // namespace

TEST_F(ExtendSchemaForest, FreshForestGetsBothObjectsWithTheirDefinedValues) {
    SchemaObject attribute, cls;
    ASSERT_NO_FATAL_FAILURE(ExtendAndRead(attribute, cls));

    EXPECT_EQ("", Differences(attribute.entry, kAttributeValues));
    EXPECT_TRUE(HasObjectClass(attribute.entry, "attributeSchema"));
    EXPECT_EQ("", Differences(cls.entry, kClassValues));
    EXPECT_TRUE(HasObjectClass(cls.entry, "classSchema"));
    // Under the container that the domain name leads to, not anywhere else.
    EXPECT_EQ("CN=WexlorEnterpriseUser,CN=Schema,CN=Configuration,DC=samdom,DC=test", One(cls.entry, "dn"));
    EXPECT_EQ("CN=WexlorAdmin,CN=Schema,CN=Configuration,DC=samdom,DC=test", One(attribute.entry, "dn"));
}

TEST_F(ExtendSchemaForest, SecondRunReturnsNormallyAndChangesNothing) {
    SchemaObject attributeBefore, classBefore;
    ASSERT_NO_FATAL_FAILURE(ExtendAndRead(attributeBefore, classBefore));

    Outcome second = RunExtendSchema();
    EXPECT_FALSE(second.threw) << second.message << " 0x" << std::hex << second.hr;

    SchemaObject attributeAfter = ReadSchemaObject(AttributeCn);
    SchemaObject classAfter = ReadSchemaObject(ClassCn);
    EXPECT_EQ(One(attributeBefore.entry, "uSNChanged"), One(attributeAfter.entry, "uSNChanged"));
    EXPECT_EQ(One(classBefore.entry, "uSNChanged"), One(classAfter.entry, "uSNChanged"));
    EXPECT_EQ(attributeBefore.entry, attributeAfter.entry);
    EXPECT_EQ(classBefore.entry, classAfter.entry);
}

TEST_F(ExtendSchemaForest, AttributeAlreadyThereWithOtherValuesIsKeptAndTheClassCreated) {
    // Same relative and display name, everything else different: a
    // multi-valued, unindexed string with an OID of its own.
    std::string output;
    ASSERT_EQ(0, LdapModify("dn: CN=WexlorAdmin,CN=Schema,CN=Configuration,DC=samdom,DC=test\n"
                            "changetype: add\n"
                            "objectClass: attributeSchema\n"
                            "cn: WexlorAdmin\n"
                            "lDAPDisplayName: WexlorAdmin\n"
                            "attributeID: 1.3.6.1.4.1.32473.1.3.77\n"
                            "attributeSyntax: 2.5.5.12\n"
                            "oMSyntax: 64\n"
                            "isSingleValued: FALSE\n"
                            "searchFlags: 0\n"
                            "adminDescription: There before the program ran\n"
                            "adminDisplayName: Earlier WexlorAdmin\n",
                            &output))
        << output;
    SchemaObject before = ReadSchemaObject(AttributeCn);
    ASSERT_TRUE(before.found);

    Outcome outcome = RunExtendSchema();
    ASSERT_FALSE(outcome.threw) << outcome.message << " 0x" << std::hex << outcome.hr;

    SchemaObject after = ReadSchemaObject(AttributeCn);
    EXPECT_EQ(before.entry, after.entry) << "the existing attribute was changed";
    EXPECT_EQ("1.3.6.1.4.1.32473.1.3.77", One(after.entry, "attributeID"));
    EXPECT_EQ("There before the program ran", One(after.entry, "adminDescription"));

    SchemaObject cls = ReadSchemaObject(ClassCn);
    ASSERT_TRUE(cls.found);
    EXPECT_EQ("", Differences(cls.entry, kClassValues));
}

TEST_F(ExtendSchemaForest, UserWithoutSchemaRightsIsRefusedAndNothingIsCreated) {
    ASSERT_EQ(0, Forest("adduser", "plainuser 'Passw0rd-Plain1'"));
    Outcome outcome;
    {
        // The provider reads its credentials afresh for each new connection.
        ScopedEnvironment user(L"WINEADSI_USER", L"plainuser@samdom.test");
        ScopedEnvironment password(L"WINEADSI_PASSWORD", L"Passw0rd-Plain1");
        outcome = RunExtendSchema();
    }
    EXPECT_TRUE(outcome.threw);
    EXPECT_EQ(HRESULT(0x80070005), outcome.hr);
    EXPECT_EQ("Unable to commit new attribute to schema", outcome.message);

    EXPECT_FALSE(ReadSchemaObject(AttributeCn).found);
    EXPECT_FALSE(ReadSchemaObject(ClassCn).found);

    // The same user's own credentials did reach the directory: with the
    // administrator's the same run succeeds on this very forest.
    Outcome admin = RunExtendSchema();
    EXPECT_FALSE(admin.threw) << admin.message << " 0x" << std::hex << admin.hr;
    EXPECT_TRUE(ReadSchemaObject(ClassCn).found);
}

TEST_F(ExtendSchemaForest, StoppedDirectoryFailsTheBindAndCreatesNothing) {
    ForestUpAgain upAgain;
    ASSERT_EQ(0, Forest("down"));
    Outcome outcome = RunExtendSchema();
    EXPECT_TRUE(outcome.threw);
    EXPECT_EQ("Unable to get schema container.", outcome.message);
    // The provider's "server is not operational".
    EXPECT_EQ(HRESULT(0x8007203A), outcome.hr);

    ASSERT_EQ(0, Forest("up"));
    EXPECT_FALSE(ReadSchemaObject(AttributeCn).found);
    EXPECT_FALSE(ReadSchemaObject(ClassCn).found);
}

TEST_F(ExtendSchemaForest, ShippedLdifWritesWhatTheProgramWrites) {
    const std::string ldif = Narrow(EnvironmentValue(L"SCHEMA_LDIF"));
    ASSERT_FALSE(ldif.empty()) << "SCHEMA_LDIF names no file";

    SchemaObject programAttribute, programClass;
    ASSERT_NO_FATAL_FAILURE(ExtendAndRead(programAttribute, programClass));

    // Another fresh copy of the same template, written by the LDIF alone.
    ASSERT_EQ(0, Forest("restart"));
    ASSERT_FALSE(ReadSchemaObject(AttributeCn).found);
    std::string output;
    ASSERT_EQ(0, ApplyLdifFile(ldif, &output)) << output;
    SchemaObject ldifAttribute = ReadSchemaObject(AttributeCn);
    SchemaObject ldifClass = ReadSchemaObject(ClassCn);
    ASSERT_TRUE(ldifAttribute.found) << output;
    ASSERT_TRUE(ldifClass.found) << output;

    EXPECT_EQ("", DifferingAttributes(programAttribute.entry, ldifAttribute.entry)) << "program | LDIF";
    EXPECT_EQ("", DifferingAttributes(programClass.entry, ldifClass.entry)) << "program | LDIF";
    // The security descriptors, which the page documents, are among what was compared.
    EXPECT_NE("<absent>", One(ldifAttribute.entry, "nTSecurityDescriptor"));
    EXPECT_NE("<absent>", One(ldifClass.entry, "nTSecurityDescriptor"));
}
