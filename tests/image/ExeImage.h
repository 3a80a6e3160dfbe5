// Access to the built schema-modify.exe for the tests that read it back: its
// path (given by the build in SCHEMA_MODIFY_EXE) and the image loaded as a
// data file, so none of its code runs. A stripped exe (a release) comes with
// its symbols in a separate file, named in SCHEMA_MODIFY_SYMBOLS.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ExeImage {

// The exe's path as Windows sees it; empty when the build did not say.
std::wstring Path();
// The separate symbols file's path; empty when the exe carries its own.
std::wstring SymbolsPath();

// The exe mapped for its resources only; freed on destruction.
class Resources {
public:
    Resources();
    ~Resources();
    Resources(const Resources&) = delete;
    Resources& operator=(const Resources&) = delete;

    HMODULE module() const { return m_module; }
    // The raw bytes of one resource in one language; empty when absent.
    std::vector<std::uint8_t> Find(LPCWSTR type, LPCWSTR name, WORD language) const;
    // The resource in whatever language it has (the first one found).
    std::vector<std::uint8_t> Find(LPCWSTR type, LPCWSTR name) const;

private:
    HMODULE m_module;
};

// Little-endian reads with bounds checks: a short resource fails the test
// that reads it instead of reading past the end.
class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& data, size_t offset = 0)
        : m_data(data), m_offset(offset) {}

    bool ok() const { return m_ok; }
    size_t offset() const { return m_offset; }
    void Seek(size_t offset) { m_offset = offset; }
    void AlignTo4() { m_offset = (m_offset + 3) & ~size_t{3}; }

    std::uint8_t U8();
    std::uint16_t U16();
    std::uint32_t U32();
    std::int16_t I16() { return static_cast<std::int16_t>(U16()); }
    // A NUL-terminated UTF-16 string.
    std::wstring WString();

private:
    bool Has(size_t count);

    const std::vector<std::uint8_t>& m_data;
    size_t m_offset;
    bool m_ok = true;
};

}  // namespace ExeImage
