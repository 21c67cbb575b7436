// The module's version resource, read back the way Windows' file properties
// read it, against the version the build was configured with.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"
#include "version_dll.h"
#include "vorlane_commit.h"

namespace vorlane::test {
namespace {

TEST(ModuleVersion, IsTheProjectVersion) {
    const std::wstring module = beside_program("vorlane.dll").wstring();
    const host::VersionDll dll;
    ASSERT_TRUE(dll);
    DWORD ignored = 0;
    const DWORD size = dll.size(module.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<std::uint8_t> info(size);
    ASSERT_TRUE(dll.read(module.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(dll.query(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD high = DWORD(VORLANE_VERSION_MAJOR) << 16 | DWORD(VORLANE_VERSION_MINOR);
    const DWORD low = DWORD(VORLANE_VERSION_PATCH) << 16;
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_DLL));

    // The properties dialog shows the strings of the first translation listed.
    WORD* translation = nullptr;
    ASSERT_TRUE(dll.query(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_GE(length, 4u);
    ASSERT_EQ(translation[0], 0x0409) << "US English";
    ASSERT_EQ(translation[1], 1200) << "UTF-16";
    auto text = [&](const wchar_t* name) -> std::wstring {
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        wchar_t* value = nullptr;
        UINT units = 0;
        if (!dll.query(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &units) || !value) return {};
        return value;
    };
    const std::string ascii_version = VORLANE_VERSION;
    const std::wstring version(ascii_version.begin(), ascii_version.end());
    EXPECT_EQ(text(L"FileVersion"), version);
    // What the file's properties show: the version and the commit.
    const std::string ascii_product_version = VORLANE_VERSION_TEXT;
    EXPECT_EQ(text(L"ProductVersion"), std::wstring(ascii_product_version.begin(), ascii_product_version.end()));
    EXPECT_EQ(text(L"ProductName"), L"Vorlane");
    EXPECT_EQ(text(L"OriginalFilename"), std::filesystem::path(module).filename().wstring());
    EXPECT_NE(text(L"FileDescription"), L"");

    // The notice is the licence's own line, word for word; LICENSE.txt lies
    // beside the test programs, with either line end.
    const std::wstring copyright = text(L"LegalCopyright");
    ASSERT_NE(copyright, L"");
    std::wstring licence_text;
    for (const std::uint8_t c : read_file(beside_program("LICENSE.txt")))
        if (c != '\r') licence_text += wchar_t(c);
    ASSERT_FALSE(licence_text.empty()) << "no LICENSE.txt beside the program";
    EXPECT_NE(licence_text.find(L"\n" + copyright + L"\n"), std::wstring::npos)
        << "LegalCopyright is not a line of LICENSE";
}

}  // namespace
}  // namespace vorlane::test
