// The variables of a registry script. The array starts with room for ten pairs and
// doubles when it is full; names and values are UTF-16 copies owned by the map.
#include "comserver/ReplacementMap.h"
#include "comserver/ModuleAllocator.h"

#include <objbase.h>

static LPOLESTR CopyString(LPCOLESTR text)
{
    size_t bytes = (lstrlenW(text) + 1) * sizeof(OLECHAR);
    LPOLESTR copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (copy)
        CopyMemory(copy, text, bytes);
    return copy;
}

ReplacementMap::~ReplacementMap()
{
    ClearReplacements();
    ModuleFree(pairs);
    pairs = nullptr;
    slots = 0;
}

HRESULT ReplacementMap::AddReplacement(LPCOLESTR name, LPCOLESTR value)
{
    if (!name || !value)
        return E_INVALIDARG;
    if (count == slots) {
        int grown = slots ? slots * 2 : 10;
        void* block = ModuleRealloc(pairs, grown * sizeof(ReplacementPair*));
        if (!block)
            return E_OUTOFMEMORY;
        pairs = static_cast<ReplacementPair**>(block);
        slots = grown;
    }
    ReplacementPair* pair = static_cast<ReplacementPair*>(ModuleAlloc(sizeof(ReplacementPair)));
    if (!pair)
        return E_OUTOFMEMORY;
    pair->name = CopyString(name);
    pair->value = CopyString(value);
    if (!pair->name || !pair->value) {
        CoTaskMemFree(pair->name);
        CoTaskMemFree(pair->value);
        ModuleFree(pair);
        return E_OUTOFMEMORY;
    }
    pairs[count++] = pair;
    return S_OK;
}

void ReplacementMap::ClearReplacements()
{
    for (int i = 0; i < count; ++i) {
        CoTaskMemFree(pairs[i]->name);
        CoTaskMemFree(pairs[i]->value);
        ModuleFree(pairs[i]);
        pairs[i] = nullptr;
    }
    count = 0;
}

LPCOLESTR ReplacementMap::FindReplacement(const char* name) const
{
    // Variable names are shorter than 32 bytes; a pair name that does not fit this
    // buffer in ANSI cannot match one and is passed over.
    char pairName[64];
    for (int i = 0; i < count; ++i) {
        int length = WideCharToMultiByte(CP_ACP, 0, pairs[i]->name, -1, pairName, sizeof(pairName),
                                         nullptr, nullptr);
        if (length == 0)
            continue;
        if (lstrcmpiA(pairName, name) == 0)
            return pairs[i]->value;
    }
    return nullptr;
}
