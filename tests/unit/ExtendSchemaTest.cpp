#include "ad/ExtendSchema.h"
#include "base/Scoped.h"
#include "tests/support/Fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

namespace {

const wchar_t ContainerPath[] = L"LDAP://CN=Schema,CN=Configuration,DC=samdom,DC=test";
const HRESULT AlreadyExists = static_cast<HRESULT>(0x80071392);
const HRESULT NoAttributeOrValue = static_cast<HRESULT>(0x8007200A);
const HRESULT Constraint = static_cast<HRESULT>(0x8007200B);

class ExtendSchema : public ::testing::Test {
protected:
    Fakes::Log log;
    Fakes::FakePlatform platform{log};
    Fakes::FakeContainer container{log};
    Scoped::Handle cancel{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    int attempts = 0;  // objects made of the class whose commit fails

    void SetUp() override {
        ASSERT_TRUE(cancel);
        platform.bindings[ContainerPath] = {&container, S_OK};
    }
    void TearDown() override { EXPECT_EQ(0, container.outstanding()); }

    // The commit of each new object of class `cls` answers hr while `fails`
    // says so (by default, every one).
    void CommitFails(const std::wstring& cls, HRESULT hr,
                     std::function<bool(int attempt)> fails = [](int) { return true; }) {
        container.configure = [this, cls, hr, fails](const std::wstring& made, Fakes::FakeObject& o) {
            if (made != cls) return;
            if (fails(++attempts)) o.setInfoResult = hr;
        };
    }

    void Run(HANDLE event) { AD::ExtendSchema(L"DC=samdom,DC=test", event); }
    void Run() { Run(cancel.get()); }

    // The log without the property writes: binds, creations, commits, clock.
    Fakes::Log Outline() const {
        Fakes::Log outline;
        std::copy_if(log.begin(), log.end(), std::back_inserter(outline),
                     [](const std::wstring& call) { return call.compare(0, 4, L"Put ") != 0 &&
                                                            call.compare(0, 6, L"ADsBui") != 0; });
        return outline;
    }

    Fakes::Thrown Thrown() { return Fakes::Catch([this] { Run(); }); }
};

const wchar_t CreateAttribute[] = L"Create attributeSchema CN=WexlorAdmin";
const wchar_t CreateClass[] = L"Create classSchema CN=WexlorEnterpriseUser";

TEST_F(ExtendSchema, BindsTheServerlessContainerThenCreatesAttributeThenClass) {
    Run();
    const Fakes::Log expected = {
        L"bind LDAP://CN=Schema,CN=Configuration,DC=samdom,DC=test IADsContainer",
        CreateAttribute, L"SetInfo", L"GetTickCount", CreateClass, L"SetInfo",
    };
    EXPECT_EQ(expected, Outline());
}

TEST_F(ExtendSchema, BindFailureNamesTheContainerWhateverTheCancelEvent) {
    const HRESULT down = static_cast<HRESULT>(0x8007203A);
    platform.bindings[ContainerPath] = {nullptr, down};
    for (bool cancelled : {false, true}) {
        if (cancelled) ::SetEvent(cancel.get());
        log.clear();
        const Fakes::Thrown thrown = Thrown();
        EXPECT_EQ(down, thrown.hr);
        EXPECT_EQ("Unable to get schema container.", thrown.message);
        EXPECT_EQ(1u, log.size());
    }
}

TEST_F(ExtendSchema, CancelOnEntryOrNoEventBindsAndReturnsWithoutCreating) {
    ::SetEvent(cancel.get());
    for (HANDLE event : {cancel.get(), HANDLE(nullptr)}) {
        log.clear();
        Run(event);
        EXPECT_EQ(0u, container.created.size());
        EXPECT_EQ(1u, log.size() - Fakes::Count(log, L"GetTickCount"));
    }
}

TEST_F(ExtendSchema, AttributeAlreadyExistsFromAnyStepIsIgnored) {
    struct Case {
        const char* where;
        std::function<void()> arrange;
    } cases[] = {
        {"creation", [&] { container.createFailures[L"attributeSchema"] = AlreadyExists; }},
        {"write", [&] {
             container.configure = [](const std::wstring& cls, Fakes::FakeObject& o) {
                 if (cls == L"attributeSchema") o.putFailures[L"cn"] = AlreadyExists;
             };
         }},
        {"commit", [&] { CommitFails(L"attributeSchema", AlreadyExists); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        log.clear();
        container.createFailures.clear();
        container.configure = nullptr;
        c.arrange();
        EXPECT_NO_THROW(Run());
        EXPECT_EQ(1u, Fakes::Count(log, CreateClass));
    }
}

TEST_F(ExtendSchema, SecondRunOverExistingObjectsSucceedsWithoutRetrying) {
    container.configure = [](const std::wstring&, Fakes::FakeObject& o) {
        o.setInfoResult = AlreadyExists;
    };
    EXPECT_NO_THROW(Run());
    EXPECT_EQ(1u, Fakes::Count(log, CreateAttribute));
    EXPECT_EQ(1u, Fakes::Count(log, CreateClass));
    EXPECT_TRUE(platform.pauses.empty());
}

TEST_F(ExtendSchema, OtherAttributeFailureIsRethrownUnchangedAndTheClassNotTried) {
    const HRESULT denied = E_ACCESSDENIED;
    CommitFails(L"attributeSchema", denied);
    const Fakes::Thrown thrown = Thrown();
    EXPECT_EQ(denied, thrown.hr);
    EXPECT_EQ("Unable to commit new attribute to schema", thrown.message);
    EXPECT_EQ(0u, Fakes::Count(log, CreateClass));
}

TEST_F(ExtendSchema, ClassIsRetriedEvery5000msUntilTheDirectoryKnowsTheAttribute) {
    CommitFails(L"classSchema", NoAttributeOrValue, [](int attempt) { return attempt <= 2; });
    Run();
    EXPECT_EQ(3, attempts);
    EXPECT_EQ((std::vector<DWORD>{5000, 5000}), platform.pauses);
    // The attribute is not made again; each class attempt is a whole new object.
    EXPECT_EQ(1u, Fakes::Count(log, CreateAttribute));
    EXPECT_EQ(3u, Fakes::Count(log, L"Put mayContain VT_ARRAY|VT_VARIANT [VT_BSTR WexlorAdmin]"));
}

TEST_F(ExtendSchema, RetryBudgetIs300000msInclusiveAcrossTheTickWrap) {
    // Start just before the 32-bit counter wraps. Failures are seen 5000 ms
    // later (before the wrap), exactly 300000 ms later (after it; still
    // retried) and 300001 ms later (thrown).
    const DWORD start = 0xFFFFFFFFu - 99999u;
    platform.ticks = {start, start + 5000u, start + 300000u, start + 300001u};
    CommitFails(L"classSchema", NoAttributeOrValue);
    const Fakes::Thrown thrown = Thrown();
    EXPECT_EQ(NoAttributeOrValue, thrown.hr);
    EXPECT_EQ("Unable to commit new class to schema", thrown.message);
    EXPECT_EQ(3, attempts);
    EXPECT_EQ((std::vector<DWORD>{5000, 5000}), platform.pauses);
}

TEST_F(ExtendSchema, RetryBudgetIsMeasuredFromTheFirstClassAttempt) {
    // A clock that moves only while pausing: attempts at 0, 5000 ... 300000
    // are retried, the one at 305000 is not.
    platform.now = 0xFFFF0000u;
    CommitFails(L"classSchema", NoAttributeOrValue);
    EXPECT_EQ(NoAttributeOrValue, Thrown().hr);
    EXPECT_EQ(62, attempts);
    EXPECT_EQ(61u, platform.pauses.size());
}

TEST_F(ExtendSchema, CancelDuringRetriesEndsAfterTheCurrentPause) {
    CommitFails(L"classSchema", NoAttributeOrValue);
    platform.onPause = [&](int pause) {
        if (pause == 2) ::SetEvent(cancel.get());
    };
    EXPECT_NO_THROW(Run());
    EXPECT_EQ(2, attempts);
    EXPECT_EQ(2u, platform.pauses.size());
    EXPECT_EQ(L"Sleep 5000", log.back());
}

TEST_F(ExtendSchema, ClassFailuresOtherThanNoAttributeAreNotRetried) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        HRESULT hr;
        const char* message;
    } cases[] = {
        // Only the attribute stage ignores an existing object.
        {"exists at creation", [&] { container.createFailures[L"classSchema"] = AlreadyExists; },
         AlreadyExists, "Unable to create new class"},
        {"denied at commit", [&] { CommitFails(L"classSchema", E_ACCESSDENIED); }, E_ACCESSDENIED,
         "Unable to commit new class to schema"},
        {"constraint at commit", [&] { CommitFails(L"classSchema", Constraint); }, Constraint,
         "Unable to commit new class to schema"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.clear();
        platform.pauses.clear();
        container.createFailures.clear();
        container.configure = nullptr;
        c.arrange();
        const Fakes::Thrown thrown = Thrown();
        EXPECT_EQ(c.hr, thrown.hr);
        EXPECT_EQ(c.message, thrown.message);
        EXPECT_EQ(1u, Fakes::Count(log, CreateClass));
        EXPECT_TRUE(platform.pauses.empty());
    }
}

}  // namespace
