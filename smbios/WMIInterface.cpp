// The connection to the management-instrumentation service and the read of the raw table.
// Every interface and VARIANT is held by a guard, so it is released or cleared on every path,
// exceptions included; nothing raised while giving them back escapes.
#include "smbios/WMIInterface.h"

#include "trace/DebugTrace.h"
#include "trace/TraceTexts.h"

#include <cstring>
#include <new>

namespace {

const OLECHAR kNamespace[] = L"ROOT\\wmi";
const OLECHAR kRawTablesClass[] = L"MSSmBios_RawSMBiosTables";
const LONG kEnumFlags =
    WBEM_FLAG_DIRECT_READ | WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY;

template <class Interface> void ReleaseQuietly(Interface*& held) {
    if (held == nullptr) return;
    try {
        held->Release();
        held = nullptr;
    } catch (...) {
        // A release that fails keeps the pointer; there is nothing else to do with it.
    }
}

// One reference on an interface, released when the guard goes.
template <class Interface> class InterfaceGuard {
  public:
    InterfaceGuard() = default;
    ~InterfaceGuard() { ReleaseQuietly(m_held); }
    InterfaceGuard(const InterfaceGuard&) = delete;
    InterfaceGuard& operator=(const InterfaceGuard&) = delete;

    Interface** Out() { return &m_held; }
    Interface* operator->() const { return m_held; }
    explicit operator bool() const { return m_held != nullptr; }

  private:
    Interface* m_held = nullptr;
};

// A BSTR for the duration of one call. Out of memory is raised, as the guards around the WMI
// work expect, instead of handing the service a null string.
class ComText {
  public:
    explicit ComText(const OLECHAR* text) : m_text(SysAllocString(text)) {
        if (m_text == nullptr) throw std::bad_alloc();
    }
    ~ComText() {
        try {
            SysFreeString(m_text);
        } catch (...) {
        }
    }
    ComText(const ComText&) = delete;
    ComText& operator=(const ComText&) = delete;

    BSTR Get() const { return m_text; }

  private:
    BSTR m_text;
};

// A VARIANT initialised on construction and cleared when the guard goes.
class VariantGuard {
  public:
    VariantGuard() { VariantInit(&m_value); }
    ~VariantGuard() {
        try {
            VariantClear(&m_value);
        } catch (...) {
        }
    }
    VariantGuard(const VariantGuard&) = delete;
    VariantGuard& operator=(const VariantGuard&) = delete;

    VARIANT* Out() { return &m_value; }
    const VARIANT& Value() const { return m_value; }

  private:
    VARIANT m_value;
};

// The bytes of a one-dimensional byte array whose element count, read as signed, is positive.
// The descriptor is checked before anything behind it is read.
bool CopyByteArray(const VARIANT& value, TableBlock& block, int& length) {
    if (value.vt != (VT_ARRAY | VT_UI1)) return false;
    const SAFEARRAY* array = value.parray;
    if (array == nullptr || array->cDims != 1 || array->cbElements != 1 || array->pvData == nullptr)
        return false;
    const LONG count = static_cast<LONG>(array->rgsabound[0].cElements);
    if (count <= 0) return false;
    TableBlock copy = AllocateTableBlock(static_cast<size_t>(count));
    std::memcpy(copy.get(), array->pvData, static_cast<size_t>(count));
    block = std::move(copy);
    length = static_cast<int>(count);
    return true;
}

// Reads "SMBiosData" of the one instance; `result` follows the calls' HRESULTs. The VARIANTs are
// cleared when this returns, the "SMBiosData" one first; the caller's guards then release the
// instance and the enumerator.
bool ReadRawTable(IWbemServices* services, InterfaceGuard<IEnumWbemClassObject>& enumerator,
                  InterfaceGuard<IWbemClassObject>& instance, TableBlock& block, int& length,
                  HRESULT& result) {
    {
        ComText className(kRawTablesClass);
        result =
            services->CreateInstanceEnum(className.Get(), kEnumFlags, nullptr, enumerator.Out());
    }
    if (result != S_OK || !enumerator) return false;
    DebugTrace(TRACE_WMI_ENUM_OK);

    ULONG returned = 0;
    result = enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, instance.Out(), &returned);
    if (FAILED(result) || returned != 1 || !instance) return false;
    DebugTrace(TRACE_WMI_NEXT_OK);

    VariantGuard active;
    instance->Get(L"Active", 0, active.Out(), nullptr, nullptr);
    DebugTrace(TRACE_WMI_ACTIVE_OK);

    VariantGuard data;
    result = instance->Get(L"SMBiosData", 0, data.Out(), nullptr, nullptr);
    if (FAILED(result)) return false;
    DebugTrace(TRACE_WMI_DATA_OK);
    return CopyByteArray(data.Value(), block, length);
}

} // namespace

CWMIInterface::~CWMIInterface() {
    ReleaseInterfaces();
}

void CWMIInterface::ReleaseInterfaces() {
    ReleaseQuietly(services);
    ReleaseQuietly(locator);
}

int CWMIInterface::Connect() {
    ReleaseInterfaces(); // a second Connect would otherwise overwrite, and leak, the first ones
    connected = 0;
    int result = kWmiFailure;
    HRESULT lastResult = S_OK;
    try {
        if (ConnectStages(lastResult)) {
            result = kWmiSuccess;
            connected = 1;
        }
    } catch (...) {
        DebugTrace(TRACE_WMI_CONNECT_EXCEPTION);
    }
    if (FAILED(lastResult)) DebugTrace(TRACE_WMI_ERROR_CODE, static_cast<long>(lastResult));
    lastHResult = lastResult;
    return result;
}

// `lastResult` follows every HRESULT as it comes, so that it still holds the last one when a
// later stage raises. A stage that reports success without its interface counts as failed.
bool CWMIInterface::ConnectStages(HRESULT& lastResult) {
    lastResult = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    lastResult = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);

    lastResult = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<LPVOID*>(&locator));
    if (FAILED(lastResult) || locator == nullptr) return false;
    DebugTrace(TRACE_WMI_CREATED);

    {
        ComText name(kNamespace);
        lastResult = locator->ConnectServer(name.Get(), nullptr, nullptr, nullptr, 0, nullptr,
                                            nullptr, &services);
    }
    if (FAILED(lastResult) || services == nullptr) return false;
    DebugTrace(TRACE_WMI_CONNECTED);

    lastResult =
        CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                          RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(lastResult)) return false;
    DebugTrace(TRACE_WMI_BLANKET);
    return true;
}

int CWMIInterface::GetSMBIOSInfo(TableBlock& block, int& length) {
    if (!connected || services == nullptr) return kWmiFailure;
    DebugTrace(TRACE_WMI_INFO_CALLED);
    InterfaceGuard<IEnumWbemClassObject> enumerator;
    InterfaceGuard<IWbemClassObject> instance;
    int result = kWmiFailure;
    try {
        if (ReadRawTable(services, enumerator, instance, block, length, lastHResult))
            result = kWmiSuccess;
    } catch (...) {
        DebugTrace(TRACE_WMI_INFO_EXCEPTION);
    }
    return result;
}
