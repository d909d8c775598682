// Self-registration of the pelim COM server: the class's registry entries, written from
// the registry script among the module's resources, and the type library.
#pragma once

#include <windows.h>
#include <oaidl.h>

// Every function takes the key that the script's HKCR stands for: HKEY_CLASSES_ROOT for
// the machine (DllRegisterServer), an open HKCU\Software\Classes for the calling user
// alone (DllInstall), whose type library is then registered for that user as well.

// Adds (doRegister nonzero) or removes the registry entries of ChangeName.
HRESULT UpdateChangeNameRegistry(BOOL doRegister, HKEY classesRoot);

// Runs the registry script resource of the module (variable "Module": the DLL's path).
HRESULT RunRegistryResource(UINT resourceId, BOOL doRegister, HKEY classesRoot);
// The class map's registry entries, then (withTypeLib) the type library.
HRESULT RegisterModule(BOOL withTypeLib, HKEY classesRoot);
HRESULT UnregisterModule(BOOL withTypeLib, HKEY classesRoot);
// The type library from the module's resources, or from the .tlb file beside it.
HRESULT LoadModuleTypeLib(ITypeLib** library, BSTR* loadedPath);
HRESULT RegisterModuleTypeLib(HKEY classesRoot);
HRESULT UnregisterModuleTypeLib(HKEY classesRoot);
