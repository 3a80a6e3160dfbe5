// The domain controller stopped under the provider: a live session, a new
// bind and a pending commit all fail with the server-down code. The copy is
// started again afterwards for the tests that follow.
#include "tests/support/ProviderTest.h"

using namespace ProviderTest;

namespace {

const wchar_t UsersDn[] = L"CN=Users,DC=samdom,DC=test";
const HRESULT ServerDown = HRESULT(0x8007203A);

class ProviderServerDown : public ::testing::Test {
protected:
    void TearDown() override {
        if (!m_stopped) return;
        std::string output;
        EXPECT_EQ(0, RunUnix(TheForest().script + " up " + TheForest().runDir, &output)) << output;
    }
    void StopServer() {
        std::string output;
        ASSERT_EQ(0, RunUnix(TheForest().script + " down " + TheForest().runDir, &output)) << output;
        m_stopped = true;
    }

private:
    bool m_stopped = false;
};

void ExpectServerDownRecord(const char* step) {
    SCOPED_TRACE(step);
    ProviderError(ERROR_DS_SERVER_DOWN);
}

}  // namespace

TEST_F(ProviderServerDown, EveryPathToTheStoppedServerFails) {
    REQUIRE_FOREST_SCRIPT();
    Scoped::ComPtr<IADs> users;
    ASSERT_EQ(S_OK, Bind(ServerlessPath(UsersDn), IID_IADs, users));
    Scoped::ComPtr<IADs> pending = CreateUnder(UsersDn, L"container", L"CN=" + UniqueName(L"NeverWritten"));
    ASSERT_TRUE(pending);

    ASSERT_NO_FATAL_FAILURE(StopServer());

    // The session the objects share is gone.
    ::ADsSetLastError(0, L"", L"");
    EXPECT_EQ(ServerDown, users->GetInfo());
    ExpectServerDownRecord("GetInfo");
    ::ADsSetLastError(0, L"", L"");
    EXPECT_EQ(ServerDown, pending->SetInfo());
    ExpectServerDownRecord("SetInfo");
    Scoped::ComPtr<IADs> another;
    ::ADsSetLastError(0, L"", L"");
    EXPECT_EQ(ServerDown, Bind(ServerlessPath(BaseDn), IID_IADs, another));
    ExpectServerDownRecord("bind on the live session");

    // With every object released the next bind opens a new session, whose
    // connection is refused.
    users.Reset();
    pending.Reset();
    ::ADsSetLastError(0, L"", L"");
    EXPECT_EQ(ServerDown, Bind(L"LDAP://RootDSE", IID_IADs, another));
    ExpectServerDownRecord("new session");
    EXPECT_EQ(nullptr, another.Get());
}
