#include "ad/Errors.h"
#include "tests/support/Fakes.h"

#include <gtest/gtest.h>

#include <adserr.h>

#include <string>
#include <vector>

namespace {

TEST(CheckHResult, PassesSuccessAndThrowsFailure) {
    EXPECT_EQ(S_FALSE, AD::CheckHResult(S_FALSE, "x"));
    const Fakes::Thrown thrown = Fakes::Catch([] { AD::CheckHResult(E_FAIL, "Unable to do it"); });
    EXPECT_EQ(E_FAIL, thrown.hr);
    EXPECT_EQ("Unable to do it", thrown.message);
}

using Extended = Fakes::FakePlatform::ExtendedError;

struct Row {
    DWORD hr;
    std::vector<Extended> pending;  // what ADsGetLastError answers
    bool asksDirectory;             // whether ADsGetLastError is consulted
    std::wstring text;
};

const Extended Pending = {S_OK, 8202, L"00002035: no such attribute", L"LDAP Provider"};

// The text of `code` described with the extended error Pending.
std::wstring WithPending(const wchar_t* code) {
    return L"ADSI error occured (" + std::wstring(code) +
           L"),\r\nDescripton:`00002035: no such attribute',\r\nFrom:`LDAP Provider'";
}

const std::vector<Row> Rows = {
    {0x8000500E, {}, true, L"ADSI error occured E_ADS_OBJECT_EXISTS (0x8000500E)"},
    {0x80005011, {}, true, L"An unknown error occured (0x80005011)"},
    // 0x1392 has bit 0x1000: the directory branch, and the system's text
    // for ERROR_OBJECT_ALREADY_EXISTS is not used.
    {0x80071392, {}, true, L"An unknown error occured (0x80071392)"},
    {0x80004005, {Pending}, true, WithPending(L"0x80004005")},
    {0x80004005, {}, true, L"An unknown error occured (0x80004005)"},
    // The extended error is ignored for code 13, an empty text, or a failed query.
    {0x8000500D, {{S_OK, 13, L"not shown", L"LDAP Provider"}}, true,
     L"ADSI error occured E_ADS_PROPERTY_NOT_FOUND (0x8000500D)"},
    {0x8000500D, {{S_OK, 8202, L"", L"LDAP Provider"}}, true,
     L"ADSI error occured E_ADS_PROPERTY_NOT_FOUND (0x8000500D)"},
    {0x8000500D, {{E_FAIL, 8202, L"not shown", L"LDAP Provider"}}, true,
     L"ADSI error occured E_ADS_PROPERTY_NOT_FOUND (0x8000500D)"},
    // A pending extended error describes any later code of the directory branch.
    {0x80005000, {Pending}, true, WithPending(L"0x80005000")},
    // The system branch: Wine has no text for the directory's Win32 codes.
    {0x8007200A, {Pending}, false, L"An unknown error occured (0x8007200A)"},
    {0x8007000E, {Pending}, false, L"Out of memory.\r\n"},
    // Neither branch.
    {0x800401F0, {Pending}, false, L"An unknown error occured (0x800401F0)"},
    {0x8004D00A, {Pending}, true, WithPending(L"0x8004D00A")},
    {0x00000005, {}, false, L"An unknown error occured (0x5)"},
};

class DescribeHResult : public ::testing::Test {
protected:
    Fakes::Log log;
    Fakes::FakePlatform platform{log};
};

TEST_F(DescribeHResult, ChoosesBranchAndFormat) {
    for (const Row& row : Rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.hr);
        log.clear();
        platform.lastErrors.assign(row.pending.begin(), row.pending.end());
        EXPECT_EQ(row.text, AD::DescribeHResult(static_cast<HRESULT>(row.hr)));
        EXPECT_EQ(row.asksDirectory ? Fakes::Log{L"ADsGetLastError 512 512"} : Fakes::Log{}, log);
    }
}

TEST_F(DescribeHResult, SystemTextIsUsedWhole) {
    wchar_t* buffer = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                               ERROR_ACCESS_DENIED, 0x0800, reinterpret_cast<wchar_t*>(&buffer), 0,
                               nullptr);
    ASSERT_NE(0u, n);
    std::wstring system(buffer);
    ::LocalFree(buffer);
    EXPECT_EQ(system, AD::DescribeHResult(E_ACCESSDENIED));
    EXPECT_EQ(L"\r\n", system.substr(system.size() - 2));
}

// The names beside the numbers as the SDK's adserr.h defines them, not as
// the program's own table writes them out.
#define ADS_ERROR(name) std::make_pair(static_cast<DWORD>(name), std::wstring(L"" #name))

TEST_F(DescribeHResult, EveryTableCodeHasItsName) {
    const std::vector<std::pair<DWORD, std::wstring>> names = {
        ADS_ERROR(E_ADS_BAD_PATHNAME),           ADS_ERROR(E_ADS_INVALID_DOMAIN_OBJECT),
        ADS_ERROR(E_ADS_INVALID_USER_OBJECT),    ADS_ERROR(E_ADS_INVALID_COMPUTER_OBJECT),
        ADS_ERROR(E_ADS_UNKNOWN_OBJECT),         ADS_ERROR(E_ADS_PROPERTY_NOT_SET),
        ADS_ERROR(E_ADS_PROPERTY_NOT_SUPPORTED), ADS_ERROR(E_ADS_PROPERTY_INVALID),
        ADS_ERROR(E_ADS_BAD_PARAMETER),          ADS_ERROR(E_ADS_OBJECT_UNBOUND),
        ADS_ERROR(E_ADS_PROPERTY_NOT_MODIFIED),  ADS_ERROR(E_ADS_PROPERTY_MODIFIED),
        ADS_ERROR(E_ADS_CANT_CONVERT_DATATYPE),  ADS_ERROR(E_ADS_PROPERTY_NOT_FOUND),
        ADS_ERROR(E_ADS_OBJECT_EXISTS),          ADS_ERROR(E_ADS_SCHEMA_VIOLATION),
        ADS_ERROR(E_ADS_COLUMN_NOT_SET),         ADS_ERROR(E_ADS_INVALID_FILTER),
    };
    for (const auto& row : names) {
        wchar_t hex[16];
        std::swprintf(hex, 16, L"%lX", static_cast<unsigned long>(row.first));
        EXPECT_EQ(L"ADSI error occured " + row.second + L" (0x" + hex + L")",
                  AD::DescribeHResult(static_cast<HRESULT>(row.first)));
    }
    // Codes between and after the rows have no name.
    const std::vector<std::pair<DWORD, std::wstring>> gaps = {
        {0x80005011, L"80005011"}, {0x80005012, L"80005012"},
        {0x80005013, L"80005013"}, {0x80005015, L"80005015"},
    };
    for (const auto& gap : gaps)
        EXPECT_EQ(L"An unknown error occured (0x" + gap.second + L")",
                  AD::DescribeHResult(static_cast<HRESULT>(gap.first)));
}

TEST_F(DescribeHResult, ExtendedTextIsCutAtItsBuffer) {
    // Whether or not the platform terminates a text that fills its buffer.
    for (bool terminated : {true, false}) {
        SCOPED_TRACE(terminated);
        platform.lastErrors = {{S_OK, 8202, std::wstring(700, L'x'), std::wstring(600, L'p'),
                                terminated}};
        EXPECT_EQ(L"ADSI error occured (0x80004005),\r\nDescripton:`" + std::wstring(511, L'x') +
                      L"',\r\nFrom:`" + std::wstring(511, L'p') + L"'",
                  AD::DescribeHResult(static_cast<HRESULT>(0x80004005)));
    }
}

}  // namespace
