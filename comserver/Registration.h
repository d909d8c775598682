// Self-registration of the pelim COM server: the class's registry entries, written from
// the registry script among the module's resources, and the type library.
#pragma once

#include <windows.h>
#include <oaidl.h>

// Adds (doRegister nonzero) or removes the registry entries of ChangeName.
HRESULT UpdateChangeNameRegistry(BOOL doRegister);

// Runs the registry script resource of the module (variable "Module": the DLL's path).
HRESULT RunRegistryResource(UINT resourceId, BOOL doRegister);
// The class map's registry entries, then (withTypeLib) the type library.
HRESULT RegisterModule(BOOL withTypeLib);
HRESULT UnregisterModule(BOOL withTypeLib);
// The type library from the module's resources, or from the .tlb file beside it.
HRESULT LoadModuleTypeLib(ITypeLib** library, BSTR* loadedPath);
HRESULT RegisterModuleTypeLib();
HRESULT UnregisterModuleTypeLib();
