// The registry script interpreter: reads a registry script (code page 932 text) and
// creates the keys and values it names, or removes them again.
//
// Results: S_OK; E_OUTOFMEMORY (no memory for the preprocessed text); E_FAIL (variable
// name of 32 bytes or more, "B" value of odd length, a key or module path that cannot be
// read); DISP_E_EXCEPTION (any other fault of the text, a key that cannot be created or
// closed, a root other than HKCR when the classes are the user's); ScriptNestingTooDeep
// (blocks nested deeper than maxBlockDepth); the HRESULT of the system error when the
// module or its resource cannot be loaded.
#pragma once

#include <windows.h>

class ReplacementMap;

const int scriptTokenSize = 4096; // every token, keyword and key name
const int scriptNameSize = 260; // value names; key names kept for deletion
const int scriptVariableSize = 32; // variable names, with their NUL
// The register and unregister walks go one call deeper per nested block: the bound keeps
// any script from running the stack dry. The root block is depth 1.
const int maxBlockDepth = 64;
const HRESULT ScriptNestingTooDeep = HRESULT_FROM_WIN32(ERROR_STACK_OVERFLOW);

class ScriptInterpreter {
public:
    char* cursor; // into the preprocessed text
    ReplacementMap* replacements; // the caller's variables
    // The key that "HKCR" stands for: HKEY_CLASSES_ROOT, or an open HKCU\Software\Classes
    // for one user's registration, which refuses every other root.
    HKEY classesRoot;

    explicit ScriptInterpreter(ReplacementMap* map, HKEY classes = HKEY_CLASSES_ROOT)
        : cursor(nullptr), replacements(map), classesRoot(classes)
    {
    }

    HRESULT RunScriptFromResource(LPCOLESTR modulePath, UINT resourceId, LPCOLESTR resourceType,
                                  BOOL doRegister);
    HRESULT RunScript(const char* text, BOOL doRegister);

private:
    struct EntryHead {
        bool forceRemove;
        bool deleteKey;
        bool noRemove;
        bool isValue;
    };

    // What a walk does with the entries of a block: register writes them; unregister
    // removes them; skip reads them and changes nothing (the block of an entry whose key is
    // missing, or that names nothing to write).
    enum class WalkAction { Register, Unregister, Skip };

    // One block being walked.
    struct BlockWalk {
        WalkAction action; // register or unregister
        HKEY parent;
        int depth; // the root block is depth 1
        HKEY held; // register: the key last opened here, closed when the block ends
        bool deleteFlag; // unregister: cleared by "NoRemove" for the rest of the block
        int skipped; // blocks begun inside it that are skipped and not yet ended
    };

    struct PreprocessOutput;

    HRESULT PreprocessScript(const char* text, char** output);
    HRESULT ReplaceVariable(const char** p, PreprocessOutput& out);
    void SkipWhiteSpace();
    HRESULT NextToken(char* token);
    HRESULT ReadEntryHead(char* token, EntryHead& head);
    HRESULT ReadValueName(char* token, char* valueName);
    HRESULT SetValue(char* token, HKEY key, const char* valueName);
    HRESULT SkipAssignment(char* token);
    HRESULT WalkBlock(char* token, HKEY parent, int depth, WalkAction action);
    HRESULT WalkEntry(char* token, BlockWalk& block);
    HRESULT ValueEntry(char* token, WalkAction action, BlockWalk& block);
    HRESULT RegisterKey(char* token, const EntryHead& head, BlockWalk& block);
    HRESULT UnregisterKey(char* token, const EntryHead& head, BlockWalk& block);
    HRESULT KeyRest(char* token, const EntryHead& head, HKEY key, WalkAction action,
                    BlockWalk& block);
};

// Deletes parent\name with every key below it; the system error code, 0 on success.
LONG RecurseDeleteKey(HKEY parent, const char* name);
bool HasSubKeys(HKEY key);
// True when the key holds a named value; its unnamed default value alone does not count.
bool HasValues(HKEY key);
