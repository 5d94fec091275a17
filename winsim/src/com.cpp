// ole32/oleaut32 subset: COM start-up and security, activation, proxy blankets, BSTRs,
// VARIANTs and SAFEARRAYs, with the bookkeeping that lets tests prove nothing leaks.
#include "com_objects.h"

#include <wbemidl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace winsim {
namespace com {
namespace {

struct ComState {
    int initialised = 0; // CoInitializeEx calls not undone by CoUninitialize
    DWORD model = 0;
    bool securitySet = false;
    std::vector<std::unique_ptr<ObjectBase>> objects;
    std::map<IUnknown*, ObjectBase*> byInterface;
    std::set<BSTR> bstrs;
    std::set<SAFEARRAY*> arrays;
    std::multimap<const VARIANT*, std::string> filledVariants;
};

ComState& comState() {
    static ComState s;
    return s;
}

void FreeEverything() {
    for (BSTR text : comState().bstrs)
        std::free(reinterpret_cast<UINT*>(text) - 1);
    for (SAFEARRAY* array : comState().arrays) {
        std::free(array->pvData);
        std::free(array);
    }
    comState() = ComState{};
}

const ResetHook resetCom(FreeEverything);

[[noreturn]] void Misuse(const std::string& what) {
    std::fprintf(stderr, "winsim: %s\n", what.c_str());
    std::abort();
}

ULONG ElementSize(VARTYPE elementType) {
    switch (elementType) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_VARIANT:
        return sizeof(VARIANT);
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return sizeof(void*);
    default:
        return 8;
    }
}

// Element types whose elements own something the stand-in would have to free; their
// elements are always handed out empty (null).
bool HoldsReferences(VARTYPE elementType) {
    return elementType == VT_BSTR || elementType == VT_UNKNOWN || elementType == VT_DISPATCH ||
           elementType == VT_VARIANT;
}

SAFEARRAY* AllocateDescriptor(WORD dimensions) {
    const size_t bounds = dimensions > 0 ? dimensions : 1;
    const size_t size = sizeof(SAFEARRAY) + (bounds - 1) * sizeof(SAFEARRAYBOUND);
    auto* array = static_cast<SAFEARRAY*>(std::calloc(1, size));
    if (array == nullptr) throw std::bad_alloc();
    array->cDims = dimensions;
    return array;
}

void DestroyArray(SAFEARRAY* array) {
    if (comState().arrays.erase(array) == 0)
        Misuse("SafeArrayDestroy of an array that is not live");
    std::free(array->pvData);
    std::free(array);
}

void FreeBstr(BSTR text) {
    if (text == nullptr) return;
    if (comState().bstrs.erase(text) == 0)
        Misuse("SysFreeString of a pointer that is not a live BSTR");
    std::free(reinterpret_cast<UINT*>(text) - 1);
}

std::string FilledBy(const VARIANT* variant) {
    auto found = comState().filledVariants.find(variant);
    return found == comState().filledVariants.end() ? "(not from Get)" : found->second;
}

} // namespace

// --- objects ----------------------------------------------------------------------------------

ObjectBase::ObjectBase(const char* interfaceName, const IID& iid)
    : m_interfaceName(interfaceName), m_iid(iid) {}

void ObjectBase::CheckAlive(const char* method) const {
    if (m_references == 0) Misuse(m_interfaceName + "::" + method + " on a released interface");
}

bool ObjectBase::Enter(const char* method, std::vector<std::string> args, long* result) const {
    const std::string name = m_interfaceName + "::" + method;
    return detail::Enter(name.c_str(), std::move(args), result);
}

HRESULT ObjectBase::QueryInterfaceImpl(REFIID riid, void** object) {
    CheckAlive("QueryInterface");
    long injected = 0;
    if (Enter("QueryInterface", {GuidText(riid)}, &injected)) {
        if (object) *object = nullptr;
        return static_cast<HRESULT>(injected);
    }
    if (object == nullptr) return E_INVALIDARG;
    if (riid != IID_IUnknown && riid != m_iid) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ++m_references;
    *object = Unknown();
    return S_OK;
}

ULONG ObjectBase::AddRefImpl() {
    CheckAlive("AddRef");
    long injected = 0;
    if (Enter("AddRef", {}, &injected)) return static_cast<ULONG>(injected);
    return ++m_references;
}

ULONG ObjectBase::ReleaseImpl() {
    CheckAlive("Release");
    long injected = 0;
    if (Enter("Release", {}, &injected)) return static_cast<ULONG>(injected);
    return --m_references;
}

void Adopt(ObjectBase* object) {
    comState().objects.emplace_back(object);
    comState().byInterface[object->Unknown()] = object;
}

ObjectBase* Find(IUnknown* unknown) {
    auto found = comState().byInterface.find(unknown);
    return found == comState().byInterface.end() ? nullptr : found->second;
}

// --- text forms -------------------------------------------------------------------------------

std::string GuidText(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return text;
}

std::string Narrow(const OLECHAR* text) {
    if (text == nullptr) return "(null)";
    std::string narrow;
    for (; *text; ++text)
        narrow += (*text >= 0x20 && *text < 0x7F) ? char(*text) : '?';
    return narrow;
}

bool IsLiveBstr(BSTR text) {
    return comState().bstrs.count(text) != 0;
}

std::string BstrText(BSTR text) {
    if (text == nullptr) return "(null)";
    return IsLiveBstr(text) ? Narrow(text) : "(not a BSTR)";
}

std::string Pointer(const void* pointer) {
    return pointer ? "(set)" : "(null)";
}

// --- allocations ------------------------------------------------------------------------------

BSTR MakeBstr(const std::string& text) {
    auto* block =
        static_cast<UINT*>(std::malloc(sizeof(UINT) + (text.size() + 1) * sizeof(OLECHAR)));
    if (block == nullptr) throw std::bad_alloc();
    block[0] = static_cast<UINT>(text.size() * 2); // byte count of a 16-bit string, as on Windows
    BSTR bstr = reinterpret_cast<BSTR>(block + 1);
    for (size_t i = 0; i < text.size(); ++i)
        bstr[i] = static_cast<unsigned char>(text[i]);
    bstr[text.size()] = 0;
    comState().bstrs.insert(bstr);
    return bstr;
}

SAFEARRAY* MakeArray(VARTYPE elementType, const WmiValue& value) {
    std::vector<long> counts = value.elementCounts;
    if (counts.empty()) counts.push_back(static_cast<long>(value.bytes.size()));
    SAFEARRAY* array = AllocateDescriptor(static_cast<WORD>(counts.size()));
    array->cbElements = ElementSize(elementType);
    size_t elements = 1;
    for (size_t i = 0; i < counts.size(); ++i) {
        array->rgsabound[i].cElements = static_cast<ULONG>(counts[i]);
        elements *= counts[i] > 0 ? static_cast<size_t>(counts[i]) : 0;
    }
    // The data is at least as long as the descriptor claims, so a correct reader stays inside.
    const size_t size = std::max(value.bytes.size(), elements * array->cbElements);
    array->pvData = value.nullData ? nullptr : std::calloc(size ? size : 1, 1);
    if (array->pvData && !HoldsReferences(elementType) && !value.bytes.empty())
        std::memcpy(array->pvData, value.bytes.data(), value.bytes.size());
    comState().arrays.insert(array);
    return array;
}

void NoteVariantFilled(const VARIANT* variant, const std::string& property) {
    comState().filledVariants.insert({variant, property});
}

} // namespace com

// --- control ----------------------------------------------------------------------------------

long LiveComReferences() {
    long references = 0;
    for (const auto& object : com::comState().objects)
        references += object->References();
    return references;
}

long LiveComReferences(const std::string& interfaceName) {
    long references = 0;
    for (const auto& object : com::comState().objects)
        if (object->InterfaceName() == interfaceName) references += object->References();
    return references;
}

size_t OutstandingBstrs() {
    return com::comState().bstrs.size();
}
size_t OutstandingSafeArrays() {
    return com::comState().arrays.size();
}
size_t UnclearedVariants() {
    return com::comState().filledVariants.size();
}
bool ComInitialised() {
    return com::comState().initialised > 0;
}

} // namespace winsim

using namespace winsim::com;
using winsim::detail::Enter;
using winsim::detail::Hex;

// --- COM start-up and security ----------------------------------------------------------------

HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD coInit) {
    long injected = 0;
    if (Enter("CoInitializeEx", {Pointer(reserved), Hex(coInit)}, &injected))
        return static_cast<HRESULT>(injected);
    ComState& state = comState();
    if (state.initialised > 0 && state.model != coInit) return RPC_E_CHANGED_MODE;
    const bool first = state.initialised++ == 0;
    state.model = coInit;
    return first ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize() {
    Enter("CoUninitialize", {}, nullptr);
    if (comState().initialised > 0) --comState().initialised;
}

HRESULT WINAPI CoInitializeSecurity(PSECURITY_DESCRIPTOR securityDescriptor, LONG authServices,
                                    SOLE_AUTHENTICATION_SERVICE* authServiceList, void* reserved1,
                                    DWORD authnLevel, DWORD impLevel, void* authList,
                                    DWORD capabilities, void* reserved3) {
    long injected = 0;
    if (Enter("CoInitializeSecurity",
              {Pointer(securityDescriptor), std::to_string(authServices), Pointer(authServiceList),
               Pointer(reserved1), std::to_string(authnLevel), std::to_string(impLevel),
               Pointer(authList), Hex(capabilities), Pointer(reserved3)},
              &injected))
        return static_cast<HRESULT>(injected);
    if (comState().initialised == 0) return CO_E_NOTINITIALIZED;
    if (comState().securitySet) return RPC_E_TOO_LATE; // security is set once per process
    comState().securitySet = true;
    return S_OK;
}

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext, REFIID iid,
                                LPVOID* object) {
    long injected = 0;
    if (Enter("CoCreateInstance", {GuidText(clsid), Pointer(outer), Hex(clsContext), GuidText(iid)},
              &injected)) {
        if (object) *object = nullptr;
        return static_cast<HRESULT>(injected);
    }
    if (object == nullptr) return E_INVALIDARG;
    *object = nullptr;
    if (comState().initialised == 0) return CO_E_NOTINITIALIZED;
    long hr = S_OK;
    ScriptedResult(winsim::WmiStage::CoCreateInstance, hr);
    if (FAILED(hr)) return static_cast<HRESULT>(hr);
    if (clsid != CLSID_WbemLocator || (clsContext & CLSCTX_INPROC_SERVER) == 0)
        return REGDB_E_CLASSNOTREG;
    if (outer != nullptr) return static_cast<HRESULT>(0x80040110); // CLASS_E_NOAGGREGATION
    *object = CreateLocator(iid);
    return *object ? static_cast<HRESULT>(hr) : E_NOINTERFACE;
}

HRESULT WINAPI CoSetProxyBlanket(IUnknown* proxy, DWORD authnService, DWORD authzService,
                                 OLECHAR* serverPrincipalName, DWORD authnLevel, DWORD impLevel,
                                 RPC_AUTH_IDENTITY_HANDLE authInfo, DWORD capabilities) {
    ObjectBase* target = Find(proxy);
    long injected = 0;
    if (Enter("CoSetProxyBlanket",
              {target ? target->InterfaceName() : Pointer(proxy), std::to_string(authnService),
               std::to_string(authzService), Narrow(serverPrincipalName),
               std::to_string(authnLevel), std::to_string(impLevel), Pointer(authInfo),
               Hex(capabilities)},
              &injected))
        return static_cast<HRESULT>(injected);
    if (target == nullptr) return E_INVALIDARG;
    if (target->References() == 0)
        Misuse("CoSetProxyBlanket on a released " + target->InterfaceName());
    long hr = S_OK;
    ScriptedResult(winsim::WmiStage::CoSetProxyBlanket, hr);
    return static_cast<HRESULT>(hr);
}

// --- BSTR -------------------------------------------------------------------------------------

BSTR WINAPI SysAllocString(const OLECHAR* text) {
    long injected = 0;
    if (Enter("SysAllocString", {Narrow(text)}, &injected)) return nullptr;
    if (text == nullptr) return nullptr;
    std::string narrow;
    for (const OLECHAR* c = text; *c; ++c)
        narrow += static_cast<char>(*c);
    return MakeBstr(narrow);
}

void WINAPI SysFreeString(BSTR text) {
    Enter("SysFreeString", {BstrText(text)}, nullptr);
    FreeBstr(text);
}

UINT WINAPI SysStringLen(BSTR text) {
    if (text == nullptr) return 0;
    if (!IsLiveBstr(text)) Misuse("SysStringLen of a pointer that is not a live BSTR");
    return reinterpret_cast<UINT*>(text)[-1] / 2;
}

// --- SAFEARRAY --------------------------------------------------------------------------------

SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
    long injected = 0;
    if (Enter("SafeArrayCreateVector",
              {Hex(vt), std::to_string(lowerBound), std::to_string(elements)}, &injected))
        return nullptr;
    winsim::WmiValue shape;
    shape.elementCounts = {static_cast<long>(elements)};
    SAFEARRAY* array = MakeArray(vt, shape);
    array->rgsabound[0].lLbound = lowerBound;
    return array;
}

HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* array) {
    long injected = 0;
    if (Enter("SafeArrayDestroy", {Pointer(array)}, &injected))
        return static_cast<HRESULT>(injected);
    if (array == nullptr) return S_OK;
    DestroyArray(array);
    return S_OK;
}

// --- VARIANT ----------------------------------------------------------------------------------

void WINAPI VariantInit(VARIANTARG* variant) {
    Enter("VariantInit", {Pointer(variant)}, nullptr);
    variant->vt = VT_EMPTY;
    variant->wReserved1 = variant->wReserved2 = variant->wReserved3 = 0;
}

HRESULT WINAPI VariantClear(VARIANTARG* variant) {
    long injected = 0;
    if (Enter("VariantClear",
              {variant ? FilledBy(variant) : "(null)", variant ? Hex(variant->vt) : ""}, &injected))
        return static_cast<HRESULT>(injected);
    if (variant == nullptr) return E_INVALIDARG;
    const VARTYPE vt = variant->vt;
    if ((vt & VT_BYREF) == 0) {
        if ((vt & VT_ARRAY) != 0) {
            if (variant->parray) DestroyArray(variant->parray);
        } else if (vt == VT_BSTR) {
            FreeBstr(variant->bstrVal);
        } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && variant->punkVal) {
            variant->punkVal->Release();
        }
    }
    variant->vt = VT_EMPTY;
    auto filled = comState().filledVariants.find(variant);
    if (filled != comState().filledVariants.end()) comState().filledVariants.erase(filled);
    return S_OK;
}
