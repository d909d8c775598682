// The registry script interpreter behind DllRegisterServer and DllUnregisterServer.
// Scripts are ANSI text; every scan moves by whole characters so that the second byte
// of a double-byte character is never taken for a delimiter.
#include "comserver/ScriptInterpreter.h"
#include "comserver/ReplacementMap.h"
#include "common/CharWalk.h"

#include <objbase.h>
#include <oleauto.h>

struct RootKeyEntry {
    const char* name;
    HKEY key;
};

// The short names are searched first, then the long ones.
static const RootKeyEntry rootKeys[] = {
    { "HKCR", HKEY_CLASSES_ROOT },
    { "HKCU", HKEY_CURRENT_USER },
    { "HKLM", HKEY_LOCAL_MACHINE },
    { "HKU", HKEY_USERS },
    { "HKPD", HKEY_PERFORMANCE_DATA },
    { "HKDD", HKEY_DYN_DATA },
    { "HKCC", HKEY_CURRENT_CONFIG },
    { "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT },
    { "HKEY_CURRENT_USER", HKEY_CURRENT_USER },
    { "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE },
    { "HKEY_USERS", HKEY_USERS },
    { "HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA },
    { "HKEY_DYN_DATA", HKEY_DYN_DATA },
    { "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG },
};

struct ValueTypeEntry {
    char letter;
    DWORD type;
};

static const ValueTypeEntry valueTypes[] = {
    { 'S', REG_SZ },
    { 'D', REG_DWORD },
    { 'B', REG_BINARY },
};

// Keys that are never deleted with everything below them.
static const char* const protectedKeys[] = { "CLSID", "TYPELIB" };

static bool IsWhiteSpace(char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

static bool IsBlockOpener(const char* token)
{
    return token[0] == '{' && token[1] == '\0';
}

static bool ContainsBackslash(const char* name)
{
    for (const char* p = name; *p; p = NextChar(p)) {
        if (*p == '\\')
            return true;
    }
    return false;
}

// A name whose last byte is a lead byte: the registry would take the terminating NUL for
// that character's second half and name the key or value with a NUL character, which
// opens as the parent itself when named again.
static bool EndsInsideCharacter(const char* name)
{
    for (const char* p = name; *p; p = NextChar(p)) {
        if (p[1] == '\0' && IsDBCSLeadByte(BYTE(*p)))
            return true;
    }
    return false;
}

static bool IsProtectedKey(const char* name)
{
    for (const char* protectedName : protectedKeys) {
        if (lstrcmpiA(name, protectedName) == 0)
            return true;
    }
    return false;
}

static HKEY FindRootKey(const char* name)
{
    for (const RootKeyEntry& entry : rootKeys) {
        if (lstrcmpiA(name, entry.name) == 0)
            return entry.key;
    }
    return nullptr;
}

static const ValueTypeEntry* FindValueType(const char* letter)
{
    if (letter[0] == '\0' || letter[1] != '\0')
        return nullptr;
    char upper = letter[0];
    if (upper >= 'a' && upper <= 'z')
        upper = char(upper - 'a' + 'A');
    for (const ValueTypeEntry& entry : valueTypes) {
        if (entry.letter == upper)
            return &entry;
    }
    return nullptr;
}

static BYTE HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return BYTE(c - '0');
    if (c >= 'A' && c <= 'F')
        return BYTE(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return BYTE(c - 'a' + 10);
    return 0;
}

static HRESULT LastErrorResult()
{
    DWORD code = GetLastError();
    return code ? HRESULT_FROM_WIN32(code) : E_FAIL;
}

// The registry nests keys at most 512 levels deep; a deeper walk meets a key that
// names itself and would never end.
static const int maxKeyDepth = 512;

static LONG DeleteKeyTree(HKEY parent, const char* name, int depth)
{
    if (depth > maxKeyDepth)
        return ERROR_STACK_OVERFLOW;
    HKEY key;
    LONG result = RegOpenKeyExA(parent, name, 0, KEY_READ | KEY_WRITE, &key);
    if (result != ERROR_SUCCESS)
        return result;
    char subName[256];
    DWORD subLength = sizeof(subName);
    while (RegEnumKeyExA(key, 0, subName, &subLength, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS) {
        // An empty name would open this key again, not its subkey.
        result = subName[0] ? DeleteKeyTree(key, subName, depth + 1) : ERROR_INVALID_NAME;
        if (result != ERROR_SUCCESS) {
            RegCloseKey(key);
            return result;
        }
        subLength = sizeof(subName);
    }
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name);
}

LONG RecurseDeleteKey(HKEY parent, const char* name)
{
    if (name[0] == '\0')
        return ERROR_INVALID_NAME;
    return DeleteKeyTree(parent, name, 1);
}

bool HasSubKeys(HKEY key)
{
    DWORD subKeys = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    return subKeys > 0;
}

bool HasValues(HKEY key)
{
    DWORD values = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    if (values != 1)
        return values > 0;
    char name[4096];
    DWORD length = sizeof(name);
    if (RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    return name[0] != '\0';
}

HRESULT ScriptInterpreter::RunScriptFromResource(LPCOLESTR modulePath, UINT resourceId,
                                                 LPCOLESTR resourceType, BOOL doRegister)
{
    char path[MAX_PATH];
    char type[256];
    if (!WideCharToMultiByte(CP_ACP, 0, modulePath, -1, path, sizeof(path), nullptr, nullptr))
        return LastErrorResult();
    if (!WideCharToMultiByte(CP_ACP, 0, resourceType, -1, type, sizeof(type), nullptr, nullptr))
        return LastErrorResult();

    HMODULE file = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!file)
        return LastErrorResult();
    HRSRC found = FindResourceA(file, MAKEINTRESOURCEA(resourceId), type);
    HGLOBAL loaded = found ? LoadResource(file, found) : nullptr;
    if (!loaded) {
        HRESULT result = LastErrorResult();
        FreeLibrary(file);
        return result;
    }
    // The resource is copied with a NUL of its own: the bytes after it are not ours to read.
    DWORD size = SizeofResource(file, found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    char* text = static_cast<char*>(CoTaskMemAlloc(size + 1));
    if (!bytes || !text) {
        CoTaskMemFree(text);
        FreeLibrary(file);
        return bytes ? E_OUTOFMEMORY : E_FAIL;
    }
    CopyMemory(text, bytes, size);
    text[size] = '\0';
    HRESULT result = RunScript(text, doRegister);
    CoTaskMemFree(text);
    FreeLibrary(file);
    return result;
}

// Output of the preprocessor: a task-allocator buffer that doubles when it is full.
struct ScriptInterpreter::PreprocessOutput {
    char* data;
    size_t used;
    size_t capacity;

    bool Start(size_t size)
    {
        used = 0;
        capacity = size < 16 ? 16 : size;
        data = static_cast<char*>(CoTaskMemAlloc(capacity));
        return data != nullptr;
    }

    bool Make(size_t more)
    {
        while (used + more + 1 > capacity) {
            void* grown = CoTaskMemRealloc(data, capacity * 2);
            if (!grown)
                return false;
            data = static_cast<char*>(grown);
            capacity *= 2;
        }
        return true;
    }

    HRESULT Append(const char* bytes, size_t length)
    {
        if (!Make(length))
            return E_OUTOFMEMORY;
        CopyMemory(data + used, bytes, length);
        used += length;
        return S_OK;
    }
};

// Copies the text with its variables replaced: "%%" is one "%", "%name%" the value of
// the caller's variable. Quotes get no special treatment here.
HRESULT ScriptInterpreter::PreprocessScript(const char* text, char** output)
{
    *output = nullptr;
    PreprocessOutput out;
    if (!out.Start(size_t(lstrlenA(text)) * 2))
        return E_OUTOFMEMORY;

    HRESULT result = S_OK;
    const char* p = text;
    while (*p && SUCCEEDED(result)) {
        if (*p != '%') {
            const char* next = NextChar(p);
            result = out.Append(p, next - p);
            p = next;
        } else if (p[1] == '%') {
            result = out.Append("%", 1);
            p += 2;
        } else {
            result = ReplaceVariable(&p, out);
        }
    }
    if (FAILED(result)) {
        CoTaskMemFree(out.data);
        return result;
    }
    out.data[out.used] = '\0';
    *output = out.data;
    return S_OK;
}

// *p is at the "%" that opens a variable: appends its value in ANSI and moves *p past
// the closing "%".
HRESULT ScriptInterpreter::ReplaceVariable(const char** p, PreprocessOutput& out)
{
    char name[scriptVariableSize];
    int length = 0;
    const char* q = *p + 1;
    while (*q && *q != '%') {
        const char* next = NextChar(q);
        if (length + (next - q) > scriptVariableSize - 1)
            return E_FAIL;
        while (q < next)
            name[length++] = *q++;
    }
    if (*q != '%')
        return DISP_E_EXCEPTION;
    name[length] = '\0';

    LPCOLESTR value = replacements ? replacements->FindReplacement(name) : nullptr;
    if (!value)
        return DISP_E_EXCEPTION;
    int needed = WideCharToMultiByte(CP_ACP, 0, value, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return DISP_E_EXCEPTION;
    if (!out.Make(needed))
        return E_OUTOFMEMORY;
    WideCharToMultiByte(CP_ACP, 0, value, -1, out.data + out.used, needed, nullptr, nullptr);
    out.used += needed - 1;
    *p = q + 1;
    return S_OK;
}

void ScriptInterpreter::SkipWhiteSpace()
{
    while (IsWhiteSpace(*cursor))
        ++cursor;
}

HRESULT ScriptInterpreter::NextToken(char* token)
{
    SkipWhiteSpace();
    if (*cursor == '\0')
        return DISP_E_EXCEPTION;
    int stored = 0;
    if (*cursor == '\'') {
        ++cursor;
        for (;;) {
            if (*cursor == '\0')
                return DISP_E_EXCEPTION;
            if (*cursor == '\'') {
                if (cursor[1] != '\'') {
                    ++cursor;
                    break;
                }
                ++cursor; // a doubled quote stands for one
            }
            if (stored >= scriptTokenSize - 2)
                return DISP_E_EXCEPTION;
            const char* next = NextChar(cursor);
            while (cursor < next)
                token[stored++] = *cursor++;
        }
    } else {
        while (*cursor && !IsWhiteSpace(*cursor)) {
            const char* next = NextChar(cursor);
            if (stored + (next - cursor) > scriptTokenSize - 1)
                return DISP_E_EXCEPTION;
            while (cursor < next)
                token[stored++] = *cursor++;
        }
    }
    token[stored] = '\0';
    return S_OK;
}

// The keywords and the name that open an entry, read alike by every walk. On return the
// token holds the key name or, for a value entry, the value name.
HRESULT ScriptInterpreter::ReadEntryHead(char* token, EntryHead& head)
{
    head.forceRemove = false;
    head.deleteKey = false;
    head.noRemove = false;
    head.isValue = false;
    HRESULT result = S_OK;
    if (IsBlockOpener(token)) // a block belongs right after a key entry
        return DISP_E_EXCEPTION;
    if (lstrcmpiA(token, "ForceRemove") == 0)
        head.forceRemove = true;
    else if (lstrcmpiA(token, "Delete") == 0)
        head.deleteKey = true;
    if (head.forceRemove || head.deleteKey) {
        if (FAILED(result = NextToken(token)))
            return result;
    }
    if (lstrcmpiA(token, "NoRemove") == 0) {
        head.noRemove = true;
        if (FAILED(result = NextToken(token)))
            return result;
    }
    if (!head.forceRemove && !head.deleteKey && lstrcmpiA(token, "Val") == 0) {
        head.isValue = true;
        if (FAILED(result = NextToken(token)))
            return result;
        return EndsInsideCharacter(token) ? DISP_E_EXCEPTION : S_OK;
    }
    // A key entry names one key right below its parent, never the parent itself.
    if (token[0] == '\0' || ContainsBackslash(token) || EndsInsideCharacter(token))
        return DISP_E_EXCEPTION;
    return S_OK;
}

// Keeps the value name (token) in its own buffer and reads the "=" after it.
HRESULT ScriptInterpreter::ReadValueName(char* token, char* valueName)
{
    if (lstrlenA(token) > scriptNameSize - 1)
        return DISP_E_EXCEPTION;
    lstrcpyA(valueName, token);
    HRESULT result = NextToken(token);
    if (FAILED(result))
        return result;
    return token[0] == '=' ? S_OK : DISP_E_EXCEPTION;
}

// The "=" has been read: type letter, value text, then the next token of the walk.
HRESULT ScriptInterpreter::SetValue(char* token, HKEY key, const char* valueName)
{
    char typeText[scriptTokenSize];
    char valueText[scriptTokenSize];
    HRESULT result = NextToken(typeText);
    if (FAILED(result))
        return result;
    const ValueTypeEntry* type = FindValueType(typeText);
    if (!type)
        return DISP_E_EXCEPTION;
    if (FAILED(result = NextToken(valueText)))
        return result;

    int length = lstrlenA(valueText);
    switch (type->type) {
    case REG_SZ:
        RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(valueText),
                       length + 1);
        break;
    case REG_DWORD: {
        WCHAR wide[scriptTokenSize];
        ULONG number = 0;
        if (MultiByteToWideChar(CP_ACP, 0, valueText, -1, wide, scriptTokenSize))
            VarUI4FromStr(wide, 0, 0, &number);
        RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                       sizeof(number));
        break;
    }
    case REG_BINARY: {
        if (length % 2 != 0)
            return E_FAIL;
        BYTE data[scriptTokenSize / 2];
        for (int i = 0; i < length / 2; ++i)
            data[i] = BYTE(HexDigit(valueText[2 * i]) << 4 | HexDigit(valueText[2 * i + 1]));
        RegSetValueExA(key, valueName, 0, REG_BINARY, data, length / 2);
        break;
    }
    }
    return NextToken(token);
}

// After a key name: passes over "= type value" if it stands there.
HRESULT ScriptInterpreter::SkipAssignment(char* token)
{
    if (token[0] != '=')
        return S_OK;
    HRESULT result = NextToken(token);
    if (SUCCEEDED(result))
        result = NextToken(token);
    if (SUCCEEDED(result))
        result = NextToken(token);
    return result;
}

// One block of entries, its "{" already read; returns after its "}". Register and
// unregister go down one level per nested block, as deep as maxBlockDepth. A block they
// do not enter is skipped in place: its entries are read and change nothing, and the blocks
// begun inside it are counted rather than descended into, so that text nested deeper than
// any walk goes is still read to its end.
HRESULT ScriptInterpreter::WalkBlock(char* token, HKEY parent, int depth, WalkAction action)
{
    if (depth > maxBlockDepth)
        return ScriptNestingTooDeep;
    BlockWalk block = { action, parent, depth, nullptr, true, 0 };
    HRESULT result = NextToken(token);
    while (SUCCEEDED(result)) {
        if (token[0] == '}') {
            if (block.skipped-- == 0)
                break;
            result = NextToken(token);
            continue;
        }
        result = WalkEntry(token, block);
    }
    if (block.held && RegCloseKey(block.held) != ERROR_SUCCESS && SUCCEEDED(result))
        result = DISP_E_EXCEPTION;
    return result;
}

// One entry: its keywords and name, then what the walk does with a value or a key.
HRESULT ScriptInterpreter::WalkEntry(char* token, BlockWalk& block)
{
    EntryHead head;
    HRESULT result = ReadEntryHead(token, head);
    if (FAILED(result))
        return result;
    if (block.skipped > 0)
        return head.isValue ? ValueEntry(token, WalkAction::Skip, block)
                            : KeyRest(token, head, nullptr, WalkAction::Skip, block);
    if (head.noRemove)
        block.deleteFlag = false;
    if (head.isValue)
        return ValueEntry(token, block.action, block);
    if (block.action == WalkAction::Register)
        return RegisterKey(token, head, block);
    return UnregisterKey(token, head, block);
}

// "val" name "=" type value: written, deleted or passed over. No block may follow.
HRESULT ScriptInterpreter::ValueEntry(char* token, WalkAction action, BlockWalk& block)
{
    char valueName[scriptNameSize];
    HRESULT result = ReadValueName(token, valueName);
    if (FAILED(result))
        return result;
    if (action == WalkAction::Register) {
        result = SetValue(token, block.parent, valueName);
    } else {
        if (action == WalkAction::Unregister)
            RegDeleteValueA(block.parent, valueName);
        result = SkipAssignment(token);
    }
    if (SUCCEEDED(result) && IsBlockOpener(token))
        result = DISP_E_EXCEPTION;
    return result;
}

// After a key name: the assignment, written to key when registering and passed over
// otherwise, then a block that follows, walked below key with the given action or skipped.
HRESULT ScriptInterpreter::KeyRest(char* token, const EntryHead& head, HKEY key, WalkAction action,
                                   BlockWalk& block)
{
    HRESULT result = NextToken(token);
    if (SUCCEEDED(result) && token[0] == '=') {
        result =
            action == WalkAction::Register ? SetValue(token, key, nullptr) : SkipAssignment(token);
    }
    if (FAILED(result) || !IsBlockOpener(token))
        return result;
    if (head.deleteKey) // "Delete" names a key to remove, never one to fill
        return DISP_E_EXCEPTION;
    if (action == WalkAction::Skip) {
        ++block.skipped;
        return NextToken(token);
    }
    result = WalkBlock(token, key, block.depth + 1, action);
    if (SUCCEEDED(result))
        result = NextToken(token);
    return result;
}

// Register: "ForceRemove" and "Delete" first remove the key with everything below it;
// then, unless it was "Delete", the key is opened or created and filled.
HRESULT ScriptInterpreter::RegisterKey(char* token, const EntryHead& head, BlockWalk& block)
{
    if ((head.forceRemove || head.deleteKey) && !IsProtectedKey(token))
        RecurseDeleteKey(block.parent, token);
    if (head.deleteKey)
        return KeyRest(token, head, nullptr, WalkAction::Skip, block);

    HKEY key = nullptr;
    if (RegOpenKeyExA(block.parent, token, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS &&
        RegOpenKeyExA(block.parent, token, 0, KEY_READ, &key) != ERROR_SUCCESS &&
        RegCreateKeyExA(block.parent, token, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return DISP_E_EXCEPTION;
    if (block.held)
        RegCloseKey(block.held);
    block.held = key;
    return KeyRest(token, head, key, WalkAction::Register, block);
}

// Unregister: the named values and subkeys of the key first, then the key itself when no
// subkey is left and no "NoRemove" came before it in this block.
HRESULT ScriptInterpreter::UnregisterKey(char* token, const EntryHead& head, BlockWalk& block)
{
    // Registry key names are shorter than this buffer; a longer name cannot exist.
    char keyName[scriptNameSize];
    bool fits = lstrlenA(token) < scriptNameSize;
    if (fits)
        lstrcpyA(keyName, token);
    // Opened for writing too, so that the values its block names can be deleted.
    HKEY parent = block.parent;
    HKEY key = nullptr;
    bool opened = fits &&
        (RegOpenKeyExA(parent, keyName, 0, KEY_READ | KEY_WRITE, &key) == ERROR_SUCCESS ||
         RegOpenKeyExA(parent, keyName, 0, KEY_READ, &key) == ERROR_SUCCESS);
    if (!opened) // nothing to remove here
        return KeyRest(token, head, nullptr, WalkAction::Skip, block);

    if (!HasSubKeys(key) && !HasValues(key)) {
        // Nothing below it but its default value: it goes at once.
        if (RegCloseKey(key) != ERROR_SUCCESS)
            return DISP_E_EXCEPTION;
        if (block.deleteFlag)
            RegDeleteKeyA(parent, keyName);
        return KeyRest(token, head, nullptr, WalkAction::Skip, block);
    }

    HRESULT result = KeyRest(token, head, key, WalkAction::Unregister, block);
    if (FAILED(result)) {
        RegCloseKey(key);
        return result;
    }
    // A key that still has subkeys holds entries the script did not write: it stays.
    bool keep = HasSubKeys(key);
    if (RegCloseKey(key) != ERROR_SUCCESS)
        return DISP_E_EXCEPTION;
    if (!keep && block.deleteFlag)
        RegDeleteKeyA(parent, keyName);
    return result;
}

HRESULT ScriptInterpreter::RunScript(const char* text, BOOL doRegister)
{
    char* script;
    HRESULT result = PreprocessScript(text, &script);
    if (FAILED(result))
        return result;

    char token[scriptTokenSize];
    cursor = script;
    while (*cursor) {
        if (FAILED(result = NextToken(token)))
            break;
        HKEY root = FindRootKey(token);
        if (root == HKEY_CLASSES_ROOT)
            root = classesRoot;
        else if (classesRoot != HKEY_CLASSES_ROOT)
            root = nullptr; // one user's registration writes nothing for the machine
        if (!root) {
            result = DISP_E_EXCEPTION;
            break;
        }
        if (FAILED(result = NextToken(token)))
            break;
        if (token[0] != '{') {
            result = DISP_E_EXCEPTION;
            break;
        }
        char* blockStart = cursor;
        if (doRegister) {
            result = WalkBlock(token, root, 1, WalkAction::Register);
            if (FAILED(result)) {
                // Take back what this root block wrote; earlier blocks stay registered.
                cursor = blockStart;
                WalkBlock(token, root, 1, WalkAction::Unregister);
                break;
            }
        } else if (FAILED(result = WalkBlock(token, root, 1, WalkAction::Unregister))) {
            break;
        }
        SkipWhiteSpace();
    }
    CoTaskMemFree(script);
    cursor = nullptr;
    return result;
}
