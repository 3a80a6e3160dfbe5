// The domain controller stopped under the provider: a live session, a new
// bind and a pending commit all fail with the server-down code. The copy is
// started again afterwards for the tests that follow.
#include "tests/support/ProviderTest.h"

using namespace ProviderTest;

TEST(ProviderServerDown, EveryPathToTheStoppedServerFails) {
    REQUIRE_FOREST_SCRIPT();
    Scoped::ComPtr<IADs> users;
    ASSERT_EQ(S_OK, Bind(ServerlessPath(UsersDn), IID_IADs, users));
    Scoped::ComPtr<IADs> pending = CreateUnder(UsersDn, L"container", L"CN=" + UniqueName(L"NeverWritten"));
    ASSERT_TRUE(pending);

    TestSupport::ForestUpAgain upAgain;
    ASSERT_EQ(0, TestSupport::Forest("down"));
    // Each step fails with the server-down code and the provider's record of it.
    auto expectServerDown = [](const char* step, auto call) {
        SCOPED_TRACE(step);
        ::ADsSetLastError(0, L"", L"");
        EXPECT_EQ(HRESULT(0x8007203A), call());
        ProviderError(ERROR_DS_SERVER_DOWN);
    };

    // The session the objects share is gone.
    expectServerDown("GetInfo", [&] { return users->GetInfo(); });
    expectServerDown("SetInfo", [&] { return pending->SetInfo(); });
    Scoped::ComPtr<IADs> another;
    expectServerDown("bind on the live session", [&] { return Bind(ServerlessPath(BaseDn), IID_IADs, another); });

    // With every object released the next bind opens a new session, whose
    // connection is refused.
    users.Reset();
    pending.Reset();
    expectServerDown("new session", [&] { return Bind(L"LDAP://RootDSE", IID_IADs, another); });
    EXPECT_EQ(nullptr, another.Get());
}
