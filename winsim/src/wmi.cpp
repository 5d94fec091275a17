// The management-instrumentation service: a locator, the "ROOT\wmi" namespace, the raw SMBIOS
// tables class with a scriptable number of instances and property values, and scripted
// HRESULTs for every stage.
#include "com_objects.h"

#include <wbemidl.h>

#include <cctype>
#include <map>

const CLSID CLSID_WbemLocator = {
    0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID IID_IWbemLocator = {
    0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID IID_IWbemServices = {
    0x9556DC99, 0x828C, 0x11CF, {0xA3, 0x7E, 0x00, 0xAA, 0x00, 0x32, 0x40, 0xC7}};
const IID IID_IEnumWbemClassObject = {
    0x027947E1, 0xD731, 0x11CE, {0xA3, 0x57, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
const IID IID_IWbemClassObject = {
    0xDC12A681, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

namespace winsim {
namespace {

constexpr const char* kNamespace = "ROOT\\wmi";
constexpr const char* kClass = "MSSmBios_RawSMBiosTables";

struct WmiScript {
    std::map<WmiStage, long> results;
    std::map<std::string, long> getResults;
    int instances = 1;
    std::map<std::string, WmiValue> properties = {{"Active", WmiOfType(VT_BOOL, 1)},
                                                  {"SMBiosData", WmiOfType(VT_NULL)}};
};

WmiScript& script() {
    static WmiScript s;
    return s;
}

const ResetHook resetWmi([] { script() = WmiScript{}; });

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Scripted result of a stage, S_OK when none was scripted.
long StageResult(WmiStage stage) {
    long hr = S_OK;
    com::ScriptedResult(stage, hr);
    return hr;
}

void FillVariant(VARIANT& variant, const WmiValue& value) {
    variant.vt = value.vt;
    variant.llVal = 0;
    if ((value.vt & VT_BYREF) != 0) return;
    if ((value.vt & VT_ARRAY) != 0) {
        if (!value.nullArray)
            variant.parray = com::MakeArray(static_cast<VARTYPE>(value.vt & ~VT_ARRAY), value);
    } else if (value.vt == VT_BSTR) {
        variant.bstrVal = com::MakeBstr(std::string(value.bytes.begin(), value.bytes.end()));
    } else if (value.vt == VT_BOOL) {
        variant.boolVal = value.scalar ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (value.vt != VT_UNKNOWN && value.vt != VT_DISPATCH) {
        variant.llVal = value.scalar;
    }
}

class Instance final : public com::Object<IWbemClassObject> {
  public:
    Instance() : Object("IWbemClassObject", IID_IWbemClassObject) {}

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR wszName, LONG lFlags, VARIANT* pVal, CIMTYPE* pType,
                                  LONG* plFlavor) override {
        CheckAlive("Get");
        const std::string name = com::Narrow(wszName);
        long injected = 0;
        if (Enter("Get",
                  {name, detail::Hex(static_cast<ULONG>(lFlags)),
                   pVal ? "vt=" + detail::Hex(pVal->vt) : "(null)", com::Pointer(pType),
                   com::Pointer(plFlavor)},
                  &injected))
            return static_cast<HRESULT>(injected);
        if (wszName == nullptr || pVal == nullptr) return WBEM_E_INVALID_PARAMETER;
        auto scripted = script().getResults.find(name);
        const long hr = scripted == script().getResults.end() ? S_OK : scripted->second;
        if (FAILED(hr)) return static_cast<HRESULT>(hr);
        auto property = script().properties.find(name);
        if (property == script().properties.end()) return WBEM_E_NOT_FOUND;
        FillVariant(*pVal, property->second);
        com::NoteVariantFilled(pVal, name);
        if (pType) *pType = static_cast<CIMTYPE>(property->second.vt);
        if (plFlavor) *plFlavor = 0;
        return static_cast<HRESULT>(hr);
    }
};

class Enumerator final : public com::Object<IEnumWbemClassObject> {
  public:
    explicit Enumerator(int instances)
        : Object("IEnumWbemClassObject", IID_IEnumWbemClassObject), m_remaining(instances) {}

    HRESULT STDMETHODCALLTYPE Next(LONG lTimeout, ULONG uCount, IWbemClassObject** apObjects,
                                   ULONG* puReturned) override {
        CheckAlive("Next");
        long injected = 0;
        if (Enter("Next", {std::to_string(lTimeout), std::to_string(uCount)}, &injected)) {
            if (puReturned) *puReturned = 0;
            return static_cast<HRESULT>(injected);
        }
        if (apObjects == nullptr || puReturned == nullptr) return WBEM_E_INVALID_PARAMETER;
        *puReturned = 0;
        const long hr = StageResult(WmiStage::Next);
        if (FAILED(hr)) return static_cast<HRESULT>(hr);
        while (*puReturned < uCount && m_remaining > 0) {
            auto* instance = new Instance;
            com::Adopt(instance);
            apObjects[(*puReturned)++] = instance;
            --m_remaining;
        }
        if (script().results.count(WmiStage::Next)) return static_cast<HRESULT>(hr);
        return *puReturned == uCount ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
    }

  private:
    int m_remaining;
};

class Services final : public com::Object<IWbemServices> {
  public:
    Services() : Object("IWbemServices", IID_IWbemServices) {}

    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR strFilter, LONG lFlags,
                                                 IWbemContext* pCtx,
                                                 IEnumWbemClassObject** ppEnum) override {
        CheckAlive("CreateInstanceEnum");
        long injected = 0;
        if (Enter("CreateInstanceEnum",
                  {com::BstrText(strFilter), detail::Hex(static_cast<ULONG>(lFlags)),
                   com::Pointer(pCtx)},
                  &injected)) {
            if (ppEnum) *ppEnum = nullptr;
            return static_cast<HRESULT>(injected);
        }
        if (ppEnum == nullptr) return WBEM_E_INVALID_PARAMETER;
        *ppEnum = nullptr;
        if (strFilter == nullptr || !com::IsLiveBstr(strFilter)) return WBEM_E_INVALID_PARAMETER;
        const long hr = StageResult(WmiStage::CreateInstanceEnum);
        if (FAILED(hr)) return static_cast<HRESULT>(hr);
        if (!SameTextIgnoringCase(com::Narrow(strFilter), kClass)) return WBEM_E_INVALID_CLASS;
        auto* enumerator = new Enumerator(script().instances);
        com::Adopt(enumerator);
        *ppEnum = enumerator;
        return static_cast<HRESULT>(hr);
    }
};

class Locator final : public com::Object<IWbemLocator> {
  public:
    Locator() : Object("IWbemLocator", IID_IWbemLocator) {}

    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR strNetworkResource, const BSTR strUser,
                                            const BSTR strPassword, const BSTR strLocale,
                                            LONG lSecurityFlags, const BSTR strAuthority,
                                            IWbemContext* pCtx,
                                            IWbemServices** ppNamespace) override {
        CheckAlive("ConnectServer");
        long injected = 0;
        if (Enter("ConnectServer",
                  {com::BstrText(strNetworkResource), com::BstrText(strUser),
                   com::BstrText(strPassword), com::BstrText(strLocale),
                   detail::Hex(static_cast<ULONG>(lSecurityFlags)), com::BstrText(strAuthority),
                   com::Pointer(pCtx)},
                  &injected)) {
            if (ppNamespace) *ppNamespace = nullptr;
            return static_cast<HRESULT>(injected);
        }
        if (ppNamespace == nullptr) return WBEM_E_INVALID_PARAMETER;
        *ppNamespace = nullptr;
        if (strNetworkResource == nullptr || !com::IsLiveBstr(strNetworkResource))
            return WBEM_E_INVALID_PARAMETER;
        const long hr = StageResult(WmiStage::ConnectServer);
        if (FAILED(hr)) return static_cast<HRESULT>(hr);
        if (!SameTextIgnoringCase(com::Narrow(strNetworkResource), kNamespace))
            return WBEM_E_INVALID_NAMESPACE;
        auto* services = new Services;
        com::Adopt(services);
        *ppNamespace = services;
        return static_cast<HRESULT>(hr);
    }
};

} // namespace

namespace com {

bool ScriptedResult(WmiStage stage, long& hr) {
    auto found = script().results.find(stage);
    if (found == script().results.end()) return false;
    hr = found->second;
    return true;
}

IUnknown* CreateLocator(REFIID iid) {
    if (iid != IID_IWbemLocator && iid != IID_IUnknown) return nullptr;
    auto* locator = new Locator;
    Adopt(locator);
    if (iid == IID_IUnknown) return static_cast<IUnknown*>(locator);
    return static_cast<IWbemLocator*>(locator);
}

} // namespace com

// --- control ----------------------------------------------------------------------------------

// Results are kept as the 32-bit HRESULTs they stand for, so 0x80041002 counts as negative.
void SetWmiResult(WmiStage stage, long hr) {
    script().results[stage] = static_cast<HRESULT>(hr);
}
void SetWmiGetResult(const std::string& property, long hr) {
    script().getResults[property] = static_cast<HRESULT>(hr);
}
void SetWmiInstanceCount(int count) {
    script().instances = count;
}

WmiValue WmiOfType(unsigned short vt, long scalar) {
    WmiValue value;
    value.vt = vt;
    value.scalar = scalar;
    return value;
}

WmiValue WmiByteArray(std::vector<unsigned char> bytes) {
    return WmiArray(VT_UI1, std::move(bytes));
}

WmiValue WmiArray(unsigned short elementType, std::vector<unsigned char> bytes) {
    WmiValue value;
    value.vt = static_cast<unsigned short>(VT_ARRAY | elementType);
    value.bytes = std::move(bytes);
    return value;
}

WmiValue WmiText(const std::string& text) {
    WmiValue value;
    value.vt = VT_BSTR;
    value.bytes.assign(text.begin(), text.end());
    return value;
}

void SetWmiProperty(const std::string& name, WmiValue value) {
    script().properties[name] = std::move(value);
}

void RemoveWmiProperty(const std::string& name) {
    script().properties.erase(name);
}

} // namespace winsim
