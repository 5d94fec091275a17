// Host stand-in for <wbemidl.h>: the management-instrumentation interfaces with the methods
// VeskInfo calls (the others are left out), their GUIDs and the flags and codes it uses. Names,
// argument types and values are those of the platform headers.
#pragma once
#include "winsim/base.h"
#include "winsim/ole.h"

typedef LONG CIMTYPE;

enum WBEM_GENERIC_FLAG_TYPE {
    WBEM_FLAG_RETURN_IMMEDIATELY = 0x10,
    WBEM_FLAG_FORWARD_ONLY = 0x20,
    WBEM_FLAG_DIRECT_READ = 0x200
};
enum WBEM_TIMEOUT_TYPE { WBEM_NO_WAIT = 0, WBEM_INFINITE = 0xffffffff };

enum WBEMSTATUS {
    WBEM_NO_ERROR = 0,
    WBEM_S_NO_ERROR = 0,
    WBEM_S_FALSE = 1,
    WBEM_S_TIMEDOUT = 0x40004,
    WBEM_E_FAILED = (int)0x80041001,
    WBEM_E_NOT_FOUND = (int)0x80041002,
    WBEM_E_ACCESS_DENIED = (int)0x80041003,
    WBEM_E_INVALID_PARAMETER = (int)0x80041008,
    WBEM_E_INVALID_NAMESPACE = (int)0x8004100E,
    WBEM_E_INVALID_CLASS = (int)0x80041010
};

struct IWbemContext : public IUnknown {};
struct IWbemServices;
struct IEnumWbemClassObject;
struct IWbemClassObject;

struct IWbemLocator : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR strNetworkResource,
                                                    const BSTR strUser, const BSTR strPassword,
                                                    const BSTR strLocale, LONG lSecurityFlags,
                                                    const BSTR strAuthority, IWbemContext* pCtx,
                                                    IWbemServices** ppNamespace) = 0;
};

struct IWbemServices : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR strFilter, LONG lFlags,
                                                         IWbemContext* pCtx,
                                                         IEnumWbemClassObject** ppEnum) = 0;
};

struct IEnumWbemClassObject : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(LONG lTimeout, ULONG uCount,
                                           IWbemClassObject** apObjects, ULONG* puReturned) = 0;
};

struct IWbemClassObject : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Get(LPCWSTR wszName, LONG lFlags, VARIANT* pVal,
                                          CIMTYPE* pType, LONG* plFlavor) = 0;
};

extern const CLSID CLSID_WbemLocator;
extern const IID IID_IWbemLocator;
extern const IID IID_IWbemServices;
extern const IID IID_IEnumWbemClassObject;
extern const IID IID_IWbemClassObject;
