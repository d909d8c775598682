// The registry script interpreter: reads a registry script (code page 932 text) and
// creates the keys and values it names, or removes them again.
//
// Results: S_OK; E_OUTOFMEMORY (no memory for the preprocessed text); E_FAIL (variable
// name of 32 bytes or more, "B" value of odd length, a key or module path that cannot be
// read); DISP_E_EXCEPTION (any other fault of the text, a key that cannot be created or
// closed); ScriptNestingTooDeep (blocks nested deeper than maxBlockDepth); the HRESULT
// of the system error when the module or its resource cannot be loaded.
#pragma once

#include <windows.h>

class ReplacementMap;

const int scriptTokenSize = 4096;      // every token, keyword and key name
const int scriptNameSize = 260;        // value names; key names kept for deletion
const int scriptVariableSize = 32;     // variable names, with their NUL
const int maxBlockDepth = 64;          // the root block is depth 1
const HRESULT ScriptNestingTooDeep = HRESULT_FROM_WIN32(ERROR_STACK_OVERFLOW);

class ScriptInterpreter {
public:
    char* cursor;                      // into the preprocessed text
    ReplacementMap* replacements;      // the caller's variables

    explicit ScriptInterpreter(ReplacementMap* map) : cursor(nullptr), replacements(map) {}

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

    HRESULT PreprocessScript(const char* text, char** output);
    void SkipWhiteSpace();
    HRESULT NextToken(char* token);
    HRESULT ReadEntryHead(char* token, EntryHead& head);
    HRESULT ReadValueName(char* token, char* valueName);
    HRESULT SetValue(char* token, HKEY key, const char* valueName);
    HRESULT SkipAssignment(char* token);
    HRESULT RegisterBlock(char* token, HKEY parent, int depth);
    HRESULT UnregisterBlock(char* token, HKEY parent, int depth);
    HRESULT SkipBlock(char* token);
    HRESULT SkipKeyRest(char* token, const EntryHead& head);
};

// Deletes parent\name with every key below it; the system error code, 0 on success.
LONG RecurseDeleteKey(HKEY parent, const char* name);
bool HasSubKeys(HKEY key);
// True when the key holds a named value; its unnamed default value alone does not count.
bool HasValues(HKEY key);
