// The resources of the built exe read back, one case per group of values:
// each row names a value (ExeImage::Read) and what the program must carry
// there; "> N" takes any count above N. The version numbers come from the
// project (SCHEMA_MODIFY_VERSION); everything else is written out here.
#include <gtest/gtest.h>

#include "ExeImage.h"

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#ifndef SCHEMA_MODIFY_VERSION
#error "the build passes the project version as SCHEMA_MODIFY_VERSION"
#endif

namespace {

const std::string kVersion = SCHEMA_MODIFY_VERSION;

struct Row {
    std::string what, expected;
};

struct Case {
    const char* name;
    std::vector<Row> rows;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

// The whole tree, in order: the assembly's own identity comes first, and no
// DPI setting appears anywhere (the dialog is drawn in 96-DPI pixels and
// relies on system scaling).
const std::string kManifestOutline =
    "assembly(assemblyIdentity description dependency(dependentAssembly(assemblyIdentity)) "
    "trustInfo(security(requestedPrivileges(requestedExecutionLevel))) "
    "compatibility(application(supportedOS supportedOS supportedOS supportedOS supportedOS)) "
    "application(windowsSettings(longPathAware)))";

const std::string kOwnIdentity = "manifest assembly/assemblyIdentity@";
const std::string kCommonControls = "manifest assembly/dependency/dependentAssembly/assemblyIdentity@";
const std::string kSettings = "manifest assembly/application/windowsSettings/";

// Each group: 48, 32 and 16 px at 8 bpp, then 256 (a PNG), 48, 32 and 16 px
// at 32 bpp.
const std::string kIconImages =
    "48x48 8bpp, 32x32 8bpp, 16x16 8bpp, 256x256 32bpp png, 48x48 32bpp, 32x32 32bpp, 16x16 32bpp";

const Case kCases[] = {
    // The extended form. Style: WS_CAPTION | WS_SYSMENU | DS_SETFONT, so a
    // caption and close box, and no resize frame, minimise or maximise box,
    // centring or visibility of its own.
    {"DialogHeader",
     {{"dialog 5 version", "1"},
      {"dialog 5 signature", "0xffff"},
      {"dialog 5 help id", "0"},
      {"dialog 5 extended style", "0x0"},
      {"dialog 5 style", "0xc80040"},
      {"dialog 5 controls", "10"},
      {"dialog 5 place", "0,0 395x212"},
      {"dialog 5 menu", R"("")"},
      {"dialog 5 class", R"("")"},
      {"dialog 5 title", R"("Wexlor Enterprise AD schema setup")"},
      {"dialog 5 font", R"(8 pt, weight 0, italic 0, charset 0, "MS Sans Serif")"}}},
    // Class (#128 button, #129 edit, #130 static), text, style, any other
    // field that is set, place and size.
    {"DialogControlsInTabOrder",
     {{"dialog 5 tab order", "1003 2 1000 1004 1005 1007 1006 1010 1011 1013"},
      {"dialog 5 control 1003", R"(#128 "&Setup" 0x58010000 at 259,191 75x14)"},
      {"dialog 5 control 2", R"(#128 "Cancel" 0x50010001 at 338,191 50x14)"},
      {"dialog 5 control 1000",
       R"(#130 "Verify domain schema information below and click `Setup' button to extend AD schema.)"
       R"(\nNote: in order to modify AD schema you should be a member of 'Schema Admins' group.")"
       R"( 0x50020000 at 65,29 323x18)"},
      {"dialog 5 control 1004", R"(#130 "Extending schema please wait..." 0x40020000 ex 0x20 at 95,111 205x12)"},
      {"dialog 5 control 1005", R"("msctls_progress32" "" 0x40000000 at 95,127 205x10)"},
      {"dialog 5 control 1007", R"(#128 "Domain schema FSMO details:" 0x50000027 at 65,50 323x128)"},
      {"dialog 5 control 1006", R"(#129 "" 0x50110804 at 72,60 309x112)"},
      {"dialog 5 control 1010", R"(#130 "AD schema setup" 0x50020000 at 65,16 323x13)"},
      {"dialog 5 control 1011", R"(#130 #204 0x4000000e at 65,80 30x30)"},
      {"dialog 5 control 1013", R"(#130 "" 0x40020000 at 95,82 235x50)"},
      {"dialog 5 after the controls", "padding"}}},
    // The dialog manager picks a template by the thread's UI language: a
    // second copy could differ from the one checked above.
    {"DialogUsEnglishOnly", {{"resources dialog", "#5"}, {"resources dialog #5", "0409"}}},

    // A second manifest (a toolchain's default, say) would make the loader's
    // choice depend on resource order.
    {"ManifestOnlyOne", {{"resources manifest", "#1"}}},
    {"ManifestRequiresAdministrator",
     {{"manifest assembly/trustInfo/security/requestedPrivileges/requestedExecutionLevel@level",
       "requireAdministrator"},
      {"manifest assembly/trustInfo/security/requestedPrivileges/requestedExecutionLevel@uiAccess",
       "false"}}},
    {"ManifestOwnAssemblyFirst",
     {{"manifest outline", kManifestOutline},
      {kOwnIdentity + "type", "win32"},
      {kOwnIdentity + "name", "Wexlor.Enterprise.SchemaModify"},
      {kOwnIdentity + "version", kVersion},
      {kOwnIdentity + "processorArchitecture", "amd64"}}},
    {"ManifestCommonControls6",
     {{kCommonControls + "type", "win32"},
      {kCommonControls + "name", "Microsoft.Windows.Common-Controls"},
      {kCommonControls + "version", "6.0.0.0"},
      {kCommonControls + "processorArchitecture", "amd64"},
      {kCommonControls + "publicKeyToken", "6595b64144ccf1df"},
      {kCommonControls + "language", "*"}}},
    {"ManifestLongPathsAndNoDpiAwareness",
     {{kSettings + "longPathAware", "true"},
      {kSettings + "longPathAware@xmlns", "http://schemas.microsoft.com/SMI/2016/WindowsSettings"},
      {"manifest outline", kManifestOutline}}},
    {"ManifestVistaTo10",
     {{"manifest assembly/compatibility/application/supportedOS@Id",
       "{e2011457-1546-43c5-a5fe-008deee3d3f0} "  // Vista
       "{35138b9a-5d96-4fbd-8e2d-a2440225f93a} "  // 7
       "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38} "  // 8
       "{1f676c76-80e1-4239-95bb-83d0f6d0da78} "  // 8.1
       "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}}},  // 10

    // An application (VFT_APP) for 32-bit Windows (VOS__WINDOWS32), no
    // debug or pre-release flags.
    {"VersionFixedPart",
     {{"version signature", "0xfeef04bd"},
      {"version file type", "1"},
      {"version file os", "0x4"},
      {"version flags set", "0x0"},
      {"version file version", kVersion},
      {"version product version", kVersion}}},
    // The company, product, description, trademark, copyright and comment
    // texts are the product's own: they only have to be there.
    {"VersionStrings",
     {{"version string InternalName", "schema-modify"},
      {"version string OriginalFilename", "schema-modify.exe"},
      {"version string FileVersion", kVersion},
      {"version string ProductVersion", kVersion},
      {"version strings", "Comments CompanyName FileDescription FileVersion InternalName LegalCopyright "
                          "LegalTrademarks OriginalFilename ProductName ProductVersion"}}},
    {"VersionTranslationUsEnglishUnicode", {{"version translation", "0409/1200"}}},
    {"String128IsTheInternalName", {{"string 128", "schema-modify"}}},

    {"BitmapFormats",
     {{"resources bitmap", "#201 #203 #204"},
      {"bitmap 201", "593x345 bottom-up, 24 bpp, 1 plane, uncompressed, no palette"},
      {"bitmap 203", "36x36 bottom-up, 24 bpp, 1 plane, uncompressed, no palette"},
      {"bitmap 204", "36x36 bottom-up, 24 bpp, 1 plane, uncompressed, no palette"}}},
    // A white field with nothing on it but the 48 x 48 emblem, mostly drawn;
    // a band from row 298 down, one colour where the buttons sit.
    {"BannerLayout",
     {{"bitmap 201 0,0 593x298 colour box", "35,24 48x48"},
      {"bitmap 201 35,24 48x48 colour pixels", "> 1152"},
      {"bitmap 201 0,298 593x47 white pixels", "0"},
      {"bitmap 201 0,300 593x45 colours", "1"}}},
    // A green disc for success and a red one for failure on white corners,
    // each with a white mark in its middle.
    {"StatusPictures",
     {{"bitmap 203 0,0 36x36 colour box", "1,1 34x34"},
      {"bitmap 203 18,4 1x1 hue", "green"},
      {"bitmap 203 8,8 20x20 white pixels", "> 20"},
      {"bitmap 204 0,0 36x36 colour box", "1,1 34x34"},
      {"bitmap 204 18,4 1x1 hue", "red"},
      {"bitmap 204 8,8 20x20 white pixels", "> 20"}}},

    // A named group sorts before the numbered ones: the shell shows the first.
    {"IconGroupsTheShellsFirst", {{"resources icon group", "IDI_DEFAULTICON #128"}}},
    {"IconGroup128EnglishWithSevenImages",
     {{"resources icon group #128", "0409"}, {"icon group #128", kIconImages}}},
    {"IconDefaultNeutralWithTheSameImages",
     {{"resources icon group IDI_DEFAULTICON", "0000"}, {"icon group IDI_DEFAULTICON", kIconImages}}},
    // The program asks for the system's sizes, as the window's small and big icons.
    {"IconLoadsAtTheWindowSizes", {{"icon #128 at 16", "16x16"}, {"icon #128 at 32", "32x32"}}},
};

class Resource : public ::testing::TestWithParam<Case> {};

TEST_P(Resource, ReadsBackAsWritten) {
    for (const Row& row : GetParam().rows) {
        std::string got = ExeImage::Read(row.what);
        if (row.expected.compare(0, 2, "> ") == 0)
            EXPECT_GT(std::atol(got.c_str()), std::atol(row.expected.c_str() + 2)) << row.what << ": " << got;
        else
            EXPECT_EQ(got, row.expected) << row.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Exe, Resource, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
