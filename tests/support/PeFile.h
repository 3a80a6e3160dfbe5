// A PE64 file read whole, without loading it: its headers, its sections and
// the COFF symbol table that the linker leaves in an unstripped image. A
// stripped release keeps that table in a separate symbols file with the
// same sections at the same RVAs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace TestSupport {

class PeFile {
public:
    // Empty when the file is a PE64 image; otherwise what is wrong with it.
    std::string Load(const std::wstring& path);

    const std::vector<std::uint8_t>& bytes() const { return m_file; }
    const IMAGE_NT_HEADERS64& nt() const { return *m_nt; }
    const std::vector<IMAGE_SECTION_HEADER>& sections() const { return m_sections; }
    const IMAGE_DATA_DIRECTORY& Directory(int index) const {
        return m_nt->OptionalHeader.DataDirectory[index];
    }

    // A structure at a file offset, or null when the file is too short.
    template <typename T>
    const T* At(size_t offset) const {
        if (offset > m_file.size() || m_file.size() - offset < sizeof(T))
            return nullptr;
        return reinterpret_cast<const T*>(m_file.data() + offset);
    }

    // The file offset of an RVA, or 0 when no section holds it.
    size_t FileOffset(DWORD rva) const;
    std::string CString(size_t offset) const;

    // The RVA of a symbol defined in a section, or 0 when there is none. An
    // image without a symbol table looks in symbolsFile, when one is named.
    DWORD SymbolRva(const std::string& name, const std::wstring& symbolsFile = {}) const;

private:
    std::vector<std::uint8_t> m_file;
    const IMAGE_NT_HEADERS64* m_nt = nullptr;
    std::vector<IMAGE_SECTION_HEADER> m_sections;
};

}  // namespace TestSupport
