// Inside the COM stand-in: reference-counted objects, the BSTR/SAFEARRAY/VARIANT bookkeeping
// shared by com.cpp and wmi.cpp, and the hooks between the two.
#pragma once
#include "control.h"

#include <windows.h>

#include <string>

namespace winsim::com {

// One object handed out by the stand-in. It stays allocated after its last Release, until
// Reset, so that a call through a dangling pointer is caught instead of being undefined.
class ObjectBase {
  public:
    ObjectBase(const char* interfaceName, const IID& iid);
    virtual ~ObjectBase() = default;
    ObjectBase(const ObjectBase&) = delete;
    ObjectBase& operator=(const ObjectBase&) = delete;

    const std::string& InterfaceName() const { return m_interfaceName; }
    ULONG References() const { return m_references; }
    virtual IUnknown* Unknown() = 0;

  protected:
    // Aborts when the object has already been released for good.
    void CheckAlive(const char* method) const;
    // Logs `method` (Interface::method) and applies an injected failure.
    bool Enter(const char* method, std::vector<std::string> args, long* result) const;
    HRESULT QueryInterfaceImpl(REFIID riid, void** object);
    ULONG AddRefImpl();
    ULONG ReleaseImpl();

  private:
    std::string m_interfaceName;
    IID m_iid;
    ULONG m_references = 1;
};

template <class Interface> class Object : public Interface, public ObjectBase {
  public:
    Object(const char* interfaceName, const IID& iid) : ObjectBase(interfaceName, iid) {}
    IUnknown* Unknown() override { return static_cast<Interface*>(this); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return QueryInterfaceImpl(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
};

// Hands ownership of a new object (with its first reference) to the stand-in.
void Adopt(ObjectBase* object);
// The live-or-dead object behind an interface pointer the stand-in handed out, or null.
ObjectBase* Find(IUnknown* unknown);

// Text forms used in the call log.
std::string GuidText(const GUID& guid);
std::string Narrow(const OLECHAR* text);
std::string BstrText(BSTR text); // checks that `text` is a live BSTR before reading it
std::string Pointer(const void* pointer);
bool IsLiveBstr(BSTR text);

// Unlogged versions of the allocation calls, for values the stand-in hands out itself.
BSTR MakeBstr(const std::string& text);
SAFEARRAY* MakeArray(VARTYPE elementType, const WmiValue& value);
// Records that Get filled `variant` with the value of `property`.
void NoteVariantFilled(const VARIANT* variant, const std::string& property);

// Hooks into the WMI service (wmi.cpp).
// Scripted HRESULT of a stage; false when none was scripted.
bool ScriptedResult(WmiStage stage, long& hr);
// Creates the locator for CoCreateInstance.
IUnknown* CreateLocator(REFIID iid);

} // namespace winsim::com
