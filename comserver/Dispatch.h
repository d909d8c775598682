// The IDispatch methods of ChangeName's dispatch face, answered from the type
// information of IChangeName in the registered type library.
#pragma once

#include <windows.h>
#include <oaidl.h>

HRESULT DispatchGetTypeInfoCount(UINT* pctinfo);
HRESULT DispatchGetTypeInfo(UINT index, LCID lcid, ITypeInfo** pptinfo);
HRESULT DispatchGetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* dispids);
HRESULT DispatchInvoke(IDispatch* self, DISPID dispid, REFIID riid, LCID lcid, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);
