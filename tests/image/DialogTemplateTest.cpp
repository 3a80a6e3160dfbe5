// Dialog template 5 read back from the built exe, byte by byte: the header,
// the font and every control, in creation order, against the values below.
#include <gtest/gtest.h>

#include "ExeImage.h"

#include <ostream>
#include <string>
#include <vector>

namespace {

// A name-or-ordinal field of a dialog template.
struct TemplateId {
    bool ordinal = false;
    std::uint16_t number = 0;
    std::wstring text;

    static TemplateId Ordinal(std::uint16_t n) { return {true, n, {}}; }
    static TemplateId Text(const wchar_t* s) { return {false, 0, s}; }
    bool operator==(const TemplateId& o) const {
        return ordinal == o.ordinal && (ordinal ? number == o.number : text == o.text);
    }
};

std::ostream& operator<<(std::ostream& out, const TemplateId& id) {
    if (id.ordinal)
        return out << "#" << id.number;
    out << '"';
    for (wchar_t c : id.text)
        out << (c < 0x80 ? static_cast<char>(c) : '?');
    return out << '"';
}

// 0x0000: none (an empty text); 0xFFFF then a number: an ordinal; else a string.
TemplateId ReadId(ExeImage::Reader& r) {
    size_t start = r.offset();
    std::uint16_t first = r.U16();
    if (first == 0xFFFF)
        return TemplateId::Ordinal(r.U16());
    r.Seek(start);
    return TemplateId{false, 0, r.WString()};
}

struct Control {
    std::uint32_t helpId, exStyle, style;
    std::int16_t x, y, cx, cy;
    std::uint32_t id;
    TemplateId cls, text;
    std::uint16_t extraBytes;
};

const TemplateId kButton = TemplateId::Ordinal(0x0080);
const TemplateId kEdit = TemplateId::Ordinal(0x0081);
const TemplateId kStatic = TemplateId::Ordinal(0x0082);

const wchar_t kInstruction[] =
    L"Verify domain schema information below and click `Setup' button to extend AD schema.\n"
    L"Note: in order to modify AD schema you should be a member of 'Schema Admins' group.";

const Control kControls[] = {
    {0, 0, 0x58010000, 259, 191, 75, 14, 1003, kButton, TemplateId::Text(L"&Setup"), 0},
    {0, 0, 0x50010001, 338, 191, 50, 14, 2, kButton, TemplateId::Text(L"Cancel"), 0},
    {0, 0, 0x50020000, 65, 29, 323, 18, 1000, kStatic, TemplateId::Text(kInstruction), 0},
    {0, 0x20, 0x40020000, 95, 111, 205, 12, 1004, kStatic,
     TemplateId::Text(L"Extending schema please wait..."), 0},
    {0, 0, 0x40000000, 95, 127, 205, 10, 1005, TemplateId::Text(L"msctls_progress32"),
     TemplateId::Text(L""), 0},
    {0, 0, 0x50000027, 65, 50, 323, 128, 1007, kButton,
     TemplateId::Text(L"Domain schema FSMO details:"), 0},
    {0, 0, 0x50110804, 72, 60, 309, 112, 1006, kEdit, TemplateId::Text(L""), 0},
    {0, 0, 0x50020000, 65, 16, 323, 13, 1010, kStatic, TemplateId::Text(L"AD schema setup"), 0},
    {0, 0, 0x4000000E, 65, 80, 30, 30, 1011, kStatic, TemplateId::Ordinal(204), 0},
    {0, 0, 0x40020000, 95, 82, 235, 50, 1013, kStatic, TemplateId::Text(L""), 0},
};

class DialogTemplate : public ::testing::Test {
protected:
    void SetUp() override {
        m_data = m_exe.Find(RT_DIALOG, MAKEINTRESOURCEW(5));
        ASSERT_FALSE(m_data.empty()) << "no dialog 5 in " << m_exe.module();
    }

    ExeImage::Resources m_exe;
    std::vector<std::uint8_t> m_data;
};

TEST_F(DialogTemplate, HeaderIsTheExtendedFormWithTheGivenStyleSizeTitleAndFont) {
    ExeImage::Reader r(m_data);
    EXPECT_EQ(r.U16(), 1) << "dlgVer";
    EXPECT_EQ(r.U16(), 0xFFFF) << "signature";
    EXPECT_EQ(r.U32(), 0u) << "helpID";
    EXPECT_EQ(r.U32(), 0u) << "exStyle";
    std::uint32_t style = r.U32();
    EXPECT_EQ(style, 0x00C80040u);
    // Spelled out, as the window relies on them: caption and close box, no
    // resize frame, min/max boxes, centring or visibility of its own.
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | DS_SETFONT),
              static_cast<std::uint32_t>(WS_CAPTION | WS_SYSMENU | DS_SETFONT));
    EXPECT_EQ(style & (WS_VISIBLE | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_CENTER |
                       DS_MODALFRAME),
              0u);
    EXPECT_EQ(r.U16(), 10) << "cDlgItems";
    EXPECT_EQ(r.I16(), 0);
    EXPECT_EQ(r.I16(), 0);
    EXPECT_EQ(r.I16(), 395);
    EXPECT_EQ(r.I16(), 212);
    EXPECT_EQ(ReadId(r), TemplateId::Text(L"")) << "menu";
    EXPECT_EQ(ReadId(r), TemplateId::Text(L"")) << "window class";
    EXPECT_EQ(ReadId(r), TemplateId::Text(L"Wexlor Enterprise AD schema setup")) << "title";
    EXPECT_EQ(r.U16(), 8) << "point size";
    EXPECT_EQ(r.U16(), 0) << "weight";
    EXPECT_EQ(r.U8(), 0) << "italic";
    EXPECT_EQ(r.U8(), 0) << "character set";
    EXPECT_EQ(r.WString(), L"MS Sans Serif");
    EXPECT_TRUE(r.ok()) << "template shorter than its header";
}

TEST_F(DialogTemplate, ControlsComeInTabOrderWithTheirIdsClassesTextsStylesAndPlaces) {
    ExeImage::Reader r(m_data);
    r.Seek(26);
    for (int i = 0; i < 3; ++i)
        ReadId(r);
    r.Seek(r.offset() + 6);
    r.WString();
    for (const Control& want : kControls) {
        SCOPED_TRACE("control " + std::to_string(want.id));
        r.AlignTo4();
        Control got{};
        got.helpId = r.U32();
        got.exStyle = r.U32();
        got.style = r.U32();
        got.x = r.I16();
        got.y = r.I16();
        got.cx = r.I16();
        got.cy = r.I16();
        got.id = r.U32();
        got.cls = ReadId(r);
        got.text = ReadId(r);
        got.extraBytes = r.U16();
        r.Seek(r.offset() + got.extraBytes);
        ASSERT_TRUE(r.ok()) << "template ends inside this control";
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.cls, want.cls);
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.style, want.style) << std::hex << got.style;
        EXPECT_EQ(got.exStyle, want.exStyle);
        EXPECT_EQ(got.helpId, want.helpId);
        EXPECT_EQ(got.extraBytes, want.extraBytes) << "creation data";
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
    }
    // Nothing but alignment padding after the tenth control.
    EXPECT_LE(m_data.size() - r.offset(), 3u);
}

// One language only: the dialog manager picks a template by the thread's
// UI language, and a second copy could differ from the one checked above.
TEST_F(DialogTemplate, IsUsEnglishOnly) {
    EXPECT_EQ(m_exe.Find(RT_DIALOG, MAKEINTRESOURCEW(5),
                         MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
              m_data);
    int languages = 0;
    ::EnumResourceLanguagesW(
        m_exe.module(), RT_DIALOG, MAKEINTRESOURCEW(5),
        [](HMODULE, LPCWSTR, LPCWSTR, WORD, LONG_PTR count) -> BOOL {
            ++*reinterpret_cast<int*>(count);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, 1);
}

}  // namespace
