// The IDispatch methods of ChangeName's dispatch face, answered from the type
// information of IChangeName that the one TypeInfoHolder keeps.
#include "comserver/Dispatch.h"
#include "comserver/TypeInfoHolder.h"

HRESULT DispatchGetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

HRESULT DispatchGetTypeInfo(UINT index, LCID lcid, ITypeInfo** pptinfo)
{
    return changeNameTypeInfo.GetTypeInfo(index, lcid, pptinfo);
}

HRESULT DispatchGetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* dispids)
{
    return changeNameTypeInfo.GetIDsOfNames(riid, names, count, lcid, dispids);
}

HRESULT DispatchInvoke(IDispatch* self, DISPID dispid, REFIID riid, LCID lcid, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr)
{
    return changeNameTypeInfo.Invoke(self, dispid, riid, lcid, flags, params, result, excepInfo,
                                     argErr);
}
