// The resources of the built pelim102.dll, read back as the platform reads them: dialog
// template 201 field by field, the string table and the version resource, all Japanese
// (language 1041); and setup.exe's version resource and manifest. Texts are compared with
// their code page 932 form.
#include "support/PelimDll.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "ProductVersion.h"

namespace {

const WORD kJapanese = 1041;

std::wstring FromCp932(const char* text)
{
    int length = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? length - 1 : 0, L'\0');
    if (length > 1)
        MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text, -1, &wide[0], length);
    return wide;
}

// Reads a classic dialog template (DLGTEMPLATE and its DLGITEMTEMPLATEs).
class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t size) : data_(data), size_(size) {}
    DWORD Dword()
    {
        DWORD v = 0;
        Read(&v, 4);
        return v;
    }
    WORD Word()
    {
        WORD v = 0;
        Read(&v, 2);
        return v;
    }
    short Short() { return static_cast<short>(Word()); }
    // A string field: 0xFFFF and an ordinal, or zero-terminated UTF-16.
    std::wstring Field(WORD* ordinal)
    {
        *ordinal = 0;
        std::wstring text;
        WORD first = Word();
        if (first == 0xFFFF) {
            *ordinal = Word();
            return text;
        }
        for (WORD c = first; c != 0; c = Word())
            text.push_back(static_cast<wchar_t>(c));
        return text;
    }
    void AlignDword() { offset_ = (offset_ + 3) & ~static_cast<size_t>(3); }
    bool Overrun() const { return overrun_; }

private:
    void Read(void* out, size_t n)
    {
        if (offset_ + n > size_) {
            overrun_ = true;
            return;
        }
        memcpy(out, data_ + offset_, n);
        offset_ += n;
    }
    const BYTE* data_;
    size_t size_;
    size_t offset_ = 0;
    bool overrun_ = false;
};

struct ExpectedControl {
    WORD id;
    WORD classAtom; // 0x80 BUTTON, 0x81 EDIT, 0x82 STATIC
    const char* text;
    DWORD style;
};

class Resources : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        module = LoadLibraryExA(kPelimDllPath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module);
    }
    static void TearDownTestSuite() { FreeLibrary(module); }
    static HMODULE module;

    static std::vector<BYTE> Resource(LPCSTR type, LPCSTR name)
    {
        std::vector<BYTE> bytes;
        HRSRC found = FindResourceExA(module, type, name, kJapanese);
        if (!found)
            return bytes;
        HGLOBAL loaded = LoadResource(module, found);
        const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
        if (data)
            bytes.assign(data, data + SizeofResource(module, found));
        return bytes;
    }
};
HMODULE Resources::module = nullptr;

TEST_F(Resources, DialogTemplate201)
{
    std::vector<BYTE> bytes = Resource(RT_DIALOG, MAKEINTRESOURCEA(201));
    ASSERT_FALSE(bytes.empty()) << "no Japanese dialog 201";
    TemplateReader reader(bytes.data(), bytes.size());

    ASSERT_NE(0xFFFF0001u, reader.Dword()) << "an extended template";
    reader = TemplateReader(bytes.data(), bytes.size());
    // WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, no DS_CENTER.
    EXPECT_EQ(0x80C800C0u, reader.Dword());
    EXPECT_EQ(0u, reader.Dword());
    WORD count = reader.Word();
    ASSERT_EQ(5, count);
    for (int i = 0; i < 4; ++i)
        reader.Short(); // the layout: moved to the pointer at run time, seen by the e2e tests
    WORD ordinal;
    EXPECT_EQ(L"", reader.Field(&ordinal)) << "no menu";
    EXPECT_EQ(0, ordinal);
    EXPECT_EQ(L"", reader.Field(&ordinal)) << "the standard dialog class";
    EXPECT_EQ(0, ordinal);
    EXPECT_EQ(FromCp932("ﾀﾞｲｱﾛｸﾞ"), reader.Field(&ordinal));
    EXPECT_EQ(9, reader.Word());
    EXPECT_EQ(FromCp932("ＭＳ Ｐゴシック"), reader.Field(&ordinal));

    // In tab order; every style includes WS_CHILD | WS_VISIBLE (0x50000000).
    const ExpectedControl controls[] = {
        { 201, 0x81, "", 0x50810080 }, // WS_BORDER|WS_TABSTOP|ES_AUTOHSCROLL
        { 202, 0x81, "", 0x50810080 },
        { 1, 0x80, "コピー(&C)", 0x50010001 }, // WS_TABSTOP|BS_DEFPUSHBUTTON
        { 2, 0x80, "ｷｬﾝｾﾙ(&Q)", 0x50010000 }, // WS_TABSTOP
        { 203, 0x82, "", 0x50000004 }, // SS_BLACKRECT
    };
    for (const ExpectedControl& expected : controls) {
        SCOPED_TRACE(expected.id);
        reader.AlignDword();
        EXPECT_EQ(expected.style, reader.Dword());
        EXPECT_EQ(0u, reader.Dword());
        for (int i = 0; i < 4; ++i)
            reader.Short();
        EXPECT_EQ(expected.id, reader.Word());
        EXPECT_EQ(L"", reader.Field(&ordinal));
        EXPECT_EQ(expected.classAtom, ordinal);
        EXPECT_EQ(FromCp932(expected.text), reader.Field(&ordinal));
        EXPECT_EQ(0, ordinal);
        EXPECT_EQ(0, reader.Word()) << "no creation data";
    }
    EXPECT_FALSE(reader.Overrun());
}

TEST_F(Resources, StringTable)
{
    // Strings 96 to 111 form block 7.
    EXPECT_FALSE(Resource(RT_STRING, MAKEINTRESOURCEA(100 / 16 + 1)).empty()) << "not Japanese";
    char text[64] = "";
    EXPECT_EQ(5, LoadStringA(module, 100, text, sizeof(text)));
    EXPECT_STREQ("pelim", text);
}

const char kSetupPath[] = "P:\\setup.exe";

// The version resources of both deliverables: one version, Japanese, code page 932.
TEST(VersionResources, BothDeliverables)
{
    struct Expected {
        const char* path;
        DWORD fileType;
        const char* description;
        const char* originalName;
    };
    const Expected binaries[] = {
        { kPelimDllPath, VFT_DLL, "ドラッグ＆ドロップ拡張モジュール", PELIM_DLL_NAME },
        { kSetupPath, VFT_APP, "PELIM インストーラー", "setup.exe" },
    };
    for (const Expected& expected : binaries) {
        SCOPED_TRACE(expected.path);
        HMODULE module = LoadLibraryExA(expected.path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module);
        EXPECT_NE(nullptr, FindResourceExA(module, RT_VERSION, MAKEINTRESOURCEA(1), kJapanese))
            << "not Japanese";
        FreeLibrary(module);

        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeA(expected.path, &handle);
        ASSERT_NE(0u, size);
        std::vector<BYTE> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(expected.path, 0, size, info.data()));

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS); // 1.0
        EXPECT_EQ(0x00010000u, fixed->dwFileVersionLS); // 1.0
        EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
        EXPECT_EQ(0x00010000u, fixed->dwProductVersionLS);
        EXPECT_EQ(expected.fileType, fixed->dwFileType);

        struct {
            WORD language;
            WORD codePage;
        }* translation = nullptr;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                                   reinterpret_cast<void**>(&translation), &length));
        EXPECT_EQ(1041, translation->language);
        EXPECT_EQ(932, translation->codePage);

        const struct {
            const char* name;
            const char* value;
        } strings[] = {
            { "FileDescription", expected.description },
            { "FileVersion", PELIM_FILE_VERSION_TEXT },
            { "OriginalFilename", expected.originalName },
            { "ProductName", "pelim" },
            { "ProductVersion", PELIM_FILE_VERSION_TEXT },
        };
        for (const auto& string : strings) {
            char* value = nullptr;
            std::string key = std::string("\\StringFileInfo\\041103a4\\") + string.name;
            ASSERT_TRUE(
                VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
                << string.name;
            EXPECT_STREQ(string.value, value) << string.name;
        }
    }
}

// setup.exe asks for the highest rights its user has (an administrator's after the prompt, a
// standard user's without one) in the trust section's asm.v2 spelling (the one Windows XP
// also accepts), names the Windows versions it supports up to 10/11 and is DPI aware; the
// platform's own manifest reader takes the run level from it.
TEST(SetupManifest, AsksForTheHighestAvailableRightsAndNamesTheSupportedWindows)
{
    HMODULE module = LoadLibraryExA(kSetupPath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST);
    ASSERT_NE(nullptr, found);
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(nullptr, data);
    std::string manifest(data, SizeofResource(module, found));
    FreeLibrary(module);

    const char* expected[] = {
        sizeof(void*) == 8 ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"x86\"",
        "version=\"" PELIM_FILE_VERSION_TEXT "\"",
        "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v2\">",
        "<requestedExecutionLevel level=\"highestAvailable\" uiAccess=\"false\"/>",
        "<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">",
        "<supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>", // Vista
        "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>", // 7
        "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>", // 8
        "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>", // 8.1
        "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>", // 10 and 11
        "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>",
    };
    for (const char* text : expected)
        EXPECT_NE(std::string::npos, manifest.find(text)) << text;

    ACTCTXA context;
    ZeroMemory(&context, sizeof(context));
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = kSetupPath;
    context.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE activation = CreateActCtxA(&context);
    ASSERT_NE(INVALID_HANDLE_VALUE, activation) << GetLastError();
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel;
    ZeroMemory(&runLevel, sizeof(runLevel));
    SIZE_T written = 0;
    EXPECT_TRUE(QueryActCtxW(0, activation, nullptr, RunlevelInformationInActivationContext,
                             &runLevel, sizeof(runLevel), &written));
    EXPECT_EQ(ACTCTX_RUN_LEVEL_HIGHEST_AVAILABLE, runLevel.RunLevel);
    EXPECT_EQ(0u, runLevel.UiAccess);
    ReleaseActCtx(activation);
}

} // namespace
