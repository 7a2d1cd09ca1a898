// The resources of the built zarn.exe, read back from the program file.
#include <gtest/gtest.h>

#include <cstring>

#include "stamp/form.h"
#include "tests/support/main_window_table.h"
#include "win/failure.h"
#include "win/messages.h"
#include "zarn_version.h"

namespace zarn::testing {
namespace {

constexpr WORD kJapanese = 0x0411;

// zarn.exe, beside this test program, loaded as data.
class Program : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring program(path);
        program = program.substr(0, program.rfind(L'\\') + 1) + L"zarn.exe";
        module_ = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(nullptr, module_) << "cannot load zarn.exe";
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }

    // The bytes of a resource in Japanese; empty when there is none.
    std::string Resource(LPCWSTR type, LPCWSTR name) const {
        const HRSRC found = FindResourceExW(module_, type, name, kJapanese);
        if (found == nullptr) return {};
        const void* data = LockResource(LoadResource(module_, found));
        return std::string(static_cast<const char*>(data), SizeofResource(module_, found));
    }

    HMODULE module_ = nullptr;
};

BOOL CALLBACK CountName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK CountLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

TEST_F(Program, IconGroupHasThreeSixteenColourImages) {
    int groups = 0;
    EnumResourceNamesW(module_, MAKEINTRESOURCEW(14), CountName, reinterpret_cast<LONG_PTR>(&groups));
    EXPECT_EQ(1, groups) << "MAINICON is the first and only icon group";
    const std::string group = Resource(MAKEINTRESOURCEW(14), L"MAINICON");  // RT_GROUP_ICON
    ASSERT_EQ(6u + 3 * 14, group.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(group.data());
    EXPECT_EQ(3, bytes[4]);
    for (int i = 0; i < 3; ++i) {
        const unsigned char* entry = bytes + 6 + 14 * i;
        const int size = 16 * (i + 1);
        EXPECT_EQ(size, entry[0]);
        EXPECT_EQ(size, entry[1]);
        EXPECT_EQ(16, entry[2]);                       // colours
        EXPECT_EQ(1, entry[4] | entry[5] << 8);        // planes
        EXPECT_EQ(4, entry[6] | entry[7] << 8);        // bits per pixel
        const WORD id = static_cast<WORD>(entry[12] | entry[13] << 8);
        const std::string image = Resource(MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(id));  // RT_ICON
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.data(), sizeof header);
        EXPECT_EQ(size, header.biWidth);
        EXPECT_EQ(2 * size, header.biHeight);          // colour bits and mask
        EXPECT_EQ(4, header.biBitCount);
        const std::size_t xorRow = (size * 4 + 31) / 32 * 4, andRow = (size + 31) / 32 * 4;
        EXPECT_EQ(sizeof header + 16 * 4 + (xorRow + andRow) * size, image.size());
    }
    EXPECT_NE(nullptr, LoadIconW(module_, L"MAINICON"));
}

// One block of version information: key, value bytes and children.
struct TVersionBlock {
    std::u16string key;
    std::string value;
    WORD type = 0;
    std::vector<TVersionBlock> children;
};

TVersionBlock ParseVersionBlock(const std::string& bytes, std::size_t offset) {
    auto word = [&](std::size_t at) { return static_cast<WORD>(static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8); };
    auto align = [](std::size_t at) { return (at + 3) & ~std::size_t{3}; };
    TVersionBlock block;
    const std::size_t end = offset + word(offset);
    const WORD valueLength = word(offset + 2);
    block.type = word(offset + 4);
    std::size_t at = offset + 6;
    for (; word(at) != 0; at += 2) block.key += static_cast<char16_t>(word(at));
    at = align(at + 2);
    const std::size_t valueBytes = block.type == 1 ? valueLength * 2u : valueLength;
    block.value = bytes.substr(at, valueBytes);
    for (at = align(at + valueBytes); at < end; at = align(at + word(at))) block.children.push_back(ParseVersionBlock(bytes, at));
    return block;
}

TEST_F(Program, VersionInformationMatchesItsTable) {
    const std::string bytes = Resource(MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1));  // RT_VERSION
    ASSERT_FALSE(bytes.empty());
    const TVersionBlock root = ParseVersionBlock(bytes, 0);
    EXPECT_EQ(u"VS_VERSION_INFO", root.key);
    VS_FIXEDFILEINFO fixed;
    ASSERT_EQ(sizeof fixed, root.value.size());
    std::memcpy(&fixed, root.value.data(), sizeof fixed);
    // The version of the build (0.3.0.0 as this is written).
    constexpr DWORD kMost = ZARN_VERSION_MAJOR << 16 | ZARN_VERSION_MINOR;
    constexpr DWORD kLeast = ZARN_VERSION_PATCH << 16 | ZARN_VERSION_TWEAK;
    EXPECT_EQ(kMost, fixed.dwFileVersionMS);
    EXPECT_EQ(kLeast, fixed.dwFileVersionLS);
    EXPECT_EQ(kMost, fixed.dwProductVersionMS);
    EXPECT_EQ(kLeast, fixed.dwProductVersionLS);
    EXPECT_EQ(0x3Fu, fixed.dwFileFlagsMask);
    EXPECT_EQ(0u, fixed.dwFileFlags);
    EXPECT_EQ(4u, fixed.dwFileOS);
    EXPECT_EQ(1u, fixed.dwFileType);
    EXPECT_EQ(0u, fixed.dwFileSubtype);
    EXPECT_EQ(0u, fixed.dwFileDateMS | fixed.dwFileDateLS);

    ASSERT_EQ(2u, root.children.size());
    const TVersionBlock& strings = root.children[0];
    EXPECT_EQ(u"StringFileInfo", strings.key);
    ASSERT_EQ(1u, strings.children.size());
    EXPECT_EQ(u"041103A4", strings.children[0].key);
    const std::vector<std::pair<std::u16string, std::u16string>> expected = {
        {u"CompanyName", u""},          {u"FileDescription", u"Zarn"}, {u"FileVersion", u"" ZARN_VERSION_TEXT},
        {u"InternalName", u"zarn"},     {u"LegalCopyright", u""},      {u"LegalTrademarks", u""},
        {u"OriginalFilename", u"zarn.exe"}, {u"ProductName", u"zarn"}, {u"ProductVersion", u"" ZARN_PRODUCT_VERSION_TEXT}};
    const auto& entries = strings.children[0].children;
    ASSERT_EQ(expected.size(), entries.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first, entries[i].key);
        std::u16string value(entries[i].value.size() / 2, u'\0');
        std::memcpy(value.data(), entries[i].value.data(), value.size() * 2);
        if (!value.empty() && value.back() == 0) value.pop_back();
        if (expected[i].first == u"LegalCopyright") EXPECT_FALSE(value.empty());  // the notice is ours to choose
        else EXPECT_EQ(expected[i].second, value) << i;
    }

    const TVersionBlock& variables = root.children[1];
    EXPECT_EQ(u"VarFileInfo", variables.key);
    ASSERT_EQ(1u, variables.children.size());
    EXPECT_EQ(u"Translation", variables.children[0].key);
    EXPECT_EQ(std::string("\x11\x04\xA4\x03", 4), variables.children[0].value);  // 0x0411, 932
}

TEST_F(Program, ManifestAsksForNoElevationCommonControlsSixAndLongPaths) {
    int manifests = 0;
    EnumResourceNamesW(module_, MAKEINTRESOURCEW(24), CountName, reinterpret_cast<LONG_PTR>(&manifests));
    EXPECT_EQ(1, manifests);
    int languages = 0;
    EnumResourceLanguagesW(module_, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), CountLanguage, reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(1, languages);
    const std::string manifest = Resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty());
    for (const char* part : {"manifestVersion=\"1.0\"", "name=\"Zarn.Zarn\" version=\"" ZARN_VERSION_TEXT "\"",
                             "level=\"asInvoker\"", "uiAccess=\"false\"",
                             "name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
                             "publicKeyToken=\"6595b64144ccf1df\"", "encoding=\"UTF-8\"",
                             // Paths past MAX_PATH are the program's own, whatever the system's policy.
                             "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>"}) {
        EXPECT_NE(std::string::npos, manifest.find(part)) << part;
    }
}

TEST_F(Program, MainWindowPropertiesMatchTheirTable) {
    const std::string bytes = Resource(MAKEINTRESOURCEW(10), L"TTFZarn");  // RT_RCDATA
    ASSERT_FALSE(bytes.empty());
    const TFormDescription form = ReadForm(bytes, u"corrupt");
    EXPECT_EQ("TTFZarn", form.className);
    EXPECT_EQ("TFZarn", form.componentName);
    EXPECT_EQ(kMainWindowProperties, form.properties);
}

TEST_F(Program, StringTableIsJapanese) {
    for (UINT id : {IDS_OPEN_FAILED, IDS_CREATE_FAILED, IDS_WRITE_FAILED, IDS_READ_FAILED, IDS_BAD_UTF8}) {
        EXPECT_FALSE(Resource(MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1)).empty()) << id;  // RT_STRING
    }
    wchar_t* text = nullptr;
    const int length = LoadStringW(module_, IDS_WRITE_FAILED, reinterpret_cast<LPWSTR>(&text), 0);
    EXPECT_EQ(std::wstring(L"ストリームへの書き込みエラー"), std::wstring(text, length));
}

}  // namespace
}  // namespace zarn::testing
