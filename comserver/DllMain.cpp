// The entry points of pelim102.dll: process attach and detach, the unload test and the
// class objects of the class map (one class, ChangeName).
#include "comserver/ServerModule.h"
#include "comserver/ClassFactory.h"
#include "comserver/Identifiers.h"
#include "comserver/Registration.h"
#include "ext/ChangeName.h"

#include <string.h>

static ClassEntry classMap[] = {
    { &CLSID_ChangeName, UpdateChangeNameRegistry, ClassFactory::Create, ChangeName::Create,
      nullptr },
    { nullptr, nullptr, nullptr, nullptr, nullptr },
};

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        InitModule(classMap, instance);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        TermModule();
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return serverModule.lockCount == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    HRESULT result = S_OK;
    for (ClassEntry* entry = serverModule.classMap; entry->clsid; ++entry) {
        if (!entry->getClassObject || memcmp(entry->clsid, &rclsid, sizeof(CLSID)) != 0)
            continue;
        if (!entry->classObject) {
            EnterCriticalSection(&serverModule.classMapLock);
            if (!entry->classObject) {
                result = entry->getClassObject(entry->createInstance, IID_IUnknown,
                                               reinterpret_cast<void**>(&entry->classObject));
            }
            LeaveCriticalSection(&serverModule.classMapLock);
        }
        if (entry->classObject)
            result = entry->classObject->QueryInterface(riid, ppv);
        break;
    }
    if (!*ppv && result == S_OK)
        return CLASS_E_CLASSNOTAVAILABLE;
    return result;
}
