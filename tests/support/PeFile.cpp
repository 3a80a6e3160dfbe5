#include "tests/support/PeFile.h"

#include "tests/support/Text.h"
#include "tests/support/Unix.h"

#include <cstring>

namespace TestSupport {

std::string PeFile::Load(const std::wstring& path) {
    std::string content;
    if (!ReadWholeFile(Narrow(path), content) || content.size() <= 0x400) return "cannot read the file";
    m_file.assign(content.begin(), content.end());
    const auto* dos = At<IMAGE_DOS_HEADER>(0);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return "no DOS header";
    m_nt = At<IMAGE_NT_HEADERS64>(dos->e_lfanew);
    if (!m_nt || m_nt->Signature != IMAGE_NT_SIGNATURE ||
        m_nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return "no PE64 headers";
    size_t sections = dos->e_lfanew + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                      m_nt->FileHeader.SizeOfOptionalHeader;
    for (WORD i = 0; i < m_nt->FileHeader.NumberOfSections; ++i) {
        const auto* s = At<IMAGE_SECTION_HEADER>(sections + i * sizeof(IMAGE_SECTION_HEADER));
        if (!s) return "section table cut short";
        m_sections.push_back(*s);
    }
    return {};
}

size_t PeFile::FileOffset(DWORD rva) const {
    for (const auto& s : m_sections)
        if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
            return s.PointerToRawData + (rva - s.VirtualAddress);
    return 0;
}

std::string PeFile::CString(size_t offset) const {
    std::string text;
    while (offset < m_file.size() && m_file[offset])
        text.push_back(static_cast<char>(m_file[offset++]));
    return text;
}

DWORD PeFile::SymbolRva(const std::string& name, const std::wstring& symbolsFile) const {
    const size_t kRecord = 18;
    DWORD table = m_nt->FileHeader.PointerToSymbolTable;
    DWORD count = m_nt->FileHeader.NumberOfSymbols;
    if ((!table || !count) && !symbolsFile.empty()) {
        PeFile separate;
        return separate.Load(symbolsFile).empty() ? separate.SymbolRva(name) : 0;
    }
    size_t strings = table + size_t{count} * kRecord;
    for (DWORD i = 0; table && i < count && table + size_t{i + 1} * kRecord <= m_file.size(); ++i) {
        const std::uint8_t* s = m_file.data() + table + size_t{i} * kRecord;
        // A name of up to 8 bytes is held in place; a longer one is an
        // offset into the string table that follows the records.
        DWORD zeros, offset, value;
        std::memcpy(&zeros, s, 4);
        std::memcpy(&offset, s + 4, 4);
        std::memcpy(&value, s + 8, 4);
        std::int16_t section;
        std::memcpy(&section, s + 12, 2);
        std::string found = zeros == 0 ? CString(strings + offset)
                                       : std::string(reinterpret_cast<const char*>(s),
                                                     strnlen(reinterpret_cast<const char*>(s), 8));
        if (found == name && section > 0 && static_cast<size_t>(section) <= m_sections.size())
            return m_sections[section - 1].VirtualAddress + value;
        i += s[17];  // auxiliary records
    }
    return 0;
}

}  // namespace TestSupport
