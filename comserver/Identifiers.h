// The identifiers of the pelim COM server: the class ChangeName, its dispatch interface
// IChangeName and the type library PELIMLib (version 1.0) that describes them.
#pragma once

#include <windows.h>
#include <oaidl.h>

extern const CLSID CLSID_ChangeName; // CHANGENAME_CLASS_ID (common/ClassId.h)
extern const IID IID_IChangeName; // {8D835F8D-429F-427E-8E0A-6BCD208BE5EE}
extern const GUID LIBID_PELIMLib; // {09453CB6-62C4-4355-94A7-058CE2686EC6}
const WORD PELIMLibMajorVersion = 1;
const WORD PELIMLibMinorVersion = 0;

// IChangeName: a dual interface with no members of its own beyond those of IDispatch.
struct IChangeName : public IDispatch {};
