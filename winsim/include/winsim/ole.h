// ole32/oleaut32 subset: GUIDs, IUnknown, BSTR, VARIANT, SAFEARRAY and the COM start-up and
// security calls, with the names, types and constant values of the platform headers.
#pragma once
#include "winsim/base.h"

// --- wide text --------------------------------------------------------------------------------
// On the host wchar_t is wider than on Windows; the stand-in only needs L"..." literals to fit.
typedef wchar_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* BSTR;

// --- GUIDs ------------------------------------------------------------------------------------
struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
#define REFGUID const GUID&
#define REFIID const IID&
#define REFCLSID const CLSID&

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool operator==(REFGUID a, REFGUID b) {
    return IsEqualGUID(a, b);
}
inline bool operator!=(REFGUID a, REFGUID b) {
    return !IsEqualGUID(a, b);
}

// --- IUnknown ---------------------------------------------------------------------------------
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

  protected:
    ~IUnknown() = default; // objects are destroyed by their last Release, never through this
};
typedef IUnknown* LPUNKNOWN;
extern const IID IID_IUnknown;

// --- VARIANT and SAFEARRAY --------------------------------------------------------------------
typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000
};

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

// As on Windows, rgsabound really holds cDims bounds: the descriptor is allocated longer.
struct SAFEARRAY {
    WORD cDims;
    WORD fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    LPVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
};
typedef SAFEARRAY* LPSAFEARRAY;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        BYTE bVal;
        short iVal;
        VARIANT_BOOL boolVal;
        int64_t llVal;
        double dblVal;
        BSTR bstrVal;
        IUnknown* punkVal;
        SAFEARRAY* parray;
        void* byref;
    };
};
typedef VARIANT VARIANTARG;

void WINAPI VariantInit(VARIANTARG* variant);
HRESULT WINAPI VariantClear(VARIANTARG* variant);

BSTR WINAPI SysAllocString(const OLECHAR* text);
void WINAPI SysFreeString(BSTR text);
UINT WINAPI SysStringLen(BSTR text);

// A one-dimensional array of `elements` elements of type `vt`, bounds starting at `lowerBound`.
SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* array);

// --- COM start-up, activation and security ------------------------------------------------------
enum COINIT { COINIT_MULTITHREADED = 0x0, COINIT_APARTMENTTHREADED = 0x2 };
enum CLSCTX { CLSCTX_INPROC_SERVER = 0x1, CLSCTX_LOCAL_SERVER = 0x4 };
enum EOLE_AUTHENTICATION_CAPABILITIES { EOAC_NONE = 0x0 };

#define RPC_C_AUTHN_LEVEL_DEFAULT 0
#define RPC_C_AUTHN_LEVEL_CALL 3
#define RPC_C_IMP_LEVEL_IMPERSONATE 3
#define RPC_C_AUTHN_WINNT 10
#define RPC_C_AUTHZ_NONE 0

#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106)
#define RPC_E_TOO_LATE ((HRESULT)0x80010119)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)

typedef void* PSECURITY_DESCRIPTOR;
typedef void* RPC_AUTH_IDENTITY_HANDLE;
struct SOLE_AUTHENTICATION_SERVICE;

HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD coInit);
void WINAPI CoUninitialize();
HRESULT WINAPI CoInitializeSecurity(PSECURITY_DESCRIPTOR securityDescriptor, LONG authServices,
                                    SOLE_AUTHENTICATION_SERVICE* authServiceList, void* reserved1,
                                    DWORD authnLevel, DWORD impLevel, void* authList,
                                    DWORD capabilities, void* reserved3);
HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext, REFIID iid,
                                LPVOID* object);
HRESULT WINAPI CoSetProxyBlanket(IUnknown* proxy, DWORD authnService, DWORD authzService,
                                 OLECHAR* serverPrincipalName, DWORD authnLevel, DWORD impLevel,
                                 RPC_AUTH_IDENTITY_HANDLE authInfo, DWORD capabilities);
