// Without a reachable directory the program opens straight in its failure
// display; each way of closing it still ends the process with exit code 2.
#include "tests/program/Agent.h"
#include "tests/program/Program.h"
#include "tests/support/PeFile.h"

#include <cstdint>
#include <cstdio>

namespace ProgramTest {
namespace {

// Wine's own ADSI, outside any domain, cannot locate a DC for a serverless
// RootDSE: DNS_ERROR_RCODE_NAME_ERROR where a DNS server answers, and
// DNS_ERROR_RCODE_SERVER_FAILURE where none can be reached (the tests' own
// network namespace has loopback only).
const HRESULT kNoDcName = static_cast<HRESULT>(0x8007232B);
const HRESULT kNoDnsServer = static_cast<HRESULT>(0x8007232A);
// A DC that does not listen: ADSI's "server is not operational".
const HRESULT kServerDown = static_cast<HRESULT>(0x8007203A);

std::wstring NoMasterText(HRESULT hr) { return kNoMasterPrefix + SystemDescription(hr); }

// Where Windows keeps activeds.dll, and where the provider is installed.
std::wstring SystemAdsi() {
    wchar_t system[MAX_PATH];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system, n < MAX_PATH ? n : 0) + L"\\activeds.dll";
}

bool IsSystemAdsi(const std::wstring& path) {
    return CompareStringOrdinal(path.c_str(), -1, SystemAdsi().c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Takes activeds.dll out of system32 for the life of the object.
class SystemAdsiRemoved {
public:
    SystemAdsiRemoved() : m_moved(MoveFileExW(SystemAdsi().c_str(), Away().c_str(), MOVEFILE_REPLACE_EXISTING)) {}
    ~SystemAdsiRemoved() {
        if (m_moved) MoveFileExW(Away().c_str(), SystemAdsi().c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    SystemAdsiRemoved(const SystemAdsiRemoved&) = delete;
    SystemAdsiRemoved& operator=(const SystemAdsiRemoved&) = delete;
    bool moved() const { return m_moved; }

private:
    static std::wstring Away() { return SystemAdsi() + L".away"; }
    bool m_moved;
};

TEST(NoDirectory, WineBuiltinAdsiOpensInFailureDisplayAndExitButtonEndsIt) {
    Program program(Adsi::Builtin);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.WaitForWindow()) << "no dialog appeared";
    const std::wstring adsi = program.LoadedModule(L"activeds.dll");
    EXPECT_TRUE(IsSystemAdsi(adsi)) << Narrow(adsi);
    ASSERT_TRUE(program.IsWineBuiltin(L"activeds.dll")) << "the provider was loaded, not Wine's own ADSI";

    const HRESULT shown = program.Text(IDC_RESULT_TEXT) == NoMasterText(kNoDnsServer) ? kNoDnsServer : kNoDcName;
    ExpectFinal(program, NoMasterText(shown), IDB_FAILURE, "no-directory-builtin-adsi");
    EXPECT_TRUE(program.EndsWithCode2());
}

TEST(NoDirectory, ProviderAtStoppedDcOpensInFailureDisplayAndEscapeEndsIt) {
    ASSERT_TRUE(AgentDoes("forest-stop"));

    Program program(Adsi::Provider);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.WaitForWindow()) << "no dialog appeared";
    EXPECT_TRUE(IsSystemAdsi(program.LoadedModule(L"activeds.dll")));
    EXPECT_FALSE(program.IsWineBuiltin(L"activeds.dll")) << "Wine's own ADSI was loaded, not the provider";

    ExpectFinal(program, NoMasterText(kServerDown), IDB_FAILURE, "no-directory-stopped-dc");
    EXPECT_TRUE(program.EndsWithCode2(Ending::Escape));
}

// Without any activeds.dll to load, the program still opens, with the
// system's text for the load failure, and "&Exit" ends it as always.
TEST(NoDirectory, MissingAdsiLibraryOpensInFailureDisplayAndExitButtonEndsIt) {
    SystemAdsiRemoved removed;
    ASSERT_TRUE(removed.moved()) << "cannot move " << Narrow(SystemAdsi()) << ": " << GetLastError();
    Program program(Adsi::Provider);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.WaitForWindow()) << "no dialog appeared";
    EXPECT_EQ(L"", program.LoadedModule(L"activeds.dll"));
    ExpectFinal(program, NoMasterText(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)), IDB_FAILURE,
                "no-directory-no-adsi-library");
    EXPECT_TRUE(program.EndsWithCode2());
}

// The TLS callback gives the stack canary a value of its own at every start;
// without it the canary would stay 0, which a string copy writes most easily.
TEST(NoDirectory, EachStartGivesTheStackCanaryAValueOfItsOwn) {
    PeFile exe;
    ASSERT_EQ("", exe.Load(DriverDirectory() + L"\\schema-modify.exe"));
    const DWORD guard = exe.SymbolRva("__stack_chk_guard");
    ASSERT_NE(0u, guard) << "no __stack_chk_guard in the exe's symbols";
    std::uint64_t canary[2] = {};
    for (std::uint64_t& value : canary) {
        Program program(Adsi::Builtin);
        ASSERT_TRUE(program.WaitForWindow()) << "no dialog appeared";
        EXPECT_TRUE(program.ReadImage(guard, &value, sizeof value));
        EXPECT_TRUE(program.EndsWithCode2());
    }
    std::printf("the canary of two starts: %016llx, %016llx\n", static_cast<unsigned long long>(canary[0]),
                static_cast<unsigned long long>(canary[1]));
    EXPECT_NE(0u, canary[0]);
    EXPECT_NE(0u, canary[1]);
    EXPECT_NE(canary[0], canary[1]);
}

}  // namespace
}  // namespace ProgramTest
