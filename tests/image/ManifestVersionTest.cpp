// The manifest, the version record and string 128 read back from the built
// exe. The version numbers come from the project (SCHEMA_MODIFY_VERSION);
// everything else is written out here.
#include <gtest/gtest.h>

#include "ExeImage.h"

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#ifndef SCHEMA_MODIFY_VERSION
#error "the build passes the project version as SCHEMA_MODIFY_VERSION"
#endif

namespace {

const char kVersion[] = SCHEMA_MODIFY_VERSION;

// The start tag of the first element named tag at or after from, or empty.
std::string Element(const std::string& xml, const std::string& tag, size_t from = 0) {
    for (size_t at = xml.find("<" + tag, from); at != std::string::npos;
         at = xml.find("<" + tag, at + 1)) {
        char next = xml[at + 1 + tag.size()];
        if (next == ' ' || next == '>' || next == '/' || next == '\r' || next == '\n')
            return xml.substr(at, xml.find('>', at) - at + 1);
    }
    return {};
}

// The value of attribute name in a start tag; "<absent>" when it has none.
std::string Attribute(const std::string& element, const std::string& name) {
    size_t at = element.find(" " + name + "=\"");
    if (at == std::string::npos)
        return "<absent>";
    at += name.size() + 3;
    return element.substr(at, element.find('"', at) - at);
}

class Manifest : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<std::uint8_t> data = m_exe.Find(RT_MANIFEST, MAKEINTRESOURCEW(1));
        ASSERT_FALSE(data.empty()) << "no manifest resource 1";
        m_xml.assign(data.begin(), data.end());
    }
    ExeImage::Resources m_exe;
    std::string m_xml;
};

TEST_F(Manifest, IsTheOnlyOne) {
    int count = 0;
    ::EnumResourceNamesW(
        m_exe.module(), RT_MANIFEST,
        [](HMODULE, LPCWSTR, LPWSTR, LONG_PTR param) -> BOOL {
            ++*reinterpret_cast<int*>(param);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&count));
    // A second one (a toolchain's default manifest, say) would make the
    // loader's choice depend on resource order.
    EXPECT_EQ(count, 1);
}

TEST_F(Manifest, RequiresAdministratorWithoutUiAccess) {
    std::string level = Element(m_xml, "requestedExecutionLevel");
    ASSERT_FALSE(level.empty());
    EXPECT_EQ(Attribute(level, "level"), "requireAdministrator");
    EXPECT_EQ(Attribute(level, "uiAccess"), "false");
}

TEST_F(Manifest, NamesItsOwnAssemblyFirst) {
    std::string own = Element(m_xml, "assemblyIdentity");
    ASSERT_FALSE(own.empty());
    EXPECT_LT(m_xml.find(own), m_xml.find("<dependency")) << "own identity must precede the dependency";
    EXPECT_EQ(Attribute(own, "type"), "win32");
    EXPECT_EQ(Attribute(own, "processorArchitecture"), "amd64");
    EXPECT_EQ(Attribute(own, "version"), kVersion);
    std::string name = Attribute(own, "name");
    EXPECT_NE(name, "<absent>");
    EXPECT_EQ(name.find("Microsoft."), std::string::npos) << "a name of the product's own";
}

TEST_F(Manifest, DependsOnCommonControls6ForAmd64) {
    size_t dependency = m_xml.find("<dependentAssembly");
    ASSERT_NE(dependency, std::string::npos);
    std::string id = Element(m_xml, "assemblyIdentity", dependency);
    EXPECT_EQ(Attribute(id, "type"), "win32");
    EXPECT_EQ(Attribute(id, "name"), "Microsoft.Windows.Common-Controls");
    EXPECT_EQ(Attribute(id, "version"), "6.0.0.0");
    EXPECT_EQ(Attribute(id, "processorArchitecture"), "amd64");
    EXPECT_EQ(Attribute(id, "publicKeyToken"), "6595b64144ccf1df");
    EXPECT_EQ(Attribute(id, "language"), "*");
}

TEST_F(Manifest, IsLongPathAwareAndDeclaresNoDpiAwareness) {
    std::string element = Element(m_xml, "longPathAware");
    ASSERT_FALSE(element.empty());
    EXPECT_EQ(Attribute(element, "xmlns"), "http://schemas.microsoft.com/SMI/2016/WindowsSettings");
    size_t value = m_xml.find(element) + element.size();
    EXPECT_EQ(m_xml.compare(value, 4, "true"), 0);
    // The dialog is drawn in 96-DPI pixels and relies on system scaling.
    EXPECT_EQ(m_xml.find("<dpiAware"), std::string::npos);
    EXPECT_EQ(m_xml.find("dpiAwareness"), std::string::npos);
    EXPECT_EQ(m_xml.find("gdiScaling"), std::string::npos);
}

TEST_F(Manifest, SupportsVistaTo10) {
    const char* ids[] = {
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10
    };
    std::vector<std::string> found;
    for (size_t at = 0; !(Element(m_xml, "supportedOS", at)).empty();) {
        std::string os = Element(m_xml, "supportedOS", at);
        found.push_back(Attribute(os, "Id"));
        at = m_xml.find(os, at) + os.size();
    }
    EXPECT_EQ(found, std::vector<std::string>(std::begin(ids), std::end(ids)));
}

std::wstring Widen(const char* text) {
    return std::wstring(text, text + strlen(text));
}

class VersionRecord : public ::testing::Test {
protected:
    void SetUp() override {
        std::wstring path = ExeImage::Path();
        DWORD handle = 0;
        DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
        ASSERT_NE(size, 0u) << "no version record, error " << ::GetLastError();
        m_block.resize(size);
        ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, m_block.data()));
    }

    // A string of the record's US-English Unicode table; "<absent>" if none.
    std::wstring String(const wchar_t* name) {
        std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        void* value = nullptr;
        UINT length = 0;
        if (!::VerQueryValueW(m_block.data(), key.c_str(), &value, &length) || !value)
            return L"<absent>";
        return static_cast<const wchar_t*>(value);
    }

    std::vector<std::uint8_t> m_block;
};

TEST_F(VersionRecord, FixedPartIsAnApplicationFor32BitWindows) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(m_block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "no debug or pre-release flags";
    wchar_t text[64];
    swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
             LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
             LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(text, Widen(kVersion)) << "file version";
    swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(fixed->dwProductVersionMS),
             LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
             LOWORD(fixed->dwProductVersionLS));
    EXPECT_EQ(text, Widen(kVersion)) << "product version";
}

TEST_F(VersionRecord, StringsNameTheProgramAndRepeatTheVersions) {
    EXPECT_EQ(String(L"InternalName"), L"schema-modify");
    EXPECT_EQ(String(L"OriginalFilename"), L"schema-modify.exe");
    EXPECT_EQ(String(L"FileVersion"), Widen(kVersion));
    EXPECT_EQ(String(L"ProductVersion"), Widen(kVersion));
    for (const wchar_t* name : {L"CompanyName", L"ProductName", L"FileDescription",
                                L"LegalTrademarks", L"LegalCopyright", L"Comments"}) {
        std::wstring value = String(name);
        EXPECT_NE(value, L"<absent>") << "missing string";
        EXPECT_FALSE(value.empty());
    }
}

TEST_F(VersionRecord, TranslationIsUsEnglishUnicode) {
    struct Translation {
        WORD language, codePage;
    }* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(m_block.data(), L"\\VarFileInfo\\Translation",
                                 reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, sizeof(Translation));
    EXPECT_EQ(translation->language, 0x0409);
    EXPECT_EQ(translation->codePage, 1200);
}

TEST(StringTable, String128IsTheInternalName) {
    ExeImage::Resources exe;
    ASSERT_NE(exe.module(), nullptr);
    wchar_t text[64] = {};
    int length = ::LoadStringW(exe.module(), 128, text, 64);
    EXPECT_EQ(std::wstring(text, length > 0 ? length : 0), L"schema-modify");
}

}  // namespace
