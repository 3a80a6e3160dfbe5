#include "ExeImage.h"

#include "base/Scoped.h"
#include "tests/support/Environment.h"
#include "tests/support/Text.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <vector>

namespace ExeImage {

std::wstring Path() {
    return TestSupport::WindowsPathFrom(L"SCHEMA_MODIFY_EXE");
}

std::wstring SymbolsPath() {
    return TestSupport::WindowsPathFrom(L"SCHEMA_MODIFY_SYMBOLS");
}

namespace {

using TestSupport::Printable;
using Bytes = std::vector<std::uint8_t>;
using Facts = std::map<std::string, std::string>;

const char kAbsent[] = "<absent>";

std::string Format(const char* format, ...) {
    va_list args, copy;
    va_start(args, format);
    va_copy(copy, args);
    std::string text(std::vsnprintf(nullptr, 0, format, copy), '\0');
    va_end(copy);
    std::vsnprintf(&text[0], text.size() + 1, format, args);
    va_end(args);
    return text;
}

std::string Join(const std::vector<std::string>& parts, const char* separator = " ") {
    std::string text;
    for (const auto& part : parts) text += (text.empty() ? "" : separator) + part;
    return text;
}

std::string Lookup(const Facts& facts, const std::string& what) {
    auto found = facts.find(what);
    return found == facts.end() ? kAbsent : found->second;
}

// The exe mapped as a data file, once for the process: its resources can be
// found and loaded, and none of its code runs.
HMODULE Module() {
    static HMODULE module = ::LoadLibraryExW(
        Path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    return module;
}

// A resource name as the table writes it: "#N" for a number.
LPCWSTR Id(const std::wstring& name) {
    if (name.size() > 1 && name[0] == L'#') return MAKEINTRESOURCEW(std::wcstoul(&name[1], nullptr, 10));
    return name.c_str();
}

std::string NameOf(LPCWSTR name) {
    if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name));
    return TestSupport::Narrow(name);
}

std::vector<std::string> Names(LPCWSTR type) {
    std::vector<std::string> names;
    ::EnumResourceNamesW(
        Module(), type,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR out) -> BOOL {
            reinterpret_cast<std::vector<std::string>*>(out)->push_back(NameOf(name));
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&names));
    return names;
}

std::vector<WORD> Languages(LPCWSTR type, LPCWSTR name) {
    std::vector<WORD> languages;
    ::EnumResourceLanguagesW(
        Module(), type, name,
        [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out) -> BOOL {
            reinterpret_cast<std::vector<WORD>*>(out)->push_back(language);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

// The resource in one language, or in the one the loader picks by default.
Bytes Find(LPCWSTR type, LPCWSTR name, int language = -1) {
    HRSRC found = language < 0 ? ::FindResourceW(Module(), name, type)
                               : ::FindResourceExW(Module(), type, name, static_cast<WORD>(language));
    const auto* data =
        found ? static_cast<const std::uint8_t*>(::LockResource(::LoadResource(Module(), found))) : nullptr;
    return data ? Bytes(data, data + ::SizeofResource(Module(), found)) : Bytes();
}

// Little-endian reads with bounds checks: past the end a read gives 0 and
// ok() turns false, so a short resource reads as absent, not as garbage.
class Reader {
public:
    explicit Reader(const Bytes& data) : m_data(data) {}

    bool ok() const { return m_ok; }
    size_t offset() const { return m_offset; }
    void Seek(size_t offset) { m_offset = std::min(offset, m_data.size()); }
    void Skip(size_t count) { m_offset += Has(count) ? count : 0; }

    std::uint32_t U8() { return Get(1); }
    std::uint32_t U16() { return Get(2); }
    std::uint32_t U32() { return Get(4); }
    std::wstring WString() {
        std::wstring text;
        for (wchar_t c = static_cast<wchar_t>(U16()); m_ok && c; c = static_cast<wchar_t>(U16()))
            text.push_back(c);
        return text;
    }

private:
    bool Has(size_t count) {
        m_ok = m_ok && m_data.size() - m_offset >= count;
        return m_ok;
    }
    std::uint32_t Get(size_t count) {
        std::uint32_t value = 0;
        for (size_t i = 0; Has(count) && i < count; ++i)
            value |= std::uint32_t{m_data[m_offset + i]} << (8 * i);
        Skip(count);
        return value;
    }

    const Bytes& m_data;
    size_t m_offset = 0;
    bool m_ok = true;
};

// x, y, width and height in a dialog template.
std::string Place(Reader& r) {
    std::int16_t x = r.U16(), y = r.U16(), cx = r.U16(), cy = r.U16();
    return Format("%d,%d %dx%d", x, y, cx, cy);
}

// A name-or-ordinal field of a dialog template: 0xFFFF then a number, else
// a string (0x0000 alone: an empty one).
std::string TemplateId(Reader& r) {
    size_t start = r.offset();
    if (r.U16() == 0xFFFF) return "#" + std::to_string(r.U16());
    r.Seek(start);
    return "\"" + Printable(r.WString()) + "\"";
}

// A template in the extended form. A control's fields at their defaults (no
// extended style, help id or creation data) are left out of its line.
Facts DialogFacts(int id) {
    Bytes data = Find(RT_DIALOG, MAKEINTRESOURCEW(id));
    Reader r(data);
    const std::string key = Format("dialog %d ", id);
    Facts f;
    f[key + "version"] = std::to_string(r.U16());
    f[key + "signature"] = Format("0x%x", r.U16());
    f[key + "help id"] = std::to_string(r.U32());
    f[key + "extended style"] = Format("0x%x", r.U32());
    f[key + "style"] = Format("0x%x", r.U32());
    unsigned count = r.U16();
    f[key + "controls"] = std::to_string(count);
    f[key + "place"] = Place(r);
    f[key + "menu"] = TemplateId(r);
    f[key + "class"] = TemplateId(r);
    f[key + "title"] = TemplateId(r);
    unsigned points = r.U16(), weight = r.U16(), italic = r.U8(), charset = r.U8();
    f[key + "font"] = Format("%u pt, weight %u, italic %u, charset %u, \"%s\"", points, weight, italic,
                             charset, Printable(r.WString()).c_str());
    if (!r.ok()) return {};
    std::vector<std::string> order;
    for (unsigned i = 0; i < count; ++i) {
        r.Seek((r.offset() + 3) & ~size_t{3});
        std::uint32_t help = r.U32(), exStyle = r.U32(), style = r.U32();
        std::string place = Place(r);
        std::uint32_t control = r.U32();
        std::string cls = TemplateId(r), text = TemplateId(r);
        std::uint32_t extra = r.U16();
        r.Skip(extra);
        if (!r.ok()) return f;  // cut short: this control, the later ones and the order stay absent
        std::string line = cls + " " + text + Format(" 0x%x", style);
        if (exStyle) line += Format(" ex 0x%x", exStyle);
        if (help) line += Format(" help %u", help);
        if (extra) line += Format(" data %u", extra);
        f[key + "control " + std::to_string(control)] = line + " at " + place;
        order.push_back(std::to_string(control));
    }
    f[key + "tab order"] = Join(order);
    size_t rest = data.size() - r.offset();
    f[key + "after the controls"] = rest <= 3 ? "padding" : std::to_string(rest) + " bytes";
    return f;
}

// The manifest flattened: each element's text and attributes under its path
// from the root, and an outline of the whole tree, which shows order and
// anything added. Comments and the XML declaration are skipped.
Facts ManifestFacts() {
    Bytes data = Find(RT_MANIFEST, MAKEINTRESOURCEW(1));
    std::string xml(data.begin(), data.end()), outline;
    std::vector<std::string> path;
    Facts f;
    auto add = [&](const std::string& key, const std::string& value) {
        std::string& values = f["manifest " + Join(path, "/") + key];
        values += (values.empty() ? "" : " ") + value;
    };
    for (size_t at = xml.find('<'), textStart = 0; at != std::string::npos; at = xml.find('<', at)) {
        bool comment = xml.compare(at, 4, "<!--") == 0;
        size_t end = comment ? xml.find("-->", at) : xml.find('>', at);
        if (end == std::string::npos) break;
        end += comment ? 2 : 0;
        std::string tag = xml.substr(at + 1, end - at - 1);
        std::string text = xml.substr(textStart, at - textStart);
        at = textStart = end + 1;
        if (comment || tag.empty() || tag[0] == '?') continue;
        if (tag[0] == '/') {
            if (path.empty()) break;
            text.erase(0, text.find_first_not_of(" \t\r\n"));
            text.erase(text.find_last_not_of(" \t\r\n") + 1);
            if (!text.empty()) add("", text);
            path.pop_back();
            if (outline.back() == '(') outline.pop_back();
            else outline += ')';
            continue;
        }
        bool leaf = tag.back() == '/';
        path.push_back(tag.substr(0, tag.find_first_of(" \t\r\n/")));
        outline += (outline.empty() || outline.back() == '(' ? "" : " ") + path.back() + (leaf ? "" : "(");
        for (size_t is = tag.find("=\""); is != std::string::npos; is = tag.find("=\"", is + 1)) {
            size_t name = tag.find_last_of(" \t\r\n", is) + 1, close = tag.find('"', is + 2);
            if (close == std::string::npos) break;
            add("@" + tag.substr(name, is - name), tag.substr(is + 2, close - is - 2));
            is = close;
        }
        if (leaf) path.pop_back();
    }
    f["manifest outline"] = outline;
    return f;
}

// The version record read as the shell reads it. Its strings are looked up
// in the table that its first translation names.
Facts VersionFacts() {
    Bytes block = Find(RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO));
    UINT length = 0;
    auto query = [&](const std::wstring& path) -> const void* {
        void* value = nullptr;
        return !block.empty() && ::VerQueryValueW(block.data(), path.c_str(), &value, &length) ? value : nullptr;
    };
    auto version = [](DWORD high, DWORD low) {
        return Format("%u.%u.%u.%u", HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low));
    };
    Facts f;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(L"\\"));
    if (fixed && length >= sizeof *fixed) {
        f["version signature"] = Format("0x%lx", fixed->dwSignature);
        f["version file type"] = std::to_string(fixed->dwFileType);
        f["version file os"] = Format("0x%lx", fixed->dwFileOS);
        f["version flags set"] = Format("0x%lx", fixed->dwFileFlags & fixed->dwFileFlagsMask);
        f["version file version"] = version(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
        f["version product version"] = version(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    }
    const auto* translation = static_cast<const WORD*>(query(L"\\VarFileInfo\\Translation"));
    if (!translation || length < 4) return f;
    std::vector<std::string> pairs, named;
    for (UINT i = 0; i + 1 < length / 2; i += 2)
        pairs.push_back(Format("%04x/%u", translation[i], translation[i + 1]));
    f["version translation"] = Join(pairs);
    std::wstring table = TestSupport::Widen(
        Format("\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]));
    for (const char* name : {"Comments", "CompanyName", "FileDescription", "FileVersion", "InternalName",
                             "LegalCopyright", "LegalTrademarks", "OriginalFilename", "PrivateBuild",
                             "ProductName", "ProductVersion", "SpecialBuild"}) {
        const auto* value = static_cast<const wchar_t*>(query(table + TestSupport::Widen(name)));
        if (!value) continue;
        f["version string " + std::string(name)] = Printable(value);
        if (*value) named.push_back(name);
    }
    f["version strings"] = Join(named);
    return f;
}

// The channel that outweighs both others by more than 60, if one does.
std::string Hue(long r, long g, long b) {
    if (r > g + 60 && r > b + 60) return "red";
    if (g > r + 60 && g > b + 60) return "green";
    if (b > r + 60 && b > g + 60) return "blue";
    return "none";
}

// A BITMAP resource: a BITMAPINFOHEADER, then (no palette at 24 bpp) rows
// of pixels, each padded to 4 bytes, bottom row first unless the height is
// negative. Areas are given with y counted from the top, as it is seen.
std::string Bitmap(const std::string& what) {
    int id = 0, used = 0;
    std::sscanf(what.c_str(), "%d%n", &id, &used);
    Bytes data = Find(RT_BITMAP, MAKEINTRESOURCEW(id));
    BITMAPINFOHEADER h{};
    if (data.size() < sizeof h) return kAbsent;
    std::memcpy(&h, data.data(), sizeof h);
    const long width = h.biWidth, height = std::labs(h.biHeight);
    const size_t rowBytes = (width * h.biBitCount / 8 + 3) & ~size_t{3};
    const bool complete = h.biSize == sizeof h && data.size() >= h.biSize + rowBytes * height;
    if (what.size() == static_cast<size_t>(used)) {
        std::string text = Format("%ldx%ld %s, %u bpp, %u plane", width, height,
                                  h.biHeight > 0 ? "bottom-up" : "top-down", h.biBitCount, h.biPlanes);
        text += h.biCompression == BI_RGB ? ", uncompressed" : Format(", compression %lu", h.biCompression);
        text += h.biClrUsed ? Format(", %lu palette colours", h.biClrUsed) : ", no palette";
        if (h.biSize != sizeof h) text += Format(", header of %lu bytes", h.biSize);
        return complete ? text : text + ", pixels cut short";
    }
    int x0 = 0, y0 = 0, w = 0, ht = 0, end = 0;
    std::sscanf(what.c_str() + used, " %d,%d %dx%d %n", &x0, &y0, &w, &ht, &end);
    if (!complete || h.biBitCount != 24 || end == 0 || x0 < 0 || y0 < 0 || w <= 0 || ht <= 0 ||
        x0 + w > width || y0 + ht > height)
        return kAbsent;
    const std::string feature = what.substr(used + end);
    long white = 0, sum[3] = {}, left = LONG_MAX, top = LONG_MAX, right = -1, bottom = -1;
    std::set<std::uint32_t> colours;
    for (long y = y0; y < y0 + ht; ++y)
        for (long x = x0; x < x0 + w; ++x) {
            const std::uint8_t* p = data.data() + h.biSize +
                                    (h.biHeight > 0 ? height - 1 - y : y) * rowBytes + x * 3;
            colours.insert(p[2] << 16 | p[1] << 8 | p[0]);
            for (int c = 0; c < 3; ++c) sum[c] += p[2 - c];
            if (p[0] == 255 && p[1] == 255 && p[2] == 255) {
                ++white;
                continue;
            }
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    const long pixels = long{w} * ht;
    if (feature == "white pixels") return std::to_string(white);
    if (feature == "colour pixels") return std::to_string(pixels - white);
    if (feature == "colours") return std::to_string(colours.size());
    if (feature == "hue") return Hue(sum[0] / pixels, sum[1] / pixels, sum[2] / pixels);
    if (feature == "colour box")
        return right < 0 ? "none" : Format("%ld,%ld %ldx%ld", left, top, right - left + 1, bottom - top + 1);
    return kAbsent;
}

// One image of an icon group as its own data describe it: a DIB of doubled
// height (colour, then mask), or a PNG, whose only fitting form is 8-bit
// RGBA (32 bpp). Appended: what of the group's entry, or of the length a
// DIB of that size needs, disagrees with it.
std::string IconImage(Reader& entry, WORD language) {
    std::uint32_t width = entry.U8(), height = entry.U8();
    entry.Skip(2);  // colour count, reserved
    std::uint32_t planes = entry.U16(), bpp = entry.U16(), bytes = entry.U32(), id = entry.U16();
    Bytes image = Find(RT_ICON, MAKEINTRESOURCEW(id), language);
    if (!entry.ok() || image.empty()) return "missing";
    static const std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const bool png = image.size() > 26 && std::equal(kPng, kPng + 8, image.begin());
    Reader r(image);
    std::uint32_t w, h, depth;
    size_t needed = image.size();
    if (png) {
        r.Seek(16);
        w = _byteswap_ulong(r.U32()), h = _byteswap_ulong(r.U32());
        std::uint32_t channelBits = r.U8(), colourType = r.U8();
        depth = colourType == 6 ? 4 * channelBits : 0;
    } else {
        std::uint32_t header = r.U32();
        w = r.U32(), h = r.U32() / 2;
        r.Skip(2);
        depth = r.U16();
        size_t palette = depth <= 8 ? (size_t{1} << depth) * 4 : 0;
        needed = header + palette + ((w * depth / 8 + 3) & ~3u) * h + (w + 31) / 32 * 4 * h;
    }
    std::string text = Format("%ux%u %ubpp%s", w, h, depth, png ? " png" : "");
    if (width != w % 256 || height != h % 256 || bpp != depth || planes != 1 || bytes != image.size())
        text += Format(" (entry: %u x %u, %u bpp, %u planes, %u bytes)", width, height, bpp, planes, bytes);
    if (!r.ok() || needed != image.size())
        text += Format(" (%zu bytes where that size needs %zu)", image.size(), needed);
    return text;
}

// A group in its first language, each image looked up in that language too.
std::string IconGroup(const std::wstring& name) {
    std::vector<WORD> languages = Languages(RT_GROUP_ICON, Id(name));
    if (languages.empty()) return kAbsent;
    Bytes group = Find(RT_GROUP_ICON, Id(name), languages[0]);
    Reader r(group);
    std::uint32_t reserved = r.U16(), type = r.U16(), count = r.U16();
    if (!r.ok() || reserved != 0 || type != 1) return "not an icon group";
    std::vector<std::string> images;
    for (std::uint32_t i = 0; i < count; ++i) images.push_back(IconImage(r, languages[0]));
    return Join(images, ", ");
}

// The icon that the loader picks from the group for a size, as a window's
// big or small icon asks for it.
std::string LoadedIcon(const std::wstring& name, int size) {
    HICON icon = static_cast<HICON>(
        ::LoadImageW(Module(), Id(name), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    // The icon's info holds copies of its bitmaps, which outlive it.
    ICONINFO info{};
    const bool read = icon && ::GetIconInfo(icon, &info);
    if (icon) ::DestroyIcon(icon);
    if (!read) return "not loaded";
    Scoped::GdiObject<HBITMAP> colour(info.hbmColor), mask(info.hbmMask);
    BITMAP bm{};
    ::GetObjectW(colour ? colour.get() : mask.get(), sizeof bm, &bm);
    return Format("%ldx%ld", bm.bmWidth, colour ? bm.bmHeight : bm.bmHeight / 2);
}

std::string Directory(const std::string& what) {
    const std::pair<const char*, LPCWSTR> kTypes[] = {
        {"dialog", RT_DIALOG}, {"bitmap", RT_BITMAP}, {"icon group", RT_GROUP_ICON}, {"manifest", RT_MANIFEST}};
    for (const auto& [typeName, type] : kTypes) {
        size_t n = std::strlen(typeName);
        if (what.compare(0, n, typeName) != 0) continue;
        if (what.size() == n) return Join(Names(type));
        std::wstring name = TestSupport::Widen(what.substr(n + 1));
        std::vector<std::string> languages;
        for (WORD language : Languages(type, Id(name))) languages.push_back(Format("%04x", language));
        return Join(languages);
    }
    return kAbsent;
}

}  // namespace

std::string Read(const std::string& what) {
    if (!Module()) return "the exe cannot be loaded as a data file";
    std::string rest;
    auto is = [&](const char* reader) {
        size_t n = std::strlen(reader);
        rest = what.compare(0, n, reader) == 0 ? what.substr(n) : std::string();
        return !rest.empty();
    };
    if (is("resources ")) return Directory(rest);
    if (is("dialog ")) return Lookup(DialogFacts(std::atoi(rest.c_str())), what);
    if (is("manifest ")) return Lookup(ManifestFacts(), what);
    if (is("version ")) return Lookup(VersionFacts(), what);
    if (is("bitmap ")) return Bitmap(rest);
    if (is("icon group ")) return IconGroup(TestSupport::Widen(rest));
    if (is("string ")) {
        wchar_t text[256];
        int length = ::LoadStringW(Module(), std::atoi(rest.c_str()), text, 256);
        return length > 0 ? Printable(std::wstring(text, length)) : kAbsent;
    }
    size_t at = what.find(" at ");
    if (is("icon ") && at != std::string::npos)
        return LoadedIcon(TestSupport::Widen(what.substr(5, at - 5)), std::atoi(what.c_str() + at + 4));
    return kAbsent;
}

}  // namespace ExeImage
