// Randomized run of the registry script interpreter: generated, mutated and random
// scripts are registered and unregistered against throw-away roots. Every run must end,
// without a crash, in one of the interpreter's documented results.
//   registry_fuzz_test [count [seed]]     (or PELIM_FUZZ_COUNT / PELIM_FUZZ_SEED)
// All seven predefined roots are redirected below HKCU\Software\PelimFuzz for the run.
#include "comserver/ModuleAllocator.h"
#include "comserver/ReplacementMap.h"
#include "comserver/ScriptInterpreter.h"
#include "comserver/ServerModule.h"

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <stdint.h>
#include <string>

ServerModule serverModule;

namespace {

struct Rng {
    uint64_t state;
    uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return uint32_t(state >> 16);
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
    bool Chance(uint32_t percent) { return Below(100) < percent; }
};

const char* const rootNames[] = { "HKCR",
                                  "HKCU",
                                  "HKLM",
                                  "HKU",
                                  "HKPD",
                                  "HKDD",
                                  "HKCC",
                                  "HKEY_CLASSES_ROOT",
                                  "hkey_current_user",
                                  "HKEY_LOCAL_MACHINE",
                                  "HKEY_USERS",
                                  "HKEY_CURRENT_CONFIG",
                                  "HKXX" };
const char* const keyNames[] = { "FuzzA",    "FuzzB",      "FuzzC",       "CLSID",        "TypeLib",
                                 "ソフト",   "表",         "'q''t'",      "{Id}",         "Glued{",
                                 "=",        "}",          "''",          "Val",          "'Val'",
                                 "NoRemove", "'NoRemove'", "ForceRemove", "Delete",       "a\\b",
                                 "%MODULE%", "'%MODULE%'", "100%%",       "'with space'", "{" };
const char* const prefixes[] = { "",
                                 "",
                                 "",
                                 "ForceRemove ",
                                 "Delete ",
                                 "NoRemove ",
                                 "ForceRemove NoRemove ",
                                 "forceremove ",
                                 "DELETE NoRemove " };
const char* const types[] = { "s", "S", "d", "D", "b", "B", "x", "sz", "''" };
const char* const specials[] = { "{",         "}",       "'",        "''",        "%",
                                 "%%",        "=",       "\\",       "\x83\x5C",  "\x83",
                                 " ",         "\r\n",    "\t",       "val ",      "ForceRemove ",
                                 "NoRemove ", "Delete ", "%MODULE%", "%UNKNOWN%", "{ ",
                                 " }",        " = s ''" };

const char* Pick(Rng& rng, const char* const* table, size_t count)
{
    return table[rng.Below(uint32_t(count))];
}
#define PICK(rng, table) Pick(rng, table, sizeof(table) / sizeof(table[0]))

std::string Space(Rng& rng)
{
    static const char* const spaces[] = { " ", " ", "\r\n", "\t", "\n", "\r\n\t\t", "" };
    return PICK(rng, spaces);
}

std::string Value(Rng& rng)
{
    std::string text;
    switch (rng.Below(8)) {
    case 0:
        text = "1A2B";
        break;
    case 1:
        text = std::to_string(rng.Next());
        break;
    case 2:
        text = "%MODULE%";
        break;
    case 3:
        text = "ABC";
        break;
    case 4:
        text = "ドラッグ＆ドロップ";
        break;
    case 5:
        text = "it''s";
        break;
    case 6:
        text = std::string(4090 + rng.Below(8), 'v');
        break;
    default:
        text = "";
        break;
    }
    return rng.Chance(90) ? "'" + text + "'" : text;
}

std::string Entries(Rng& rng, int depth, int maxDepth);

std::string Entry(Rng& rng, int depth, int maxDepth)
{
    if (maxDepth >= 60 && depth < maxDepth && rng.Chance(97))
        return "FuzzD {\r\n" + Entries(rng, depth + 1, maxDepth) + "}";
    if (rng.Chance(25)) {
        return std::string("val") + Space(rng) + PICK(rng, keyNames) + Space(rng) +
            (rng.Chance(90) ? "=" : "") + Space(rng) + PICK(rng, types) + Space(rng) + Value(rng);
    }
    std::string text = std::string(PICK(rng, prefixes)) + PICK(rng, keyNames);
    if (rng.Chance(40))
        text += Space(rng) + "=" + Space(rng) + PICK(rng, types) + Space(rng) + Value(rng);
    if (depth < maxDepth && rng.Chance(depth < 4 ? 60 : 95))
        text +=
            Space(rng) + "{" + Space(rng) + Entries(rng, depth + 1, maxDepth) + Space(rng) + "}";
    return text;
}

std::string Entries(Rng& rng, int depth, int maxDepth)
{
    std::string text;
    int count = maxDepth >= 60 ? 1 : depth < 4 ? int(rng.Below(4)) : int(rng.Below(2));
    for (int i = 0; i < count; ++i)
        text += Entry(rng, depth, maxDepth) + "\r\n";
    return text;
}

std::string Generated(Rng& rng)
{
    std::string text;
    int blocks = 1 + int(rng.Below(3));
    int maxDepth = rng.Chance(3) ? 60 + int(rng.Below(10)) : 1 + int(rng.Below(5));
    for (int i = 0; i < blocks; ++i) {
        text += std::string(PICK(rng, rootNames)) + Space(rng) + (rng.Chance(95) ? "{" : "{x") +
            Space(rng) + Entries(rng, 1, maxDepth) + "}" + Space(rng);
    }
    return text;
}

// The product's own script, as it stands in the built DLL's resources (P: is the build's
// folder); empty when it cannot be read.
std::string RealScript()
{
    std::string text;
    HMODULE file = LoadLibraryExA("P:\\pelim102.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC script = file ? FindResourceA(file, MAKEINTRESOURCEA(101), "REGISTRY") : nullptr;
    if (script)
        text.assign(static_cast<const char*>(LockResource(LoadResource(file, script))),
                    SizeofResource(file, script));
    if (file)
        FreeLibrary(file);
    return text;
}

std::string Mutated(Rng& rng, std::string text)
{
    int operations = 1 + int(rng.Below(4));
    for (int i = 0; i < operations; ++i) {
        size_t at = text.empty() ? 0 : rng.Below(uint32_t(text.size() + 1));
        switch (rng.Below(6)) {
        case 0:
            text.erase(at, rng.Below(12));
            break;
        case 1:
            text.insert(at, PICK(rng, specials));
            break;
        case 2:
            if (at < text.size())
                text[at] = char(rng.Below(256) | 1); // never a NUL inside
            break;
        case 3:
            text.insert(at, text.substr(at, rng.Below(40)));
            break;
        case 4:
            text.resize(at);
            break;
        default:
            text.insert(at, std::string(4090 + rng.Below(10), 'L'));
            break;
        }
    }
    return text;
}

std::string RandomBytes(Rng& rng)
{
    static const char alphabet[] = "{}'=%\\ \r\n\tvalNoRemoveForceDeletesdbHKCR\x83\x5C\x81";
    std::string text;
    int length = int(rng.Below(200));
    for (int i = 0; i < length; ++i)
        text +=
            rng.Chance(90) ? alphabet[rng.Below(sizeof(alphabet) - 1)] : char(1 + rng.Below(255));
    return text;
}

bool Documented(HRESULT result)
{
    return result == S_OK || result == E_FAIL || result == DISP_E_EXCEPTION ||
        result == E_OUTOFMEMORY || result == ScriptNestingTooDeep;
}

// Every key below a root has a name that can be used again: none empty when read back
// (a name with a NUL character opens as its own parent).
bool KeysNameable(HKEY key, int depth)
{
    if (depth > 80)
        return false;
    for (DWORD i = 0;; ++i) {
        char name[512];
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return true;
        HKEY sub;
        if (name[0] == '\0' || RegOpenKeyExA(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS)
            return name[0] != '\0';
        bool nameable = KeysNameable(sub, depth + 1);
        RegCloseKey(sub);
        if (!nameable)
            return false;
    }
}

struct FuzzRun {
    long count;
    uint64_t seed;
    HKEY roots[7];
    volatile LONG done;
    long results[6]; // S_OK, E_FAIL, DISP_E_EXCEPTION, E_OUTOFMEMORY, too deep, other
    std::string current;
    bool failed;
};

const HKEY predefined[7] = { HKEY_CLASSES_ROOT,  HKEY_CURRENT_USER,     HKEY_LOCAL_MACHINE,
                             HKEY_USERS,         HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA,
                             HKEY_CURRENT_CONFIG };

int ResultSlot(HRESULT result)
{
    if (result == S_OK)
        return 0;
    if (result == E_FAIL)
        return 1;
    if (result == DISP_E_EXCEPTION)
        return 2;
    if (result == E_OUTOFMEMORY)
        return 3;
    if (result == ScriptNestingTooDeep)
        return 4;
    return 5;
}

DWORD WINAPI FuzzThread(void* parameter)
{
    FuzzRun& run = *static_cast<FuzzRun*>(parameter);
    ReplacementMap map;
    map.AddReplacement(L"Module", L"S:\\fuzz\\it''s\\pelim102.dll");
    map.AddReplacement(L"Other", L"%Module%");
    const std::string real = RealScript();
    if (real.empty()) {
        printf("the DLL's registry script cannot be read\n");
        run.failed = true;
        return 0;
    }
    for (long i = 0; i < run.count; ++i) {
        Rng rng { run.seed * 0x9E3779B97F4A7C15ull + uint64_t(i) * 0xBF58476D1CE4E5B9ull + 1 };
        rng.Next();
        std::string text;
        switch (rng.Below(5)) {
        case 0:
            text = Generated(rng);
            break;
        case 1:
            text = Mutated(rng, Generated(rng));
            break;
        case 2:
            text = Mutated(rng, real);
            break;
        case 3:
            text = RandomBytes(rng);
            break;
        default:
            text = rng.Chance(50) ? real : Mutated(rng, Mutated(rng, real));
            break;
        }
        run.current = text;
        for (int pass = 0; pass < 2; ++pass) {
            ScriptInterpreter interpreter(&map);
            HRESULT result = interpreter.RunScript(text.c_str(), pass == 0);
            ++run.results[ResultSlot(result)];
            if (!Documented(result)) {
                printf("script %ld (seed %llu) %s: undocumented result 0x%08lX\n", i,
                       (unsigned long long)run.seed, pass == 0 ? "register" : "unregister",
                       (unsigned long)result);
                run.failed = true;
            }
        }
        if (i % 256 == 255 || i == run.count - 1) {
            for (HKEY root : run.roots) {
                if (!KeysNameable(root, 0)) {
                    printf("script %ld or one of the 255 before it (seed %llu) wrote a key that "
                           "cannot be named again\n",
                           i, (unsigned long long)run.seed);
                    run.failed = true;
                    return 0;
                }
                RegDeleteTreeA(root, nullptr);
            }
        }
        InterlockedIncrement(&run.done);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0); // what was printed survives a crash
    InitHeaps();
    FuzzRun run = {};
    run.count = 10000;
    run.seed = 20261207;
    if (const char* count = getenv("PELIM_FUZZ_COUNT"))
        run.count = atol(count);
    if (const char* seed = getenv("PELIM_FUZZ_SEED"))
        run.seed = strtoull(seed, nullptr, 10);
    if (argc > 1 && !getenv("PELIM_FUZZ_COUNT"))
        run.count = atol(argv[1]);
    if (argc > 2)
        run.seed = strtoull(argv[2], nullptr, 10);

    HKEY base;
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\PelimFuzz");
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\PelimFuzz", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &base, nullptr) != ERROR_SUCCESS) {
        printf("cannot create the throw-away root\n");
        return 1;
    }
    const char* const rootKeyNames[7] = { "HKCR", "HKCU", "HKLM", "HKU", "HKPD", "HKDD", "HKCC" };
    for (int i = 0; i < 7; ++i) {
        if (RegCreateKeyExA(base, rootKeyNames[i], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &run.roots[i], nullptr) != ERROR_SUCCESS) {
            printf("cannot create %s\n", rootKeyNames[i]);
            return 1;
        }
        LONG overridden = RegOverridePredefKey(predefined[i], run.roots[i]);
        if (overridden != ERROR_SUCCESS && i < 4) {
            printf("cannot redirect %s: %ld\n", rootKeyNames[i], overridden);
            return 1;
        }
    }

    // The redirection must hold before anything is written through the roots.
    {
        ScriptInterpreter probe(nullptr);
        HRESULT written =
            probe.RunScript("HKLM { FuzzProbe } HKCR { FuzzProbe } HKCU { FuzzProbe }", TRUE);
        HKEY key;
        bool landed = written == S_OK &&
            RegOpenKeyExA(run.roots[2], "FuzzProbe", 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (landed)
            RegCloseKey(key);
        if (!landed) {
            printf("the roots are not redirected (0x%08lX)\n", (unsigned long)written);
            return 1;
        }
    }

    DWORD start = GetTickCount();
    HANDLE thread = CreateThread(nullptr, 8 << 20, FuzzThread, &run, 0, nullptr);
    LONG lastDone = -1;
    DWORD lastChange = GetTickCount();
    bool hung = false;
    while (WaitForSingleObject(thread, 200) == WAIT_TIMEOUT) {
        if (run.done != lastDone) {
            if (run.done / 50000 != lastDone / 50000 && run.done > 0)
                printf("%ld scripts done\n", long(run.done));
            lastDone = run.done;
            lastChange = GetTickCount();
        } else if (GetTickCount() - lastChange > 30000) {
            printf("no progress for 30 s at script %ld (seed %llu):\n%s\n", long(run.done),
                   (unsigned long long)run.seed, run.current.c_str());
            hung = true;
            break;
        }
    }
    if (hung) {
        fflush(stdout);
        TerminateProcess(GetCurrentProcess(), 2);
    }
    CloseHandle(thread);
    DWORD elapsed = GetTickCount() - start;

    for (int i = 0; i < 7; ++i) {
        RegOverridePredefKey(predefined[i], nullptr);
        RegCloseKey(run.roots[i]);
    }
    RegCloseKey(base);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\PelimFuzz");
    // Nothing reached the real roots.
    const char* const markers[] = { "FuzzA", "FuzzB", "FuzzC", "FuzzProbe" };
    for (HKEY root : predefined) {
        for (const char* marker : markers) {
            HKEY key;
            if (RegOpenKeyExA(root, marker, 0, KEY_READ, &key) == ERROR_SUCCESS) {
                RegCloseKey(key);
                printf("a script reached the real root: %s\n", marker);
                run.failed = true;
            }
        }
    }

    printf("%ld scripts (seed %llu), each registered and unregistered, in %lu ms\n", run.count,
           (unsigned long long)run.seed, (unsigned long)elapsed);
    printf("results: S_OK %ld, E_FAIL %ld, DISP_E_EXCEPTION %ld, E_OUTOFMEMORY %ld, "
           "nesting too deep %ld, other %ld\n",
           run.results[0], run.results[1], run.results[2], run.results[3], run.results[4],
           run.results[5]);
    TermHeaps();
    return run.failed ? 1 : 0;
}
