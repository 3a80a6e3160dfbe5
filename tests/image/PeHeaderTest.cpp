// The built exe's PE headers: an x64 GUI image with ASLR (high-entropy,
// with the relocations that make it possible), DEP, the stack protector
// compiled into its own code, no runtime DLLs beside the system's, a load
// configuration that keeps the static imports' own DLLs to System32, and no
// build time stamped in (a rebuild gives the same bytes).
#include <gtest/gtest.h>

#include "ExeImage.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A PE64 file read whole: its headers, its sections and the COFF symbol
// table that the linker leaves in an unstripped image.
class PeFile {
public:
    // Empty when the file is a PE64 image; otherwise what is wrong with it.
    std::string Load(const std::wstring& path) {
        m_file = ExeImage::ReadFile(path);
        if (m_file.size() <= 0x400) return "cannot read the file";
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

    const std::vector<std::uint8_t>& bytes() const { return m_file; }
    const IMAGE_NT_HEADERS64& nt() const { return *m_nt; }
    const std::vector<IMAGE_SECTION_HEADER>& sections() const { return m_sections; }

    // A structure at a file offset, or null when the file is too short.
    template <typename T>
    const T* At(size_t offset) const {
        if (offset > m_file.size() || m_file.size() - offset < sizeof(T))
            return nullptr;
        return reinterpret_cast<const T*>(m_file.data() + offset);
    }

    // The file offset of an RVA, or 0 when no section holds it.
    size_t FileOffset(DWORD rva) const {
        for (const auto& s : m_sections)
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
                return s.PointerToRawData + (rva - s.VirtualAddress);
        return 0;
    }

    const IMAGE_DATA_DIRECTORY& Directory(int index) const {
        return m_nt->OptionalHeader.DataDirectory[index];
    }

    std::string CString(size_t offset) const {
        std::string text;
        while (offset < m_file.size() && m_file[offset])
            text.push_back(static_cast<char>(m_file[offset++]));
        return text;
    }

    // Name to RVA, for the symbols defined in a section.
    std::vector<std::pair<std::string, DWORD>> Symbols() const {
        std::vector<std::pair<std::string, DWORD>> symbols;
        DWORD table = m_nt->FileHeader.PointerToSymbolTable;
        DWORD count = m_nt->FileHeader.NumberOfSymbols;
        size_t strings = table + size_t{count} * 18;
        for (DWORD i = 0; table && i < count; ++i) {
            const std::uint8_t* s = m_file.data() + table + size_t{i} * 18;
            if (table + size_t{i + 1} * 18 > m_file.size())
                break;
            std::string name;
            DWORD zeros, offset;
            std::memcpy(&zeros, s, 4);
            std::memcpy(&offset, s + 4, 4);
            if (zeros == 0)
                name = CString(strings + offset);
            else
                name.assign(reinterpret_cast<const char*>(s), strnlen(reinterpret_cast<const char*>(s), 8));
            DWORD value;
            std::memcpy(&value, s + 8, 4);
            std::int16_t section;
            std::memcpy(&section, s + 12, 2);
            if (section > 0 && static_cast<size_t>(section) <= m_sections.size())
                symbols.emplace_back(name, m_sections[section - 1].VirtualAddress + value);
            i += s[17];  // auxiliary records
        }
        return symbols;
    }

private:
    std::vector<std::uint8_t> m_file;
    const IMAGE_NT_HEADERS64* m_nt = nullptr;
    std::vector<IMAGE_SECTION_HEADER> m_sections;
};

class PeImage : public ::testing::Test {
protected:
    void SetUp() override {
        std::string problem = m_exe.Load(ExeImage::Path());
        ASSERT_EQ(problem, "");
        m_nt = &m_exe.nt();
    }

    const IMAGE_DATA_DIRECTORY& Directory(int index) const { return m_exe.Directory(index); }

    PeFile m_exe;
    const IMAGE_NT_HEADERS64* m_nt = nullptr;
};

TEST_F(PeImage, IsAnX64GuiExecutable) {
    EXPECT_EQ(m_nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_TRUE(m_nt->FileHeader.Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE);
    EXPECT_FALSE(m_nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    EXPECT_EQ(m_nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST_F(PeImage, CarriesNoBuildTime) {
    EXPECT_EQ(m_nt->FileHeader.TimeDateStamp, 0u);
    const auto& resources = Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE);
    const auto* root = m_exe.At<IMAGE_RESOURCE_DIRECTORY>(m_exe.FileOffset(resources.VirtualAddress));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->TimeDateStamp, 0u);
}

TEST_F(PeImage, HasAslrWithHighEntropyAndDep) {
    WORD flags = m_nt->OptionalHeader.DllCharacteristics;
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) << std::hex << flags;
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA) << std::hex << flags;
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT) << std::hex << flags;
    // The loader can move the image only if its relocations were kept.
    EXPECT_FALSE(m_nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED);
    EXPECT_GT(Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size, 8u);
    // A preferred base above 4 GiB: the 64-bit address space really is used.
    EXPECT_GT(m_nt->OptionalHeader.ImageBase, 0xFFFFFFFFull);
}

// The guard and the failure handler are linked in, and the program's code
// calls the handler from many functions: canaries were compiled in, not
// just a library dragged along.
TEST_F(PeImage, CodeIsCompiledWithTheStackProtector) {
    auto symbols = m_exe.Symbols();
    // A stripped exe: its symbols file has the same sections at the same RVAs.
    PeFile separate;
    if (symbols.empty() && !ExeImage::SymbolsPath().empty()) {
        ASSERT_EQ(separate.Load(ExeImage::SymbolsPath()), "") << "symbols file";
        symbols = separate.Symbols();
    }
    ASSERT_FALSE(symbols.empty()) << "the exe has no symbol table to check";
    DWORD fail = 0;
    bool guard = false;
    for (const auto& [name, rva] : symbols) {
        if (name == "__stack_chk_fail")
            fail = rva;
        guard = guard || name == "__stack_chk_guard";
    }
    ASSERT_NE(fail, 0u) << "__stack_chk_fail not linked";
    EXPECT_TRUE(guard) << "__stack_chk_guard not linked";

    int calls = 0;
    const auto& file = m_exe.bytes();
    for (const auto& s : m_exe.sections()) {
        if (!(s.Characteristics & IMAGE_SCN_CNT_CODE))
            continue;
        size_t end = std::min<size_t>(s.PointerToRawData + s.SizeOfRawData, file.size());
        for (size_t at = s.PointerToRawData; at + 5 <= end; ++at) {
            if (file[at] != 0xE8)  // call rel32
                continue;
            std::int32_t rel;
            std::memcpy(&rel, &file[at + 1], 4);
            DWORD next = static_cast<DWORD>(s.VirtualAddress + (at - s.PointerToRawData) + 5);
            calls += static_cast<DWORD>(next + rel) == fail;
        }
    }
    // Without -fstack-protector-strong the count is 0; the dialog and the
    // directory code alone have dozens of functions with local buffers.
    EXPECT_GE(calls, 10);
}

TEST_F(PeImage, ImportsOnlySystemDlls) {
    const auto& imports = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    ASSERT_GT(imports.Size, 0u);
    size_t at = m_exe.FileOffset(imports.VirtualAddress);
    ASSERT_NE(at, 0u);
    std::vector<std::string> dlls;
    for (const auto* d = m_exe.At<IMAGE_IMPORT_DESCRIPTOR>(at); d && d->Name;
         d = m_exe.At<IMAGE_IMPORT_DESCRIPTOR>(at += sizeof(IMAGE_IMPORT_DESCRIPTOR))) {
        std::string name = m_exe.CString(m_exe.FileOffset(d->Name));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        dlls.push_back(name);
    }
    ASSERT_FALSE(dlls.empty());
    // The C++ runtime, libgcc, winpthreads and libssp are linked statically.
    for (const auto& dll : dlls) {
        SCOPED_TRACE(dll);
        EXPECT_EQ(dll.find("libstdc++"), std::string::npos);
        EXPECT_EQ(dll.find("libgcc"), std::string::npos);
        EXPECT_EQ(dll.find("libwinpthread"), std::string::npos);
        EXPECT_EQ(dll.find("libssp"), std::string::npos);
    }
    for (const char* needed : {"user32.dll", "comctl32.dll"})
        EXPECT_NE(std::find(dlls.begin(), dlls.end(), needed), dlls.end()) << needed;
    // activeds.dll is delay-loaded (tests/image/check-imports.sh lists it).
    EXPECT_EQ(std::find(dlls.begin(), dlls.end(), "activeds.dll"), dlls.end());
}

// Windows 10 1607 and later take the DLLs that the static imports need in
// turn from where DependentLoadFlags says (mingw-w64's header still calls
// the field Reserved1), before any code of the exe can restrict the search.
TEST_F(PeImage, LoadConfigurationTakesDependentDllsFromSystem32) {
    const auto& directory = Directory(IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG);
    ASSERT_NE(directory.VirtualAddress, 0u) << "no load configuration directory";
    const auto* config =
        m_exe.At<IMAGE_LOAD_CONFIG_DIRECTORY64>(m_exe.FileOffset(directory.VirtualAddress));
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(directory.Size, config->Size);
    ASSERT_GE(config->Size, offsetof(IMAGE_LOAD_CONFIG_DIRECTORY64, Reserved1) + sizeof config->Reserved1);
    EXPECT_EQ(config->Reserved1, LOAD_LIBRARY_SEARCH_SYSTEM32) << std::hex << config->Reserved1;
}

}  // namespace
