// The built exe's PE headers: an x64 GUI image with ASLR (high-entropy,
// with the relocations that make it possible), DEP, the stack protector
// compiled into its own code, no runtime DLLs beside the system's, a load
// configuration that keeps the static imports' own DLLs to System32, and no
// build time stamped in (a rebuild gives the same bytes).
#include <gtest/gtest.h>

#include "ExeImage.h"
#include "tests/support/PeFile.h"
#include "tests/support/Text.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

class PeImage : public ::testing::Test {
protected:
    void SetUp() override {
        std::string problem = m_exe.Load(ExeImage::Path());
        ASSERT_EQ(problem, "");
        m_nt = &m_exe.nt();
    }

    TestSupport::PeFile m_exe;
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
    const auto& resources = m_exe.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE);
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
    EXPECT_GT(m_exe.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size, 8u);
    // A preferred base above 4 GiB: the 64-bit address space really is used.
    EXPECT_GT(m_nt->OptionalHeader.ImageBase, 0xFFFFFFFFull);
}

// The guard and the failure handler are linked in, and the program's code
// calls the handler from many functions: canaries were compiled in, not
// just a library dragged along.
TEST_F(PeImage, CodeIsCompiledWithTheStackProtector) {
    DWORD fail = m_exe.SymbolRva("__stack_chk_fail", ExeImage::SymbolsPath());
    ASSERT_NE(fail, 0u) << "__stack_chk_fail not linked, or no symbol table to find it in";
    EXPECT_NE(m_exe.SymbolRva("__stack_chk_guard", ExeImage::SymbolsPath()), 0u)
        << "__stack_chk_guard not linked";

    int calls = 0;
    const auto& file = m_exe.bytes();
    for (const auto& s : m_exe.sections()) {
        if (!(s.Characteristics & IMAGE_SCN_CNT_CODE))
            continue;
        size_t end = std::min<size_t>(s.PointerToRawData + s.SizeOfRawData, file.size());
        for (size_t at = s.PointerToRawData; at + 5 <= end; ++at) {
            if (file[at] != 0xE8)  // call rel32
                continue;
            DWORD next = static_cast<DWORD>(s.VirtualAddress + (at - s.PointerToRawData) + 5);
            calls += static_cast<DWORD>(next + *m_exe.At<std::int32_t>(at + 1)) == fail;
        }
    }
    // Without -fstack-protector-strong the count is 0; the dialog and the
    // directory code alone have dozens of functions with local buffers.
    EXPECT_GE(calls, 10);
}

TEST_F(PeImage, ImportsOnlySystemDlls) {
    const auto& imports = m_exe.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    ASSERT_GT(imports.Size, 0u);
    size_t at = m_exe.FileOffset(imports.VirtualAddress);
    ASSERT_NE(at, 0u);
    std::vector<std::string> dlls;
    for (const auto* d = m_exe.At<IMAGE_IMPORT_DESCRIPTOR>(at); d && d->Name;
         d = m_exe.At<IMAGE_IMPORT_DESCRIPTOR>(at += sizeof(IMAGE_IMPORT_DESCRIPTOR))) {
        dlls.push_back(TestSupport::Lower(m_exe.CString(m_exe.FileOffset(d->Name))));
    }
    ASSERT_FALSE(dlls.empty());
    // The C++ runtime, libgcc, winpthreads and libssp are linked statically.
    for (const auto& dll : dlls)
        for (const char* runtime : {"libstdc++", "libgcc", "libwinpthread", "libssp"})
            EXPECT_EQ(dll.find(runtime), std::string::npos) << dll;
    for (const char* needed : {"user32.dll", "comctl32.dll"})
        EXPECT_NE(std::find(dlls.begin(), dlls.end(), needed), dlls.end()) << needed;
    // activeds.dll is delay-loaded (tests/image/check-imports.sh lists it).
    EXPECT_EQ(std::find(dlls.begin(), dlls.end(), "activeds.dll"), dlls.end());
}

// Windows 10 1607 and later take the DLLs that the static imports need in
// turn from where DependentLoadFlags says (mingw-w64's header still calls
// the field Reserved1), before any code of the exe can restrict the search.
TEST_F(PeImage, LoadConfigurationTakesDependentDllsFromSystem32) {
    const auto& directory = m_exe.Directory(IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG);
    ASSERT_NE(directory.VirtualAddress, 0u) << "no load configuration directory";
    const auto* config =
        m_exe.At<IMAGE_LOAD_CONFIG_DIRECTORY64>(m_exe.FileOffset(directory.VirtualAddress));
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(directory.Size, config->Size);
    ASSERT_GE(config->Size, offsetof(IMAGE_LOAD_CONFIG_DIRECTORY64, Reserved1) + sizeof config->Reserved1);
    EXPECT_EQ(config->Reserved1, LOAD_LIBRARY_SEARCH_SYSTEM32) << std::hex << config->Reserved1;
}

}  // namespace
