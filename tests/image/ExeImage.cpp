#include "ExeImage.h"

#include "tests/support/Environment.h"

#include <cstdlib>

namespace ExeImage {

std::wstring Path() {
    return TestSupport::WindowsPathFrom(L"SCHEMA_MODIFY_EXE");
}

std::wstring SymbolsPath() {
    return TestSupport::WindowsPathFrom(L"SCHEMA_MODIFY_SYMBOLS");
}

Resources::Resources()
    : m_module(::LoadLibraryExW(Path().c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}

Resources::~Resources() {
    if (m_module)
        ::FreeLibrary(m_module);
}

static std::vector<std::uint8_t> Bytes(HMODULE module, HRSRC found) {
    if (!found)
        return {};
    HGLOBAL loaded = ::LoadResource(module, found);
    const auto* bytes = static_cast<const std::uint8_t*>(::LockResource(loaded));
    if (!bytes)
        return {};
    return std::vector<std::uint8_t>(bytes, bytes + ::SizeofResource(module, found));
}

std::vector<std::uint8_t> Resources::Find(LPCWSTR type, LPCWSTR name, WORD language) const {
    if (!m_module)
        return {};
    return Bytes(m_module, ::FindResourceExW(m_module, type, name, language));
}

std::vector<std::uint8_t> Resources::Find(LPCWSTR type, LPCWSTR name) const {
    if (!m_module)
        return {};
    return Bytes(m_module, ::FindResourceW(m_module, name, type));
}

bool Reader::Has(size_t count) {
    if (!m_ok || m_offset > m_data.size() || m_data.size() - m_offset < count)
        m_ok = false;
    return m_ok;
}

std::uint8_t Reader::U8() {
    if (!Has(1))
        return 0;
    return m_data[m_offset++];
}

std::uint16_t Reader::U16() {
    std::uint16_t low = U8();
    return static_cast<std::uint16_t>(low | (U8() << 8));
}

std::uint32_t Reader::U32() {
    std::uint32_t low = U16();
    return low | (static_cast<std::uint32_t>(U16()) << 16);
}

std::wstring Reader::WString() {
    std::wstring text;
    for (;;) {
        std::uint16_t c = U16();
        if (!m_ok || c == 0)
            return text;
        text.push_back(static_cast<wchar_t>(c));
    }
}

}  // namespace ExeImage
