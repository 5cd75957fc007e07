// sonvex-typelib-doc: prints the classes and interfaces of a type library (a .tlb file or the
// one embedded in a DLL) as Markdown tables, for the reference page of the guide. Names,
// DISPIDs, slots, parameter types and directions all come from the library itself.
//     sonvex-typelib-doc Sonvex2.dll
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/com/com_ptr.h"

namespace {

std::string narrow(const wchar_t* text) {
    std::string s;
    for (; text && *text; ++text) s += *text < 128 ? (char)*text : '?';
    return s;
}

std::string guidText(const GUID& guid) {
    wchar_t text[64];
    StringFromGUID2(guid, text, 64);
    return narrow(text);
}

std::string typeName(ITypeInfo* info, const TYPEDESC& type) {
    switch (type.vt) {
    case VT_I2: return "SHORT";
    case VT_I4: return "LONG";
    case VT_R4: return "FLOAT";
    case VT_R8: return "DOUBLE";
    case VT_BSTR: return "BSTR";
    case VT_BOOL: return "VARIANT_BOOL";
    case VT_VARIANT: return "VARIANT";
    case VT_HRESULT: return "HRESULT";
    case VT_VOID: return "void";
    case VT_PTR: return typeName(info, *type.lptdesc) + "*";
    case VT_SAFEARRAY: return "SAFEARRAY(" + typeName(info, *type.lptdesc) + ")";
    case VT_USERDEFINED: {
        com::ptr<ITypeInfo> referenced;
        std::string name = "?";
        if (SUCCEEDED(info->GetRefTypeInfo(type.hreftype, referenced.put()))) {
            BSTR text = nullptr;
            referenced->GetDocumentation(MEMBERID_NIL, &text, nullptr, nullptr, nullptr);
            name = narrow(text);
            SysFreeString(text);
        }
        return name;
    }
    default: return "VT_" + std::to_string(type.vt);
    }
}

std::string direction(USHORT flags) {
    std::string d;
    if (flags & PARAMFLAG_FIN) d += "in";
    if (flags & PARAMFLAG_FOUT) d += d.empty() ? "out" : ", out";
    if (flags & PARAMFLAG_FRETVAL) d += ", retval";
    return d.empty() ? "" : "[" + d + "] ";
}

std::string documentation(ITypeInfo* info, MEMBERID member, std::string* name = nullptr) {
    BSTR memberName = nullptr, help = nullptr;
    info->GetDocumentation(member, &memberName, &help, nullptr, nullptr);
    if (name) *name = narrow(memberName);
    std::string text = narrow(help);
    SysFreeString(memberName);
    SysFreeString(help);
    return text;
}

// One row per method of the interface's own virtual table (inherited methods are left out).
void printMethods(ITypeInfo* info, bool dispatchIds, int pointerBytes) {
    TYPEATTR* attributes = nullptr;
    info->GetTypeAttr(&attributes);
    std::printf(dispatchIds ? "| DISPID | Method | Parameters | Returns |\n|---|---|---|---|\n"
                            : "| Slot | Method | Parameters | Returns |\n|---|---|---|---|\n");
    for (UINT i = 0; i < attributes->cFuncs; ++i) {
        FUNCDESC* function = nullptr;
        if (FAILED(info->GetFuncDesc(i, &function))) continue;
        std::vector<BSTR> names((size_t)function->cParams + 1, nullptr);
        UINT count = 0;
        info->GetNames(function->memid, names.data(), (UINT)names.size(), &count);
        std::string parameters;
        for (SHORT p = 0; p < function->cParams; ++p) {
            const ELEMDESC& element = function->lprgelemdescParam[p];
            if (!parameters.empty()) parameters += ", ";
            parameters += direction(element.paramdesc.wParamFlags) + typeName(info, element.tdesc) + " `" +
                          ((UINT)p + 1 < count ? narrow(names[(size_t)p + 1]) : "?") + "`";
        }
        const std::string id = dispatchIds ? std::to_string(function->memid)
                                           : std::to_string(function->oVft / pointerBytes);
        std::printf("| %s | `%s` | %s | %s |\n", id.c_str(), narrow(names[0]).c_str(),
                    parameters.empty() ? "none" : parameters.c_str(), typeName(info, function->elemdescFunc.tdesc).c_str());
        for (BSTR name : names) SysFreeString(name);
        info->ReleaseFuncDesc(function);
    }
    info->ReleaseTypeAttr(attributes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sonvex-typelib-doc LIBRARY.dll|LIBRARY.tlb\n");
        return 2;
    }
    CoInitialize(nullptr);
    std::wstring path(argv[1], argv[1] + std::strlen(argv[1]));
    com::ptr<ITypeLib> library;
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()))) {
        std::fprintf(stderr, "sonvex-typelib-doc: no type library in %s\n", argv[1]);
        return 1;
    }
    TLIBATTR* libraryAttributes = nullptr;
    library->GetLibAttr(&libraryAttributes);
    const int pointerBytes = libraryAttributes->syskind == SYS_WIN64 ? 8 : 4;
    BSTR libraryName = nullptr, libraryHelp = nullptr;
    library->GetDocumentation(-1, &libraryName, &libraryHelp, nullptr, nullptr);
    std::printf("# Sonvex2 methods, from the type library\n\n"
                "Written by `sonvex-typelib-doc` from the type library embedded in Sonvex2.dll; "
                "`tools/docs/update-api-reference.sh` writes this file again, and the tests fail when it and the "
                "library disagree. What each method does: [sonvex2.md](sonvex2.md).\n\n");
    std::printf("Type library `%s` %d.%d, %s: %s\n\n", narrow(libraryName).c_str(), libraryAttributes->wMajorVerNum,
                libraryAttributes->wMinorVerNum, guidText(libraryAttributes->guid).c_str(), narrow(libraryHelp).c_str());
    SysFreeString(libraryName);
    SysFreeString(libraryHelp);
    library->ReleaseTLibAttr(libraryAttributes);

    const UINT count = library->GetTypeInfoCount();
    std::printf("| Class | CLSID | Version | Default interface | Description |\n|---|---|---|---|---|\n");
    for (UINT i = 0; i < count; ++i) {
        com::ptr<ITypeInfo> info;
        if (FAILED(library->GetTypeInfo(i, info.put()))) continue;
        TYPEATTR* attributes = nullptr;
        info->GetTypeAttr(&attributes);
        if (attributes->typekind == TKIND_COCLASS) {
            std::string name, interfaceName;
            const std::string help = documentation(info.get(), MEMBERID_NIL, &name);
            HREFTYPE reference = 0;
            com::ptr<ITypeInfo> defaultInterface;
            if (SUCCEEDED(info->GetRefTypeOfImplType(0, &reference)) &&
                SUCCEEDED(info->GetRefTypeInfo(reference, defaultInterface.put())))
                documentation(defaultInterface.get(), MEMBERID_NIL, &interfaceName);
            std::printf("| `%s` | %s | %d.%d | `%s` | %s |\n", name.c_str(), guidText(attributes->guid).c_str(),
                        attributes->wMajorVerNum, attributes->wMinorVerNum, interfaceName.c_str(), help.c_str());
        }
        info->ReleaseTypeAttr(attributes);
    }

    for (UINT i = 0; i < count; ++i) {
        com::ptr<ITypeInfo> info;
        if (FAILED(library->GetTypeInfo(i, info.put()))) continue;
        TYPEATTR* attributes = nullptr;
        info->GetTypeAttr(&attributes);
        const TYPEKIND kind = attributes->typekind;
        const bool dual = (attributes->wTypeFlags & TYPEFLAG_FDUAL) != 0;
        const GUID guid = attributes->guid;
        info->ReleaseTypeAttr(attributes);
        if (kind == TKIND_INTERFACE || kind == TKIND_DISPATCH) {
            std::string name;
            const std::string help = documentation(info.get(), MEMBERID_NIL, &name);
            std::printf("\n### `%s`\n\n%s, %s%s.\n\n", name.c_str(), guidText(guid).c_str(),
                        dual ? "dual (virtual table and IDispatch), DISPIDs as shown" : "virtual table only, slots as shown",
                        help.empty() ? "" : ("; \"" + help + "\"").c_str());
            // A dual interface is listed as its virtual-table half, whose methods carry the DISPIDs.
            com::ptr<ITypeInfo> methods = info, vtableHalf;
            HREFTYPE reference = 0;
            if (kind == TKIND_DISPATCH && SUCCEEDED(info->GetRefTypeOfImplType(-1, &reference)) &&
                SUCCEEDED(info->GetRefTypeInfo(reference, vtableHalf.put())))
                methods = vtableHalf;
            printMethods(methods.get(), dual, pointerBytes);
        }
    }
    library.reset();
    CoUninitialize();
    return 0;
}
