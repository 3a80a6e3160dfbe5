#include "ad/Errors.h"
#include "ad/Platform.h"
#include "ad/SchemaAdditions.h"
#include "tests/support/Fakes.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Each line is a call the object must receive, in this order, and the
// message thrown when that call fails. Written out here rather than derived
// from the production table, so a change there shows up as a difference.
struct Step {
    const wchar_t* call;
    const char* message;
};

const std::vector<Step> AttributeSteps = {
    {L"Create attributeSchema CN=WexlorAdmin", "Unable to create new attribute"},
    {L"Put adminDescription VT_BSTR WexlorAdmin", "Unable to set adminDescription attribute"},
    {L"Put adminDisplayName VT_BSTR WexlorAdmin", "Unable to set adminDisplayName attribute"},
    {L"Put cn VT_BSTR WexlorAdmin", "Unable to set cn attribute"},
    {L"Put lDAPDisplayName VT_BSTR WexlorAdmin", "Unable to set lDAPDisplayName attribute"},
    {L"Put attributeID VT_BSTR 1.3.6.1.4.1.32473.1.3.1", "Unable to set attributeID attribute"},
    {L"Put attributeSyntax VT_BSTR 2.5.5.8", "Unable to set attributeSyntax attribute"},
    {L"Put isSingleValued VT_BOOL -1", "Unable to set isSingleValued attribute"},
    {L"Put systemOnly VT_BOOL 0", "Unable to set systemOnly attribute"},
    {L"Put oMSyntax VT_I4 1", "Unable to set oMSyntax attribute"},
    {L"Put searchFlags VT_I4 1", "Unable to set searchFlags attribute"},
    {L"SetInfo", "Unable to commit new attribute to schema"},
};

const std::vector<Step> ClassSteps = {
    {L"Create classSchema CN=WexlorEnterpriseUser", "Unable to create new class"},
    {L"Put adminDescription VT_BSTR WexlorEnterpriseUser", "Unable to set adminDescription attribute"},
    {L"Put adminDisplayName VT_BSTR WexlorEnterpriseUser", "Unable to set adminDisplayName attribute"},
    {L"Put cn VT_BSTR WexlorEnterpriseUser", "Unable to set cn attribute"},
    {L"Put lDAPDisplayName VT_BSTR WexlorEnterpriseUser", "Unable to set lDAPDisplayName attribute"},
    {L"Put name VT_BSTR WexlorEnterpriseUser", "Unable to set name attribute"},
    {L"Put governsID VT_BSTR 1.3.6.1.4.1.32473.1.4", "Unable to set governsID attribute"},
    {L"Put systemOnly VT_BOOL 0", "Unable to set systemOnly attribute"},
    {L"Put rDNAttID VT_BSTR cn", "Unable to set rDNAttID attribute"},
    {L"Put objectClassCategory VT_I4 3", "Unable to set objectClassCategory attribute"},
    {L"ADsBuildVarArrayStr 1 WexlorAdmin", "Unable to initialize attributes names array"},
    {L"Put mayContain VT_ARRAY|VT_VARIANT [VT_BSTR WexlorAdmin]", "Unable to set mayContain attribute"},
    {L"SetInfo", "Unable to commit new class to schema"},
};

Fakes::Log Calls(const std::vector<Step>& steps, size_t count) {
    Fakes::Log calls;
    for (size_t i = 0; i < count; ++i) calls.push_back(steps[i].call);
    return calls;
}

class SchemaAdditions : public ::testing::Test {
protected:
    Fakes::Log log;
    Fakes::FakePlatform platform{log};
    Fakes::FakeContainer container{log};

    void TearDown() override { EXPECT_EQ(0, container.outstanding()); }

    // Makes the call of `step` answer hr.
    void FailAt(const Step& step, HRESULT hr) {
        std::wistringstream words(step.call);
        std::wstring word, second;
        words >> word >> second;
        if (word == L"Create") {
            container.createFailures[second] = hr;
        } else if (word == L"ADsBuildVarArrayStr") {
            platform.buildResult = hr;
        } else {
            container.configure = [word, second, hr](const std::wstring&, Fakes::FakeObject& o) {
                if (word == L"Put") o.putFailures[second] = hr;
                else o.setInfoResult = hr;
            };
        }
    }

    void ExpectEveryStepFailure(const std::vector<Step>& steps, const std::function<void()>& operation) {
        for (size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "failing step " << i);
            log.clear();
            container.createFailures.clear();
            container.configure = nullptr;
            platform.buildResult = S_OK;
            const HRESULT hr = static_cast<HRESULT>(0x80070000 + 100 + i);
            FailAt(steps[i], hr);
            const Fakes::Thrown thrown = Fakes::Catch(operation);
            EXPECT_EQ(hr, thrown.hr);
            EXPECT_EQ(steps[i].message, thrown.message);
            // Later properties are not written and nothing is committed
            // after the failing call.
            EXPECT_EQ(Calls(steps, i + 1), log);
            EXPECT_EQ(0, container.outstanding());
        }
    }
};

TEST_F(SchemaAdditions, AttributeIsWrittenInOrderWithItsTypesAndCommittedOnce) {
    AD::CreateAttribute(&container, AD::NewAttributes[0]);
    EXPECT_EQ(Calls(AttributeSteps, AttributeSteps.size()), log);
}

TEST_F(SchemaAdditions, AttributeValuesComeFromTheDefinition) {
    const AD::AttributeDefinition other = {L"Other", L"1.2.3", L"2.5.5.12", false, true, 64, 9};
    AD::CreateAttribute(&container, other);
    const Fakes::Log expected = {
        L"Create attributeSchema CN=Other",    L"Put adminDescription VT_BSTR Other",
        L"Put adminDisplayName VT_BSTR Other", L"Put cn VT_BSTR Other",
        L"Put lDAPDisplayName VT_BSTR Other",  L"Put attributeID VT_BSTR 1.2.3",
        L"Put attributeSyntax VT_BSTR 2.5.5.12", L"Put isSingleValued VT_BOOL 0",
        L"Put systemOnly VT_BOOL -1",          L"Put oMSyntax VT_I4 64",
        L"Put searchFlags VT_I4 9",            L"SetInfo",
    };
    EXPECT_EQ(expected, log);
}

TEST_F(SchemaAdditions, ClassIsWrittenInOrderWithItsTypesAndCommittedOnce) {
    AD::CreateClass(&container);
    EXPECT_EQ(Calls(ClassSteps, ClassSteps.size()), log);
}

TEST_F(SchemaAdditions, ClassMayContainIsBuiltByThePlatform) {
    // The platform's own builder, not the fake: the value it makes must be
    // what reaches Put. Skipped where the platform has none.
    AD::Platform.buildVarArrayStr = AD::RealPlatform.buildVarArrayStr;
    VARIANT probe;
    ::VariantInit(&probe);
    wchar_t name[] = L"x";
    LPWSTR names[] = {name};
    HRESULT hr = AD::RealPlatform.buildVarArrayStr(names, 1, &probe);
    ::VariantClear(&probe);
    if (FAILED(hr)) GTEST_SKIP() << "platform ADsBuildVarArrayStr answers " << std::hex << hr;
    AD::CreateClass(&container);
    ASSERT_EQ(12u, log.size());
    EXPECT_EQ(L"Put mayContain VT_ARRAY|VT_VARIANT [VT_BSTR WexlorAdmin]", log[10]);
}

TEST_F(SchemaAdditions, AttributeStepFailureThrowsItsMessageAndStops) {
    ExpectEveryStepFailure(AttributeSteps,
                           [&] { AD::CreateAttribute(&container, AD::NewAttributes[0]); });
}

TEST_F(SchemaAdditions, ClassStepFailureThrowsItsMessageAndStops) {
    ExpectEveryStepFailure(ClassSteps, [&] { AD::CreateClass(&container); });
}

// A new object that cannot be used: its IADs refused, or no object at all
// from a creation call that reports success.
TEST_F(SchemaAdditions, UnusableNewObjectThrowsAndReleasesIt) {
    const HRESULT refused = E_NOINTERFACE;
    container.configure = [refused](const std::wstring&, Fakes::FakeObject& o) { o.queryIADs = refused; };
    const std::function<void()> attribute = [&] { AD::CreateAttribute(&container, AD::NewAttributes[0]); };
    const std::function<void()> objectClass = [&] { AD::CreateClass(&container); };
    struct Case {
        bool nullObject;
        const std::function<void()>& run;
        HRESULT hr;
        const char* message;
    } cases[] = {
        {false, attribute, refused, "Unable to query IADs interface from attribute object"},
        {false, objectClass, refused, "Unable to query IADs interface from class object"},
        {true, attribute, E_POINTER, "Unable to create new attribute"},
        {true, objectClass, E_POINTER, "Unable to create new class"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        log.clear();
        container.createNull = c.nullObject;
        const Fakes::Thrown thrown = Fakes::Catch(c.run);
        EXPECT_EQ(c.hr, thrown.hr);
        EXPECT_EQ(c.message, thrown.message);
        EXPECT_EQ(1u, log.size());  // the creation call only
        EXPECT_EQ(0, container.outstanding());
    }
}

TEST_F(SchemaAdditions, ExistingObjectsCountAsCreated) {
    container.configure = [](const std::wstring&, Fakes::FakeObject& o) {
        o.setInfoResult = static_cast<HRESULT>(0x80071392);
    };
    AD::CreateAttribute(&container, AD::NewAttributes[0]);
    AD::CreateClass(&container);
    EXPECT_EQ(AttributeSteps.size() + ClassSteps.size(), log.size());
}

TEST_F(SchemaAdditions, OnlyObjectExistsIsToleratedAtCommit) {
    // Neighbours of the tolerated code, and the ADSI code of the same name.
    const HRESULT refused[] = {static_cast<HRESULT>(0x80071391), static_cast<HRESULT>(0x80071393),
                               static_cast<HRESULT>(0x8000500E), static_cast<HRESULT>(0x80072071)};
    for (HRESULT hr : refused) {
        container.configure = [hr](const std::wstring&, Fakes::FakeObject& o) {
            o.setInfoResult = hr;
        };
        EXPECT_THROW(AD::CreateAttribute(&container, AD::NewAttributes[0]), AD::HResultException);
        EXPECT_THROW(AD::CreateClass(&container), AD::HResultException);
    }
}

TEST(SchemaTables, MayContainNamesTheNewAttribute) {
    ASSERT_EQ(1u, AD::NewClassMayContainCount);
    EXPECT_STREQ(AD::NewAttributes[0].name, AD::NewClassMayContain[0]);
}

}  // namespace
