// Self-registration of the built pelim102.dll through the real regsvr32.exe, as the setup
// program runs it: the registry content afterwards, value for value and type for type,
// the type library, registering twice, quoted paths, unregistering what is left; and the
// registration for the calling user alone (regsvr32 /n /i:user, DllInstall).
#include "support/ChildProcess.h"
#include "support/RegistryDump.h"

#include <windows.h>
#include <oleauto.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include "ProductVersion.h"
#include "e2e/UserTexts.h"

namespace {

const IID changeNameInterface = {
    0x8D835F8D, 0x429F, 0x427E, { 0x8E, 0x0A, 0x6B, 0xCD, 0x20, 0x8B, 0xE5, 0xEE }
};
const CLSID changeNameClass = {
    0x6D9CAEAC, 0x7AC7, 0x46CD, { 0x97, 0xB8, 0x28, 0xCB, 0x76, 0xA4, 0x73, 0xC0 }
};

std::string ProgramFolder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.rfind('\\') + 1);
}

std::string BuiltDll()
{
    return ProgramFolder() + PELIM_DLL_NAME;
}

// Everything below root\path as the registry dump shows it (support/RegistryDump.h), in a
// buffer that grows until the text fits.
std::string Dump(const std::string& path, HKEY root = HKEY_CLASSES_ROOT)
{
    for (size_t size = 1 << 16;; size *= 4) {
        std::vector<char> out(size);
        if (DumpKey(root, path.c_str(), out.data(), int(size)) || size >= (1u << 28))
            return out.data();
    }
}

bool ClassesKeyExists(const std::string& path, HKEY root = HKEY_CLASSES_ROOT)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// The dump expected from one of the shared patterns.
std::string Expected(const char* pattern, const std::string& dllPath, const char* key = "")
{
    std::vector<char> out(4096);
    EXPECT_TRUE(ExpectedDump(out.data(), int(out.size()), pattern, key, dllPath.c_str()));
    return out.data();
}

void ExpectRegistered(const std::string& dllPath, HKEY root = HKEY_CLASSES_ROOT)
{
    EXPECT_EQ(Expected(e2e::kClassKeyDump, dllPath), Dump(e2e::kClassKey, root));
    for (const char* parent : e2e::kHandlerParents)
        EXPECT_EQ(Expected(e2e::kHandlerKeyDump, dllPath, parent),
                  Dump(std::string(parent) + "\\shellex\\DragDropHandlers\\pelim", root));
}

void ExpectUnregistered()
{
    EXPECT_FALSE(ClassesKeyExists(e2e::kClassKey));
    for (const char* parent : e2e::kHandlerParents) {
        EXPECT_FALSE(ClassesKeyExists(std::string(parent) + "\\shellex\\DragDropHandlers\\pelim"));
        // The shared parents stay, even when no other handler is left.
        EXPECT_TRUE(ClassesKeyExists(std::string(parent) + "\\shellex\\DragDropHandlers"))
            << parent;
    }
    EXPECT_TRUE(ClassesKeyExists("CLSID"));
    ITypeLib* library = nullptr;
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(e2e::kLibraryId, 1, 0, 0, &library));
    if (library)
        library->Release();
}

// The name and help string of a type library (index -1) or of a type description
// (member -1).
template <class Described>
void ExpectDocumentation(Described* described, const wchar_t* name, const wchar_t* help)
{
    BSTR actualName = nullptr, actualHelp = nullptr;
    ASSERT_EQ(S_OK, described->GetDocumentation(-1, &actualName, &actualHelp, nullptr, nullptr));
    EXPECT_STREQ(name, actualName);
    EXPECT_STREQ(help, actualHelp);
    SysFreeString(actualName);
    SysFreeString(actualHelp);
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0u, RunRegsvr32("/s /u", BuiltDll().c_str())); }
    void TearDown() override { RunRegsvr32("/s /u", BuiltDll().c_str()); }
};

// The script's text is the product's comserver/pelim.rgs (what it writes is checked key for
// key below); here: it is among the resources, in Japanese, CP932 with CR LF, beside the
// type library.
TEST(RegistrationResources, RegistryScriptAndTypeLibraryAreResources)
{
    HMODULE file = LoadLibraryExA(BuiltDll().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, file);
    HRSRC script = FindResourceExA(file, "REGISTRY", MAKEINTRESOURCEA(101),
                                   MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    ASSERT_NE(nullptr, script);
    EXPECT_EQ(767u, SizeofResource(file, script));
    EXPECT_NE(nullptr,
              FindResourceExA(file, "TYPELIB", MAKEINTRESOURCEA(1),
                              MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)));
    FreeLibrary(file);
}

TEST(RegistrationResources, ExportsByOrdinal)
{
    HMODULE dll = LoadLibraryA(BuiltDll().c_str());
    ASSERT_NE(nullptr, dll);
    EXPECT_EQ(GetProcAddress(dll, "DllRegisterServer"), GetProcAddress(dll, MAKEINTRESOURCEA(3)));
    EXPECT_EQ(GetProcAddress(dll, "DllUnregisterServer"), GetProcAddress(dll, MAKEINTRESOURCEA(4)));
    EXPECT_EQ(GetProcAddress(dll, "DllInstall"), GetProcAddress(dll, MAKEINTRESOURCEA(5)));
    EXPECT_NE(nullptr, GetProcAddress(dll, MAKEINTRESOURCEA(3)));
    EXPECT_NE(nullptr, GetProcAddress(dll, MAKEINTRESOURCEA(5)));
    FreeLibrary(dll);
}

TEST_F(Registration, RegisterWritesTheEntriesAndTheTypeLibrary)
{
    ASSERT_EQ(0u, RunRegsvr32("/s", BuiltDll().c_str()));
    ExpectRegistered(BuiltDll());

    // The library's help string reads back as the half-width katakana it was written with.
    std::string libraryVersion = Dump(std::string(e2e::kLibraryKey) + "\\1.0");
    EXPECT_NE(std::string::npos, libraryVersion.find("@=REG_SZ(22):pelim 1.0 ﾀｲﾌﾟ ﾗｲﾌﾞﾗﾘ\n"))
        << libraryVersion;
    ITypeLib* library = nullptr;
    ASSERT_EQ(S_OK, LoadRegTypeLib(e2e::kLibraryId, 1, 0, 0, &library));
    ExpectDocumentation(library, L"PELIMLib",
                        L"pelim 1.0 \xFF80\xFF72\xFF8C\xFF9F \xFF97\xFF72\xFF8C\xFF9E\xFF97\xFF98");
    TLIBATTR* libraryAttributes;
    ASSERT_EQ(S_OK, library->GetLibAttr(&libraryAttributes));
    EXPECT_EQ(0u, libraryAttributes->lcid);
    EXPECT_EQ(1, libraryAttributes->wMajorVerNum);
    EXPECT_EQ(0, libraryAttributes->wMinorVerNum);
    library->ReleaseTLibAttr(libraryAttributes);

    ITypeInfo* info = nullptr;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(changeNameInterface, &info));
    TYPEATTR* attributes;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
    EXPECT_EQ(TKIND_DISPATCH, attributes->typekind);
    EXPECT_EQ(7, attributes->cFuncs);
    EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE,
              attributes->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE));
    info->ReleaseTypeAttr(attributes);
    // The interface half of the dual interface: OLE-automation compatible, from IDispatch.
    HREFTYPE interfaceHalf;
    ITypeInfo* vtable = nullptr;
    ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(-1, &interfaceHalf));
    ASSERT_EQ(S_OK, info->GetRefTypeInfo(interfaceHalf, &vtable));
    ASSERT_EQ(S_OK, vtable->GetTypeAttr(&attributes));
    EXPECT_EQ(TKIND_INTERFACE, attributes->typekind);
    EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION,
              attributes->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION));
    EXPECT_EQ(0, attributes->cFuncs);
    EXPECT_EQ(0, attributes->wMajorVerNum);
    EXPECT_EQ(0, attributes->wMinorVerNum);
    vtable->ReleaseTypeAttr(attributes);
    vtable->Release();
    ExpectDocumentation(info, L"IChangeName", L"IChangeName Interface");
    info->Release();
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(changeNameClass, &info));
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
    EXPECT_EQ(TKIND_COCLASS, attributes->typekind);
    EXPECT_EQ(TYPEFLAG_FCANCREATE, attributes->wTypeFlags);
    info->ReleaseTypeAttr(attributes);
    ExpectDocumentation(info, L"ChangeName", L"ChangeName Class");
    info->Release();
    library->Release();
}

TEST_F(Registration, RegisteringTwiceRecreatesTheClassKey)
{
    ASSERT_EQ(0u, RunRegsvr32("/s", BuiltDll().c_str()));
    // What an earlier setup run filled in, and a stray key, go with the class key.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CLASSES_ROOT, e2e::kClassKey, 0, KEY_ALL_ACCESS, &key));
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("1.0.2"), 6);
    RegSetValueExA(key, "InstFolder", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\pelim\\"), 10);
    HKEY stray;
    RegCreateKeyExA(key, "Stray", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &stray, nullptr);
    RegCloseKey(stray);
    RegCloseKey(key);

    ASSERT_EQ(0u, RunRegsvr32("/s", BuiltDll().c_str()));
    ExpectRegistered(BuiltDll());
}

TEST_F(Registration, PathWithSingleQuoteIsWrittenAsItIs)
{
    std::string folder = ProgramFolder();
    char scratch[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, scratch);
    std::string quoted = std::string(scratch);
    if (quoted.back() == '\\')
        quoted.pop_back();
    quoted += "\\registration_test";
    CreateDirectoryA(quoted.c_str(), nullptr);
    quoted += "\\it's 'here'";
    CreateDirectoryA(quoted.c_str(), nullptr);
    std::string dll = quoted + "\\" PELIM_DLL_NAME;
    ASSERT_TRUE(CopyFileA(BuiltDll().c_str(), dll.c_str(), FALSE));

    ASSERT_EQ(0u, RunRegsvr32("/s", dll.c_str()));
    ExpectRegistered(dll);
    // The type library is registered for the platform the DLL was built for.
    const char* platform = sizeof(void*) == 8 ? "win64" : "win32";
    EXPECT_EQ(Expected(e2e::kLibraryKeyDump, dll, platform),
              Dump(std::string(e2e::kLibraryKey) + "\\1.0\\0\\" + platform));

    ASSERT_EQ(0u, RunRegsvr32("/s /u", dll.c_str()));
    ExpectUnregistered();
    DeleteFileA(dll.c_str());
}

TEST_F(Registration, UnregisterRemovesWhatIsLeftAndKeepsTheSharedKeys)
{
    ASSERT_EQ(0u, RunRegsvr32("/s", BuiltDll().c_str()));
    // A partial manual removal first.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CLASSES_ROOT,
                            (std::string(e2e::kClassKey) + "\\InprocServer32").c_str(), 0,
                            KEY_ALL_ACCESS, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "ThreadingModel"));
    RegCloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS,
              RegDeleteKeyA(HKEY_CLASSES_ROOT, "Drive\\shellex\\DragDropHandlers\\pelim"));

    ASSERT_EQ(0u, RunRegsvr32("/s /u", BuiltDll().c_str()));
    ExpectUnregistered();
    // Unregistering what is already gone succeeds too.
    EXPECT_EQ(0u, RunRegsvr32("/s /u", BuiltDll().c_str()));
    ExpectUnregistered();
}

// A copy of the built DLL in a scratch folder of its own, with one resource replaced.
std::string CopyWithResource(const std::string& folderName, const char* type, int id,
                             const std::string* data)
{
    char scratch[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, scratch);
    std::string folder = scratch;
    if (folder.back() == '\\')
        folder.pop_back();
    folder += "\\registration_test";
    CreateDirectoryA(folder.c_str(), nullptr);
    folder += "\\" + folderName;
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string dll = folder + "\\" PELIM_DLL_NAME;
    EXPECT_TRUE(CopyFileA(BuiltDll().c_str(), dll.c_str(), FALSE));
    HANDLE update = BeginUpdateResourceA(dll.c_str(), FALSE);
    EXPECT_NE(nullptr, update);
    EXPECT_TRUE(UpdateResourceA(update, type, MAKEINTRESOURCEA(id),
                                MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT),
                                const_cast<char*>(data->data()), DWORD(data->size())));
    EXPECT_TRUE(EndUpdateResourceA(update, FALSE));
    return dll;
}

std::string ResourceBytes(const std::string& dll, const char* type, int id)
{
    HMODULE file = LoadLibraryExA(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!file)
        return std::string();
    std::string bytes;
    HRSRC found = FindResourceA(file, MAKEINTRESOURCEA(id), type);
    if (found)
        bytes.assign(static_cast<const char*>(LockResource(LoadResource(file, found))),
                     SizeofResource(file, found));
    FreeLibrary(file);
    return bytes;
}

TEST_F(Registration, TypeLibraryFromTheTlbFileBesideTheDll)
{
    std::string library = ResourceBytes(BuiltDll(), "TYPELIB", 1);
    ASSERT_FALSE(library.empty());
    // The copy's own type library is damaged, so that it cannot be loaded from the DLL.
    const std::string damaged = "not a type library";
    std::string dll = CopyWithResource("tlb", "TYPELIB", 1, &damaged);
    ASSERT_EQ(damaged, ResourceBytes(dll, "TYPELIB", 1));
    std::string folder = dll.substr(0, dll.rfind('\\') + 1);
    std::string tlb = folder + "pelim" PELIM_VERSION_TEXT ".tlb";

    // Neither in the DLL nor beside it: the load error, after the script has run.
    EXPECT_NE(0u, RunRegsvr32("/s", dll.c_str()));
    ExpectRegistered(dll);
    ITypeLib* loaded = nullptr;
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(e2e::kLibraryId, 1, 0, 0, &loaded));

    HANDLE file = CreateFileA(tlb.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written;
    WriteFile(file, library.data(), DWORD(library.size()), &written, nullptr);
    CloseHandle(file);

    ASSERT_EQ(0u, RunRegsvr32("/s", dll.c_str()));
    ExpectRegistered(dll);
    std::string registered = Dump(std::string(e2e::kLibraryKey) + "\\1.0");
    EXPECT_NE(std::string::npos, registered.find(":" + tlb + "\n")) << registered;
    EXPECT_NE(std::string::npos,
              registered.find("HELPDIR]\n@=REG_SZ(" + std::to_string(folder.size() + 1) +
                              "):" + folder + "\n"))
        << registered;

    ASSERT_EQ(0u, RunRegsvr32("/s /u", dll.c_str()));
    ExpectUnregistered();
    DeleteFileA(tlb.c_str());
    DeleteFileA(dll.c_str());
}

TEST_F(Registration, FailingScriptTakesBackWhatItWrote)
{
    ASSERT_EQ(0u, RunRegsvr32("/s", BuiltDll().c_str()));
    std::string script = ResourceBytes(BuiltDll(), "REGISTRY", 101);
    size_t at = script.find("ThreadingModel = s");
    ASSERT_NE(std::string::npos, at);
    script[at + 17] = 'q'; // an unknown value type in the middle of the class key
    std::string dll = CopyWithResource("broken", "REGISTRY", 101, &script);

    EXPECT_NE(0u, RunRegsvr32("/s", dll.c_str()));
    // The class key was removed by "ForceRemove", written again in part, and the whole
    // root block was then walked in unregister mode: every entry of the script is gone,
    // the shared keys stay.
    EXPECT_FALSE(ClassesKeyExists(e2e::kClassKey));
    for (const char* parent : e2e::kHandlerParents) {
        EXPECT_FALSE(ClassesKeyExists(std::string(parent) + "\\shellex\\DragDropHandlers\\pelim"));
        EXPECT_TRUE(ClassesKeyExists(std::string(parent) + "\\shellex\\DragDropHandlers"));
    }
    DeleteFileA(dll.c_str());
}

// The machine's classes, every key as text (under Wine all of HKEY_CLASSES_ROOT, which on
// Windows shows the user's classes too), but for the type library's own keys:
// TypeLib\{library} and Interface\{IChangeName}, which Wine's RegisterTypeLibForUser
// writes for the machine (a FIXME in Wine) and its UnRegisterTypeLibForUser removes.
std::string MachineClasses()
{
    HKEY classes;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes", 0, KEY_READ, &classes) !=
        ERROR_SUCCESS)
        return std::string();
    std::string all = Dump("", classes);
    RegCloseKey(classes);
    std::string out;
    bool skip = false;
    for (size_t at = 0, end; at < all.size(); at = end + 1) {
        end = all.find('\n', at);
        std::string line = all.substr(at, end - at + 1);
        if (line[0] == '[')
            skip = line.find("[\\TypeLib\\{09453CB6-62C4-4355-94A7-058CE2686EC6}") == 0 ||
                line.find("[\\Interface\\{8D835F8D-429F-427E-8E0A-6BCD208BE5EE}") == 0;
        if (!skip)
            out += line;
    }
    return out;
}

class UserRegistration : public Registration {
protected:
    void SetUp() override
    {
        Registration::SetUp();
        ASSERT_EQ(0u, RunRegsvr32("/s /u /n /i:user", BuiltDll().c_str()));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Classes", 0, nullptr, 0, KEY_READ,
                                  nullptr, &userClasses, nullptr));
    }
    void TearDown() override
    {
        RunRegsvr32("/s /u /n /i:user", BuiltDll().c_str());
        RegCloseKey(userClasses);
        Registration::TearDown();
    }
    HKEY userClasses = nullptr;
};

TEST_F(UserRegistration, RegistersUnderTheUsersClassesAndRemovesAgain)
{
    const std::string machine = MachineClasses();
    ASSERT_NE(std::string(), machine);
    ASSERT_EQ(0u, RunRegsvr32("/s /n /i:user", BuiltDll().c_str()));
    ExpectRegistered(BuiltDll(), userClasses);
    ITypeLib* library = nullptr;
    EXPECT_EQ(S_OK, LoadRegTypeLib(e2e::kLibraryId, 1, 0, 0, &library));
    if (library)
        library->Release();
    EXPECT_EQ(machine, MachineClasses());

    ASSERT_EQ(0u, RunRegsvr32("/s /u /n /i:user", BuiltDll().c_str()));
    EXPECT_FALSE(ClassesKeyExists(e2e::kClassKey, userClasses));
    for (const char* parent : e2e::kHandlerParents)
        EXPECT_FALSE(ClassesKeyExists(std::string(parent) + "\\shellex\\DragDropHandlers\\pelim",
                                      userClasses));
    library = nullptr;
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(e2e::kLibraryId, 1, 0, 0, &library));
    EXPECT_EQ(machine, MachineClasses());
}

TEST_F(UserRegistration, OtherCommandLinesWriteNothing)
{
    HMODULE dll = LoadLibraryA(BuiltDll().c_str());
    ASSERT_NE(nullptr, dll);
    typedef HRESULT(STDAPICALLTYPE * Install)(BOOL, LPCWSTR);
    Install install = reinterpret_cast<Install>(GetProcAddress(dll, "DllInstall"));
    ASSERT_NE(nullptr, install);
    for (BOOL doInstall : { TRUE, FALSE }) {
        EXPECT_EQ(E_INVALIDARG, install(doInstall, L"machine"));
        EXPECT_EQ(E_INVALIDARG, install(doInstall, L""));
        EXPECT_EQ(E_INVALIDARG, install(doInstall, nullptr));
        EXPECT_EQ(E_INVALIDARG, install(doInstall, L"users"));
    }
    EXPECT_FALSE(ClassesKeyExists(e2e::kClassKey, userClasses));
    EXPECT_FALSE(ClassesKeyExists(e2e::kClassKey));
    // "user" in any case; removing what is not there succeeds.
    EXPECT_EQ(S_OK, install(FALSE, L"USER"));
    FreeLibrary(dll);
}

} // namespace
