// The version resource of the Windows module, read back through the system's own version API from
// the module the tests loaded: what a host's plug-in list or Explorer's properties page shows.
#include "ModuleHarness.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::vector<char> versionBlock() {
    builtModule();
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(GetModuleHandleA(SIXBAND_MODULE_PATH), path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return {};
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeA(path, &ignored));
    if (block.empty() || !GetFileVersionInfoA(path, 0, static_cast<DWORD>(block.size()), block.data()))
        return {};
    return block;
}

std::string stringEntry(std::vector<char>& block, const std::string& name) {
    void* value = nullptr;
    UINT size = 0;
    const std::string query = "\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueA(block.data(), query.c_str(), &value, &size) || size == 0) return "<missing>";
    return std::string(static_cast<const char*>(value));
}

// The numbers and the description are the module's identity and stay the same in every release; the
// comment says which release the file came from.
TEST(VersionResource, DescribesTheEqualiserAndItsVersion) {
    std::vector<char> block = versionBlock();
    ASSERT_FALSE(block.empty()) << "the module has no version resource";
    EXPECT_EQ(stringEntry(block, "FileDescription"), "Equaliser 6 bands 12dB/octave");
    EXPECT_EQ(stringEntry(block, "FileVersion"), "1, 0, 0, 1");
    EXPECT_EQ(stringEntry(block, "ProductVersion"), "1, 0, 0, 1");
    EXPECT_EQ(stringEntry(block, "ProductName"), "sixband");
    EXPECT_EQ(stringEntry(block, "OriginalFilename"), "sixband.dll");
    EXPECT_EQ(stringEntry(block, "Comments"), "sixband " SIXBAND_VERSION);
}

TEST(VersionResource, BinaryVersionMatchesTheText) {
    std::vector<char> block = versionBlock();
    ASSERT_FALSE(block.empty()) << "the module has no version resource";
    void* value = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &size));
    ASSERT_GE(size, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

}  // namespace
