#include "ad/Errors.h"
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

class ExtendSchema : public ::testing::Test {
protected:
    Fakes::Log log;
    Fakes::FakePlatform platform{log};
    Fakes::FakeContainer container{log};
    Scoped::Handle cancel{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    int classAttempts = 0;

    void SetUp() override {
        ASSERT_TRUE(cancel);
        platform.bindings[ContainerPath] = {&container, S_OK};
    }

    // The class commit answers hr for each attempt while `fails` says so.
    void ClassCommitFails(HRESULT hr, std::function<bool(int attempt)> fails) {
        container.configure = [this, hr, fails](const std::wstring& cls, Fakes::FakeObject& o) {
            if (cls != L"classSchema") return;
            if (fails(++classAttempts)) o.setInfoResult = hr;
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

    HRESULT Thrown(std::string* message) {
        try {
            Run();
        } catch (const AD::HResultException& e) {
            *message = e.what();
            return e.hresult();
        }
        return S_OK;
    }

    size_t Count(const std::wstring& call) const {
        return static_cast<size_t>(std::count(log.begin(), log.end(), call));
    }
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
    EXPECT_EQ(0, container.outstanding());
}

TEST_F(ExtendSchema, BindFailureNamesTheContainerWhateverTheCancelEvent) {
    const HRESULT down = static_cast<HRESULT>(0x8007203A);
    platform.bindings[ContainerPath] = {nullptr, down};
    for (bool cancelled : {false, true}) {
        if (cancelled) ::SetEvent(cancel.get());
        log.clear();
        std::string message;
        EXPECT_EQ(down, Thrown(&message));
        EXPECT_EQ("Unable to get schema container.", message);
        EXPECT_EQ(1u, log.size());
    }
}

TEST_F(ExtendSchema, CancelOnEntryOrNoEventBindsAndReturnsWithoutCreating) {
    ::SetEvent(cancel.get());
    Run();
    EXPECT_EQ(0u, container.created.size());
    EXPECT_EQ(1u, log.size() - Count(L"GetTickCount"));
    log.clear();
    Run(nullptr);
    EXPECT_EQ(0u, container.created.size());
    EXPECT_EQ(1u, log.size() - Count(L"GetTickCount"));
    EXPECT_EQ(0, container.outstanding());
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
        {"commit", [&] {
             container.configure = [](const std::wstring& cls, Fakes::FakeObject& o) {
                 if (cls == L"attributeSchema") o.setInfoResult = AlreadyExists;
             };
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        log.clear();
        container.createFailures.clear();
        container.configure = nullptr;
        c.arrange();
        EXPECT_NO_THROW(Run());
        EXPECT_EQ(1u, Count(CreateClass));
    }
    EXPECT_EQ(0, container.outstanding());
}

TEST_F(ExtendSchema, SecondRunOverExistingObjectsSucceedsWithoutRetrying) {
    container.configure = [](const std::wstring&, Fakes::FakeObject& o) {
        o.setInfoResult = AlreadyExists;
    };
    EXPECT_NO_THROW(Run());
    EXPECT_EQ(1u, Count(CreateAttribute));
    EXPECT_EQ(1u, Count(CreateClass));
    EXPECT_TRUE(platform.pauses.empty());
    EXPECT_EQ(0, container.outstanding());
}

TEST_F(ExtendSchema, OtherAttributeFailureIsRethrownUnchangedAndTheClassNotTried) {
    const HRESULT denied = E_ACCESSDENIED;
    container.configure = [denied](const std::wstring& cls, Fakes::FakeObject& o) {
        if (cls == L"attributeSchema") o.setInfoResult = denied;
    };
    std::string message;
    EXPECT_EQ(denied, Thrown(&message));
    EXPECT_EQ("Unable to commit new attribute to schema", message);
    EXPECT_EQ(0u, Count(CreateClass));
    EXPECT_EQ(0, container.outstanding());
}

TEST_F(ExtendSchema, ClassIsRetriedEvery5000msUntilTheDirectoryKnowsTheAttribute) {
    ClassCommitFails(NoAttributeOrValue, [](int attempt) { return attempt <= 2; });
    Run();
    EXPECT_EQ(3, classAttempts);
    EXPECT_EQ((std::vector<DWORD>{5000, 5000}), platform.pauses);
    // The attribute is not made again; each class attempt is a whole new object.
    EXPECT_EQ(1u, Count(CreateAttribute));
    EXPECT_EQ(3u, Count(L"Put mayContain VT_ARRAY|VT_VARIANT [VT_BSTR WexlorAdmin]"));
    EXPECT_EQ(0, container.outstanding());
}

TEST_F(ExtendSchema, RetryBudgetIs300000msInclusiveAcrossTheTickWrap) {
    // Start just before the 32-bit counter wraps. Failures are seen 5000 ms
    // later (before the wrap), exactly 300000 ms later (after it; still
    // retried) and 300001 ms later (thrown).
    const DWORD start = 0xFFFFFFFFu - 99999u;
    platform.ticks = {start, start + 5000u, start + 300000u, start + 300001u};
    ClassCommitFails(NoAttributeOrValue, [](int) { return true; });
    std::string message;
    EXPECT_EQ(NoAttributeOrValue, Thrown(&message));
    EXPECT_EQ("Unable to commit new class to schema", message);
    EXPECT_EQ(3, classAttempts);
    EXPECT_EQ((std::vector<DWORD>{5000, 5000}), platform.pauses);
    EXPECT_EQ(0, container.outstanding());
}

TEST_F(ExtendSchema, RetryBudgetIsMeasuredFromTheFirstClassAttempt) {
    // A clock that moves only while pausing: attempts at 0, 5000 ... 300000
    // are retried, the one at 305000 is not.
    platform.now = 0xFFFF0000u;
    ClassCommitFails(NoAttributeOrValue, [](int) { return true; });
    std::string message;
    EXPECT_EQ(NoAttributeOrValue, Thrown(&message));
    EXPECT_EQ(62, classAttempts);
    EXPECT_EQ(61u, platform.pauses.size());
    EXPECT_EQ(0, container.outstanding());
}

TEST_F(ExtendSchema, CancelDuringRetriesEndsAfterTheCurrentPause) {
    ClassCommitFails(NoAttributeOrValue, [](int) { return true; });
    platform.onPause = [&](int pause) {
        if (pause == 2) ::SetEvent(cancel.get());
    };
    EXPECT_NO_THROW(Run());
    EXPECT_EQ(2, classAttempts);
    EXPECT_EQ(2u, platform.pauses.size());
    EXPECT_EQ(L"Sleep 5000", log.back());
    EXPECT_EQ(0, container.outstanding());
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
        {"denied at commit", [&] { ClassCommitFails(E_ACCESSDENIED, [](int) { return true; }); },
         E_ACCESSDENIED, "Unable to commit new class to schema"},
        {"constraint at commit",
         [&] { ClassCommitFails(static_cast<HRESULT>(0x8007200B), [](int) { return true; }); },
         static_cast<HRESULT>(0x8007200B), "Unable to commit new class to schema"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.clear();
        platform.pauses.clear();
        container.createFailures.clear();
        container.configure = nullptr;
        c.arrange();
        std::string message;
        EXPECT_EQ(c.hr, Thrown(&message));
        EXPECT_EQ(c.message, message);
        EXPECT_EQ(1u, Count(CreateClass));
        EXPECT_TRUE(platform.pauses.empty());
    }
    EXPECT_EQ(0, container.outstanding());
}

}  // namespace
