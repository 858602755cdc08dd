// The manifest, version block and icon of the built Kestrune.exe, read back the way Windows reads
// them.
#include "KestruneConfig.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::wstring exe_path = KESTRUNE_EXE_PATH;

// The program's file as a resource module, kept for the whole test program.
HMODULE exe_module()
{
    static const HMODULE module =
        LoadLibraryExW(exe_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    return module;
}

std::vector<char> version_block()
{
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeW(exe_path.c_str(), &ignored));
    if (block.empty() ||
        !GetFileVersionInfoW(exe_path.c_str(), 0, static_cast<DWORD>(block.size()), block.data())) {
        return {};
    }
    return block;
}

std::wstring version_text(std::vector<char>& block, const std::wstring& name)
{
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query = L"\\StringFileInfo\\080404b0\\" + name;
    if (!VerQueryValueW(block.data(), query.c_str(), &value, &length) || length == 0) {
        return L"<missing>";
    }
    // The length counts the terminator.
    return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

std::string resource_bytes(LPCWSTR name, LPCWSTR type)
{
    const HMODULE module = exe_module();
    const HRSRC found = module == nullptr ? nullptr : FindResourceW(module, name, type);
    if (found == nullptr) {
        return {};
    }
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return std::string(data, SizeofResource(module, found));
}

#pragma pack(push, 2)
struct IconGroupEntry
{
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bit_count;
    DWORD bytes;
    WORD id;
};

struct IconGroup
{
    WORD reserved;
    WORD type;
    WORD count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

} // namespace

TEST(KestruneResourcesTest, VersionBlockIsTheProjectVersionInChinesePrc)
{
    std::vector<char> block = version_block();
    ASSERT_FALSE(block.empty());

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const DWORD high = MAKELONG(KESTRUNE_VERSION_MINOR, KESTRUNE_VERSION_MAJOR);
    const DWORD low = MAKELONG(KESTRUNE_VERSION_TWEAK, KESTRUNE_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 2052);
    EXPECT_EQ(translation[1], 1200);

    const std::wstring version = std::to_wstring(KESTRUNE_VERSION_MAJOR) + L"." +
                                 std::to_wstring(KESTRUNE_VERSION_MINOR) + L"." +
                                 std::to_wstring(KESTRUNE_VERSION_PATCH);
    EXPECT_EQ(version_text(block, L"FileVersion"), version);
    EXPECT_EQ(version_text(block, L"ProductVersion"), version);
    EXPECT_EQ(version_text(block, L"FileDescription"), L"电音查询器");
    EXPECT_EQ(version_text(block, L"ProductName"), L"Velmora电音助手");
    EXPECT_EQ(version_text(block, L"InternalName"), L"Kestrune.exe");
    EXPECT_EQ(version_text(block, L"OriginalFilename"), L"Kestrune.exe");
    EXPECT_EQ(version_text(block, L"CompanyName"), L"Kestrune Team");
    EXPECT_NE(version_text(block, L"LegalCopyright").find(L"Kestrune Team"), std::wstring::npos);
}

TEST(KestruneResourcesTest, ManifestAsksForAdministratorAndDeclaresDpiAwareness)
{
    const std::string manifest = resource_bytes(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    EXPECT_NE(manifest.find(R"(level="requireAdministrator")"), std::string::npos) << manifest;
    EXPECT_NE(manifest.find(R"(uiAccess="false")"), std::string::npos) << manifest;
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos) << manifest;
    // This test program carries the same manifest; the loader took it.
    EXPECT_TRUE(IsProcessDPIAware());
}

TEST(KestruneResourcesTest, IconGroup101HoldsOne256PixelImageOf32Bits)
{
    const std::string group_bytes = resource_bytes(MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(14));
    ASSERT_GE(group_bytes.size(), sizeof(IconGroup));
    const auto* group = reinterpret_cast<const IconGroup*>(group_bytes.data());
    EXPECT_EQ(group->type, 1);
    ASSERT_EQ(group->count, 1);
    const IconGroupEntry& entry = group->entries[0];
    // 0 stands for 256 in a one-byte size.
    EXPECT_EQ(entry.width, 0);
    EXPECT_EQ(entry.height, 0);
    EXPECT_EQ(entry.bit_count, 32);
    EXPECT_EQ(resource_bytes(MAKEINTRESOURCEW(entry.id), MAKEINTRESOURCEW(3)).size(), entry.bytes);

    const HANDLE icon = LoadImageW(exe_module(), MAKEINTRESOURCEW(101), IMAGE_ICON, 256, 256, 0);
    EXPECT_NE(icon, nullptr);
    DestroyIcon(static_cast<HICON>(icon));
}
