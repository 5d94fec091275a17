// A stand-in for the management-instrumentation locator, for the end-to-end tests only (never
// shipped). Registered in a test prefix as the in-process server of CLSID_WbemLocator, it
// serves one instance of the raw SMBIOS tables class with the table a scenario chose, and can
// fail one stage or hand "SMBiosData" over in a wrong shape.
//
// The scenario names a configuration file in the environment variable VESK_WMI_LOCATOR; each
// line is a keyword and its value:
//   log PATH                the file this server appends its log to
//   table PATH              the table served as "SMBiosData"
//   fault STAGE HRESULT     STAGE answers HRESULT: ClassObject, ConnectServer, SetBlanket,
//                           CreateInstanceEnum, Next or Get (of "SMBiosData")
//   shape SHAPE             "SMBiosData" as null, bstr, i1 (signed bytes), empty or 2d
//   exhaust KEEP            ConnectServer first reserves all free address space but one hole of
//                           KEEP bytes, so that a larger allocation the program makes later
//                           fails as where memory is exhausted
// The log has one line per call ("call ..."), one per argument that is not what the program is
// expected to pass ("departure ..."), and at process exit the references still held ("held").
// Nothing goes to the debug output: the trace a scenario reads is the program's own.
#include <windows.h>

#include <oleauto.h>
#include <wbemidl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

struct Config {
    char log[MAX_PATH] = "";
    char faultStage[32] = "";
    HRESULT faultResult = S_OK;
    char shape[16] = "";
    SIZE_T exhaustKeep = 0;
    BYTE* table = nullptr;
    LONG tableSize = 0;
};

Config g_config;
bool g_configRead = false;

void Log(const char* format, ...) {
    if (g_config.log[0] == '\0') return;
    char line[512];
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (length < 0) return;
    size_t size = strlen(line);
    line[size++] = '\n';
    HANDLE file = CreateFileA(g_config.log, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
}

// Records an argument that differs from what the program is expected to pass.
void Expect(bool holds, const char* call, const char* what) {
    if (!holds) Log("departure %s: %s", call, what);
}

bool ReadTable(const char* path) {
    FILE* in = fopen(path, "rb");
    if (in == nullptr) return false;
    fseek(in, 0, SEEK_END);
    const long size = ftell(in);
    fseek(in, 0, SEEK_SET);
    g_config.table = static_cast<BYTE*>(malloc(size > 0 ? static_cast<size_t>(size) : 1));
    const bool read =
        size >= 0 && g_config.table != nullptr &&
        fread(g_config.table, 1, static_cast<size_t>(size), in) == static_cast<size_t>(size);
    fclose(in);
    g_config.tableSize = read ? size : 0;
    return read;
}

// Reads the configuration once; the log path comes first so that what follows can be logged.
void ReadConfig() {
    if (g_configRead) return;
    g_configRead = true;
    char path[MAX_PATH];
    const DWORD size = GetEnvironmentVariableA("VESK_WMI_LOCATOR", path, sizeof path);
    if (size == 0 || size >= sizeof path) return;
    FILE* in = fopen(path, "r");
    if (in == nullptr) return;
    char line[MAX_PATH + 64], table[MAX_PATH] = "";
    while (fgets(line, sizeof line, in) != nullptr) {
        line[strcspn(line, "\r\n")] = '\0';
        char stage[32];
        int consumed = 0;
        if (strncmp(line, "log ", 4) == 0) {
            snprintf(g_config.log, sizeof g_config.log, "%s", line + 4);
        } else if (strncmp(line, "table ", 6) == 0) {
            snprintf(table, sizeof table, "%s", line + 6);
        } else if (sscanf(line, "fault %31s %n", stage, &consumed) == 1 && consumed > 0) {
            // strtoul keeps all 32 bits of 0x8... and of negative decimals alike.
            snprintf(g_config.faultStage, sizeof g_config.faultStage, "%s", stage);
            g_config.faultResult = static_cast<HRESULT>(strtoul(line + consumed, nullptr, 0));
        } else if (strncmp(line, "shape ", 6) == 0) {
            snprintf(g_config.shape, sizeof g_config.shape, "%s", line + 6);
        } else if (strncmp(line, "exhaust ", 8) == 0) {
            g_config.exhaustKeep = static_cast<SIZE_T>(strtoul(line + 8, nullptr, 0));
        }
    }
    fclose(in);
    if (table[0] != '\0' && !ReadTable(table)) Log("error cannot read the table %s", table);
}

// The HRESULT a stage answers: the configured fault, or S_OK.
HRESULT Answer(const char* stage) {
    return strcmp(g_config.faultStage, stage) == 0 ? g_config.faultResult : S_OK;
}

// Reserves all the address space the system will hand out, but for one hole of `keep` bytes
// left for the small needs of the rest of the run (heap growth, mapped views): ever smaller
// reservations until even the smallest is refused. Returns the bytes reserved. Meant for the
// 32-bit build; the count of reservations is bounded all the same.
SIZE_T ExhaustAddressSpace(SIZE_T keep) {
    void* hole = VirtualAlloc(nullptr, keep, MEM_RESERVE, PAGE_NOACCESS);
    SIZE_T reserved = 0;
    int reservations = 0;
    for (SIZE_T chunk = SIZE_T(1) << 30; chunk >= 0x10000 && reservations < 100000; chunk /= 2)
        while (reservations < 100000 && VirtualAlloc(nullptr, chunk, MEM_RESERVE, PAGE_NOACCESS)) {
            reserved += chunk;
            ++reservations;
        }
    if (hole != nullptr) VirtualFree(hole, 0, MEM_RELEASE);
    return reserved;
}

bool IsBstr(BSTR text, const wchar_t* expected) {
    return text != nullptr && SysStringLen(text) == wcslen(expected) && wcscmp(text, expected) == 0;
}

// Reference counts per object, all reported at exit. The objects live as long as the process,
// so that a release too many is logged instead of touching freed memory.
class Counted {
  public:
    explicit Counted(const char* name) : m_name(name) {}
    ULONG Add() { return static_cast<ULONG>(++m_count); }
    ULONG Drop() {
        if (m_count == 0) {
            Log("departure Release: %s released more often than referenced", m_name);
            return 0;
        }
        return static_cast<ULONG>(--m_count);
    }
    long Count() const { return m_count; }
    const char* Name() const { return m_name; }

  private:
    const char* m_name;
    long m_count = 0;
};

// IUnknown for one interface: answers to IUnknown and to `Interface`, and counts references.
template <class Interface> class Unknown : public Interface {
  public:
    explicit Unknown(const char* name) : m_refs(name) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, __uuidof(Interface)))
            return E_NOINTERFACE;
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_refs.Drop(); }

    Counted m_refs;
};

#define NOT_SUPPORTED(method, ...)                                                                 \
    HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override {                                       \
        return WBEM_E_NOT_SUPPORTED; /* the program never calls it */                              \
    }

// Puts a new reference on `object` into `out` when `handOver`, else nothing; returns `result`.
template <class Interface>
HRESULT HandOver(HRESULT result, bool handOver, Interface* object, Interface** out) {
    *out = nullptr;
    if (handOver) {
        object->AddRef();
        *out = object;
    }
    return result;
}

// A VT_ARRAY VARIANT of `type` holding the table: a vector, or with two dimensions one row.
VARIANT ArrayValue(VARTYPE type, UINT dimensions, LONG size) {
    VARIANT value;
    VariantInit(&value);
    SAFEARRAYBOUND bounds[2] = {{1, 0}, {static_cast<ULONG>(size), 0}};
    SAFEARRAY* array = SafeArrayCreate(type, dimensions, bounds + 2 - dimensions);
    void* target = nullptr;
    if (array == nullptr || FAILED(SafeArrayAccessData(array, &target))) return value;
    if (size > 0) memcpy(target, g_config.table, static_cast<size_t>(size));
    SafeArrayUnaccessData(array);
    value.vt = static_cast<VARTYPE>(VT_ARRAY | type);
    value.parray = array;
    return value;
}

// "SMBiosData" in the configured shape.
VARIANT TableValue() {
    const char* shape = g_config.shape;
    VARIANT value;
    VariantInit(&value);
    if (strcmp(shape, "null") == 0) {
        value.vt = VT_NULL;
    } else if (strcmp(shape, "bstr") == 0) {
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(g_config.table),
                                              static_cast<UINT>(g_config.tableSize));
    } else if (strcmp(shape, "i1") == 0) {
        value = ArrayValue(VT_I1, 1, g_config.tableSize);
    } else if (strcmp(shape, "empty") == 0) {
        value = ArrayValue(VT_UI1, 1, 0);
    } else if (strcmp(shape, "2d") == 0) {
        value = ArrayValue(VT_UI1, 2, g_config.tableSize);
    } else {
        value = ArrayValue(VT_UI1, 1, g_config.tableSize);
    }
    return value;
}

class Instance : public Unknown<IWbemClassObject> {
  public:
    Instance() : Unknown("instance") {}

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type,
                                  LONG* flavor) override {
        const bool active = name != nullptr && wcscmp(name, L"Active") == 0;
        const bool data = name != nullptr && wcscmp(name, L"SMBiosData") == 0;
        Log("call Get %s", active ? "Active" : data ? "SMBiosData" : "(another property)");
        Expect(active || data, "Get", "a property other than Active and SMBiosData");
        Expect(flags == 0, "Get", "flags not 0");
        Expect(value != nullptr && value->vt == VT_EMPTY, "Get", "VARIANT not initialised");
        Expect(type == nullptr && flavor == nullptr, "Get", "a type or flavour asked for");
        if (value == nullptr || !(active || data)) return WBEM_E_NOT_FOUND;
        if (active) {
            value->vt = VT_BOOL;
            value->boolVal = VARIANT_TRUE;
            return S_OK;
        }
        const HRESULT result = Answer("Get");
        if (SUCCEEDED(result)) *value = TableValue();
        return result;
    }

    NOT_SUPPORTED(GetQualifierSet, IWbemQualifierSet**)
    NOT_SUPPORTED(Put, LPCWSTR, LONG, VARIANT*, CIMTYPE)
    NOT_SUPPORTED(Delete, LPCWSTR)
    NOT_SUPPORTED(GetNames, LPCWSTR, LONG, VARIANT*, SAFEARRAY**)
    NOT_SUPPORTED(BeginEnumeration, LONG)
    NOT_SUPPORTED(Next, LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*)
    NOT_SUPPORTED(EndEnumeration)
    NOT_SUPPORTED(GetPropertyQualifierSet, LPCWSTR, IWbemQualifierSet**)
    NOT_SUPPORTED(Clone, IWbemClassObject**)
    NOT_SUPPORTED(GetObjectText, LONG, BSTR*)
    NOT_SUPPORTED(SpawnDerivedClass, LONG, IWbemClassObject**)
    NOT_SUPPORTED(SpawnInstance, LONG, IWbemClassObject**)
    NOT_SUPPORTED(CompareTo, LONG, IWbemClassObject*)
    NOT_SUPPORTED(GetPropertyOrigin, LPCWSTR, BSTR*)
    NOT_SUPPORTED(InheritsFrom, LPCWSTR)
    NOT_SUPPORTED(GetMethod, LPCWSTR, LONG, IWbemClassObject**, IWbemClassObject**)
    NOT_SUPPORTED(PutMethod, LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*)
    NOT_SUPPORTED(DeleteMethod, LPCWSTR)
    NOT_SUPPORTED(BeginMethodEnumeration, LONG)
    NOT_SUPPORTED(NextMethod, LONG, BSTR*, IWbemClassObject**, IWbemClassObject**)
    NOT_SUPPORTED(EndMethodEnumeration)
    NOT_SUPPORTED(GetMethodQualifierSet, LPCWSTR, IWbemQualifierSet**)
    NOT_SUPPORTED(GetMethodOrigin, LPCWSTR, BSTR*)
};

class Enumerator : public Unknown<IEnumWbemClassObject> {
  public:
    explicit Enumerator(Instance& instance) : Unknown("enumerator"), m_instance(instance) {}

    // A success other than S_OK hands over no object, as the service does at the end.
    HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects,
                                   ULONG* returned) override {
        Log("call Next");
        Expect(timeout == static_cast<LONG>(WBEM_INFINITE), "Next", "timeout not WBEM_INFINITE");
        Expect(count == 1, "Next", "count not 1");
        Expect(objects != nullptr && returned != nullptr, "Next", "no room for the results");
        if (objects == nullptr || returned == nullptr || count == 0)
            return WBEM_E_INVALID_PARAMETER;
        const HRESULT result = Answer("Next");
        *returned = result == S_OK ? 1 : 0;
        return HandOver<IWbemClassObject>(result, *returned == 1, &m_instance, objects);
    }

    NOT_SUPPORTED(Reset)
    NOT_SUPPORTED(NextAsync, ULONG, IWbemObjectSink*)
    NOT_SUPPORTED(Clone, IEnumWbemClassObject**)
    NOT_SUPPORTED(Skip, LONG, ULONG)

  private:
    Instance& m_instance;
};

// The namespace, with the client-security interface that the runtime's CoSetProxyBlanket
// asks for; both interfaces share one reference count.
class Services : public Unknown<IWbemServices>, public IClientSecurity {
  public:
    explicit Services(Enumerator& enumerator) : Unknown("services"), m_enumerator(enumerator) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr || !IsEqualIID(iid, IID_IClientSecurity))
            return Unknown::QueryInterface(iid, out);
        *out = static_cast<IClientSecurity*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Unknown::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return Unknown::Release(); }

    HRESULT STDMETHODCALLTYPE SetBlanket(IUnknown* proxy, DWORD authnService, DWORD authzService,
                                         OLECHAR* principal, DWORD authnLevel, DWORD impLevel,
                                         void* authInfo, DWORD capabilities) override {
        Log("call SetBlanket");
        Expect(proxy == static_cast<IWbemServices*>(this), "SetBlanket", "not the services");
        Expect(authnService == RPC_C_AUTHN_WINNT, "SetBlanket", "authentication not WINNT");
        Expect(authzService == RPC_C_AUTHZ_NONE, "SetBlanket", "authorisation not NONE");
        Expect(principal == nullptr, "SetBlanket", "a principal name");
        Expect(authnLevel == RPC_C_AUTHN_LEVEL_CALL, "SetBlanket", "level not CALL");
        Expect(impLevel == RPC_C_IMP_LEVEL_IMPERSONATE, "SetBlanket", "not IMPERSONATE");
        Expect(authInfo == nullptr, "SetBlanket", "an identity");
        Expect(capabilities == EOAC_NONE, "SetBlanket", "capabilities not EOAC_NONE");
        return Answer("SetBlanket");
    }

    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR filter, LONG flags,
                                                 IWbemContext* context,
                                                 IEnumWbemClassObject** out) override {
        Log("call CreateInstanceEnum");
        Expect(IsBstr(filter, L"MSSmBios_RawSMBiosTables"), "CreateInstanceEnum",
               "class not the BSTR MSSmBios_RawSMBiosTables");
        Expect(flags == 0x230, "CreateInstanceEnum", "flags not 0x230");
        Expect(context == nullptr, "CreateInstanceEnum", "a context");
        Expect(out != nullptr, "CreateInstanceEnum", "no room for the enumerator");
        if (out == nullptr) return WBEM_E_INVALID_PARAMETER;
        const HRESULT result = Answer("CreateInstanceEnum");
        return HandOver<IEnumWbemClassObject>(result, SUCCEEDED(result), &m_enumerator, out);
    }

    NOT_SUPPORTED(QueryBlanket, IUnknown*, DWORD*, DWORD*, OLECHAR**, DWORD*, DWORD*, void**,
                  DWORD*)
    NOT_SUPPORTED(CopyProxy, IUnknown*, IUnknown**)
    NOT_SUPPORTED(OpenNamespace, const BSTR, LONG, IWbemContext*, IWbemServices**,
                  IWbemCallResult**)
    NOT_SUPPORTED(CancelAsyncCall, IWbemObjectSink*)
    NOT_SUPPORTED(QueryObjectSink, LONG, IWbemObjectSink**)
    NOT_SUPPORTED(GetObject, const BSTR, LONG, IWbemContext*, IWbemClassObject**, IWbemCallResult**)
    NOT_SUPPORTED(GetObjectAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    NOT_SUPPORTED(PutClass, IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**)
    NOT_SUPPORTED(PutClassAsync, IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*)
    NOT_SUPPORTED(DeleteClass, const BSTR, LONG, IWbemContext*, IWbemCallResult**)
    NOT_SUPPORTED(DeleteClassAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    NOT_SUPPORTED(CreateClassEnum, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**)
    NOT_SUPPORTED(CreateClassEnumAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    NOT_SUPPORTED(PutInstance, IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**)
    NOT_SUPPORTED(PutInstanceAsync, IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*)
    NOT_SUPPORTED(DeleteInstance, const BSTR, LONG, IWbemContext*, IWbemCallResult**)
    NOT_SUPPORTED(DeleteInstanceAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    NOT_SUPPORTED(CreateInstanceEnumAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    NOT_SUPPORTED(ExecQuery, const BSTR, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**)
    NOT_SUPPORTED(ExecQueryAsync, const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    NOT_SUPPORTED(ExecNotificationQuery, const BSTR, const BSTR, LONG, IWbemContext*,
                  IEnumWbemClassObject**)
    NOT_SUPPORTED(ExecNotificationQueryAsync, const BSTR, const BSTR, LONG, IWbemContext*,
                  IWbemObjectSink*)
    NOT_SUPPORTED(ExecMethod, const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                  IWbemClassObject**, IWbemCallResult**)
    NOT_SUPPORTED(ExecMethodAsync, const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                  IWbemObjectSink*)

  private:
    Enumerator& m_enumerator;
};

class Locator : public Unknown<IWbemLocator> {
  public:
    explicit Locator(Services& services) : Unknown("locator"), m_services(services) {}

    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR user,
                                            const BSTR password, const BSTR locale, LONG flags,
                                            const BSTR authority, IWbemContext* context,
                                            IWbemServices** out) override {
        Log("call ConnectServer");
        Expect(IsBstr(resource, L"ROOT\\wmi"), "ConnectServer", "namespace not the BSTR ROOT\\wmi");
        Expect(user == nullptr && password == nullptr, "ConnectServer", "a user or password");
        Expect(locale == nullptr, "ConnectServer", "a locale");
        Expect(flags == 0, "ConnectServer", "flags not 0");
        Expect(authority == nullptr, "ConnectServer", "an authority");
        Expect(context == nullptr, "ConnectServer", "a context");
        Expect(out != nullptr, "ConnectServer", "no room for the services");
        if (out == nullptr) return WBEM_E_INVALID_PARAMETER;
        if (g_config.exhaustKeep > 0)
            Log("exhausted %llu",
                static_cast<unsigned long long>(ExhaustAddressSpace(g_config.exhaustKeep)));
        const HRESULT result = Answer("ConnectServer");
        return HandOver<IWbemServices>(result, SUCCEEDED(result), &m_services, out);
    }

  private:
    Services& m_services;
};

class Factory : public Unknown<IClassFactory> {
  public:
    explicit Factory(Locator& locator) : Unknown("class factory"), m_locator(locator) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        Log("call CreateInstance");
        Expect(outer == nullptr, "CreateInstance", "an outer object");
        Expect(IsEqualIID(iid, IID_IWbemLocator), "CreateInstance", "not IID_IWbemLocator");
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return m_locator.QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    Locator& m_locator;
};

Instance g_instance;
Enumerator g_enumerator(g_instance);
Services g_services(g_enumerator);
Locator g_locator(g_services);
Factory g_factory(g_locator);

void LogHeld() {
    const Counted* counts[] = {&g_factory.m_refs, &g_locator.m_refs, &g_services.m_refs,
                               &g_enumerator.m_refs, &g_instance.m_refs};
    long total = 0;
    char detail[256] = "";
    for (const Counted* count : counts) {
        total += count->Count();
        if (count->Count() == 0) continue;
        const size_t used = strlen(detail);
        snprintf(detail + used, sizeof detail - used, " %s:%ld", count->Name(), count->Count());
    }
    Log("held %ld%s", total, detail);
}

} // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI
    DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    ReadConfig();
    Log("call ClassObject");
    Expect(IsEqualCLSID(clsid, CLSID_WbemLocator), "ClassObject", "not CLSID_WbemLocator");
    const HRESULT result = Answer("ClassObject");
    if (out != nullptr) *out = nullptr;
    if (FAILED(result)) return result;
    return g_factory.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() {
    return S_FALSE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH && g_configRead) LogHeld();
    return TRUE;
}
