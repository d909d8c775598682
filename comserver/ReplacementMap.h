// The variables of a registry script: an ordered list of (name, value) pairs that the
// caller fills before the script runs; "%name%" in the script is replaced by the value.
#pragma once

#include <windows.h>

struct ReplacementPair {
    LPOLESTR name; // copies from the COM task allocator, owned by the map
    LPOLESTR value;
};

class ReplacementMap {
public:
    ReplacementPair** pairs; // the pair records and this array come from ModuleAlloc
    int count;
    int slots;

    ReplacementMap() : pairs(nullptr), count(0), slots(0) {}
    ~ReplacementMap();

    HRESULT AddReplacement(LPCOLESTR name, LPCOLESTR value);
    void ClearReplacements();
    // The value of the first pair whose name matches (ANSI, without regard to case), or null.
    LPCOLESTR FindReplacement(const char* name) const;

private:
    ReplacementMap(const ReplacementMap&) = delete;
    ReplacementMap& operator=(const ReplacementMap&) = delete;
};
