// The bitmaps and icon groups read back from the built exe: formats, sizes,
// order and languages, and enough of the pictures' layout to catch a
// drawing that no longer matches the dialog.
#include <gtest/gtest.h>

#include "ExeImage.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

namespace {

const WORD kEnglishUS = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

struct Rgb {
    int r, g, b;
    bool white() const { return r == 255 && g == 255 && b == 255; }
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// A BITMAP resource: a BITMAPINFOHEADER, then (no palette at 24 bpp) rows of
// pixels, bottom row first, each padded to 4 bytes.
class Dib {
public:
    explicit Dib(std::vector<std::uint8_t> data) : m_data(std::move(data)) {
        if (m_data.size() >= sizeof(BITMAPINFOHEADER))
            m_header = *reinterpret_cast<const BITMAPINFOHEADER*>(m_data.data());
    }
    const BITMAPINFOHEADER& header() const { return m_header; }
    size_t rowBytes() const { return ((m_header.biWidth * 3) + 3) & ~3u; }
    bool complete() const {
        return m_header.biSize == sizeof(BITMAPINFOHEADER) &&
               m_data.size() >= m_header.biSize + rowBytes() * std::abs(m_header.biHeight);
    }
    // (x, y) with y counted from the top, as the picture is seen.
    Rgb At(int x, int y) const {
        size_t row = static_cast<size_t>(m_header.biHeight - 1 - y);
        const std::uint8_t* p = m_data.data() + m_header.biSize + row * rowBytes() + x * 3;
        return {p[2], p[1], p[0]};
    }

private:
    std::vector<std::uint8_t> m_data;
    BITMAPINFOHEADER m_header{};
};

Dib LoadDib(const ExeImage::Resources& exe, int id) {
    return Dib(exe.Find(RT_BITMAP, MAKEINTRESOURCEW(id)));
}

void ExpectUncompressed24(const Dib& dib, int width, int height) {
    const auto& h = dib.header();
    EXPECT_EQ(h.biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(h.biWidth, width);
    // Positive: stored bottom-up.
    EXPECT_EQ(h.biHeight, height);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(h.biClrUsed, 0u) << "no palette";
    EXPECT_TRUE(dib.complete()) << "pixel data shorter than the header says";
}

TEST(Bitmaps, AreUncompressedBottomUp24BppAtTheirSizes) {
    ExeImage::Resources exe;
    for (int id : {201, 203, 204}) {
        SCOPED_TRACE("bitmap " + std::to_string(id));
        Dib dib = LoadDib(exe, id);
        ExpectUncompressed24(dib, id == 201 ? 593 : 36, id == 201 ? 345 : 36);
    }
}

// White field, the 48 x 48 emblem at (35, 24) and nothing else above the
// band, and a solid band over rows 298 to 344 behind the buttons.
TEST(Bitmaps, BannerHasItsWhiteFieldEmblemAndBand) {
    ExeImage::Resources exe;
    Dib banner = LoadDib(exe, 201);
    ASSERT_TRUE(banner.complete());
    int emblemPixels = 0;
    for (int y = 0; y < 298; ++y)
        for (int x = 0; x < 593; ++x) {
            bool inEmblem = x >= 35 && x < 83 && y >= 24 && y < 72;
            if (inEmblem)
                emblemPixels += !banner.At(x, y).white();
            else if (!banner.At(x, y).white())
                FAIL() << "colour outside the emblem at " << x << "," << y;
        }
    EXPECT_GT(emblemPixels, 48 * 48 / 2) << "emblem mostly missing";
    Rgb band = banner.At(0, 320);
    EXPECT_FALSE(band.white());
    // The buttons sit on rows 310 to 333: one colour right across there.
    for (int y = 300; y < 345; ++y)
        for (int x = 0; x < 593; x += 4)
            ASSERT_EQ(banner.At(x, y), band) << x << "," << y;
    for (int x = 0; x < 593; ++x)
        ASSERT_FALSE(banner.At(x, 298).white()) << "band does not start at row 298, x " << x;
}

// White ground; a green disc for success and a red one for failure, each
// with a white mark through its centre.
TEST(Bitmaps, StatusPicturesAreMarksInDiscsOnWhite) {
    ExeImage::Resources exe;
    for (int id : {203, 204}) {
        SCOPED_TRACE("bitmap " + std::to_string(id));
        Dib dib = LoadDib(exe, id);
        ASSERT_TRUE(dib.complete());
        const int corners[4][2] = {{0, 0}, {35, 0}, {0, 35}, {35, 35}};
        for (const auto& corner : corners)
            EXPECT_TRUE(dib.At(corner[0], corner[1]).white()) << corner[0] << "," << corner[1];
        Rgb disc = dib.At(18, 4);
        if (id == 203)
            EXPECT_GT(disc.g, disc.r + 60);
        else
            EXPECT_GT(disc.r, disc.g + 60);
        int marked = 0;
        for (int y = 8; y < 28; ++y)
            for (int x = 8; x < 28; ++x)
                marked += dib.At(x, y).white();
        EXPECT_GT(marked, 20) << "no white mark inside the disc";
    }
    // The two must be told apart.
    EXPECT_NE(exe.Find(RT_BITMAP, MAKEINTRESOURCEW(203)), exe.Find(RT_BITMAP, MAKEINTRESOURCEW(204)));
}

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

struct IconWant {
    int size, bpp;
};
const IconWant kIcons[] = {{48, 8}, {32, 8}, {16, 8}, {256, 32}, {48, 32}, {32, 32}, {16, 32}};

std::vector<GroupEntry> ReadGroup(const std::vector<std::uint8_t>& data) {
    std::vector<GroupEntry> entries;
    ExeImage::Reader r(data);
    EXPECT_EQ(r.U16(), 0) << "reserved";
    EXPECT_EQ(r.U16(), 1) << "type icon";
    std::uint16_t count = r.U16();
    if (!r.ok() || data.size() < 6 + count * sizeof(GroupEntry))
        return entries;
    const auto* first = reinterpret_cast<const GroupEntry*>(data.data() + 6);
    entries.assign(first, first + count);
    return entries;
}

// One image of a group: a DIB with doubled height (colour then mask), or a
// PNG for the 256-px one; the size and depth must be what the entry says.
void ExpectIconImage(const ExeImage::Resources& exe, const GroupEntry& entry, const IconWant& want,
                     WORD language) {
    std::vector<std::uint8_t> image =
        exe.Find(RT_ICON, MAKEINTRESOURCEW(entry.id), language);
    ASSERT_FALSE(image.empty()) << "icon image " << entry.id << " missing in its group's language";
    EXPECT_EQ(entry.bytesInRes, image.size());
    static const std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (image.size() > 24 && std::equal(kPng, kPng + 8, image.begin())) {
        ExeImage::Reader r(image, 16);
        std::uint32_t w = r.U32(), h = r.U32();
        w = _byteswap_ulong(w);
        h = _byteswap_ulong(h);
        EXPECT_EQ(w, static_cast<std::uint32_t>(want.size));
        EXPECT_EQ(h, static_cast<std::uint32_t>(want.size));
        EXPECT_EQ(image[24], 8) << "bits per channel";
        EXPECT_EQ(image[25], 6) << "colour type RGBA";
        return;
    }
    ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
    const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
    EXPECT_EQ(h->biWidth, want.size);
    EXPECT_EQ(h->biHeight, 2 * want.size);
    EXPECT_EQ(h->biBitCount, want.bpp);
    size_t palette = want.bpp == 8 ? 256 * 4 : 0;
    size_t colour = ((want.size * want.bpp / 8 + 3) & ~3) * want.size;
    size_t mask = ((want.size + 31) / 32) * 4 * want.size;
    EXPECT_EQ(image.size(), h->biSize + palette + colour + mask);
}

void ExpectGroup(const ExeImage::Resources& exe, LPCWSTR name, WORD language) {
    std::vector<std::uint8_t> group = exe.Find(RT_GROUP_ICON, name, language);
    ASSERT_FALSE(group.empty()) << "group missing in its language";
    std::vector<GroupEntry> entries = ReadGroup(group);
    ASSERT_EQ(entries.size(), std::size(kIcons));
    for (size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE("image " + std::to_string(i));
        EXPECT_EQ(entries[i].width, kIcons[i].size % 256);
        EXPECT_EQ(entries[i].height, kIcons[i].size % 256);
        EXPECT_EQ(entries[i].bitCount, kIcons[i].bpp);
        EXPECT_EQ(entries[i].planes, 1);
        ExpectIconImage(exe, entries[i], kIcons[i], language);
    }
}

std::vector<std::wstring> GroupNames(HMODULE module) {
    std::vector<std::wstring> names;
    ::EnumResourceNamesW(
        module, RT_GROUP_ICON,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
            auto* out = reinterpret_cast<std::vector<std::wstring>*>(param);
            out->push_back(IS_INTRESOURCE(name)
                               ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name))
                               : std::wstring(name));
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&names));
    return names;
}

int LanguageCount(HMODULE module, LPCWSTR type, LPCWSTR name) {
    int count = 0;
    ::EnumResourceLanguagesW(
        module, type, name,
        [](HMODULE, LPCWSTR, LPCWSTR, WORD, LONG_PTR param) -> BOOL {
            ++*reinterpret_cast<int*>(param);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&count));
    return count;
}

TEST(Icons, TheShellsGroupComesFirstThenTheWindowsGroup) {
    ExeImage::Resources exe;
    ASSERT_NE(exe.module(), nullptr);
    std::vector<std::wstring> names = GroupNames(exe.module());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], L"IDI_DEFAULTICON");
    EXPECT_EQ(names[1], L"#128");
}

TEST(Icons, Group128IsEnglishWithTheSevenImagesInOrder) {
    ExeImage::Resources exe;
    ExpectGroup(exe, MAKEINTRESOURCEW(128), kEnglishUS);
    EXPECT_EQ(LanguageCount(exe.module(), RT_GROUP_ICON, MAKEINTRESOURCEW(128)), 1);
}

TEST(Icons, DefaultIconIsNeutralWithTheSameSevenImages) {
    ExeImage::Resources exe;
    ExpectGroup(exe, L"IDI_DEFAULTICON", kNeutral);
    EXPECT_EQ(LanguageCount(exe.module(), RT_GROUP_ICON, L"IDI_DEFAULTICON"), 1);
}

// The program asks for the system's icon sizes; each must come out at that
// size from the group, as the window's big and small icons.
TEST(Icons, LoadAtTheWindowIconSizes) {
    ExeImage::Resources exe;
    for (int size : {16, 32}) {
        HICON icon = static_cast<HICON>(
            ::LoadImageW(exe.module(), MAKEINTRESOURCEW(128), IMAGE_ICON, size, size,
                         LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        BITMAP bm{};
        ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, size);
        if (info.hbmColor)
            ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DestroyIcon(icon);
    }
}

}  // namespace
