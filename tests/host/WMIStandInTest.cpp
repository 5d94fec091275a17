// The stand-in's own COM bookkeeping: the leak counters the WMI tests rely on must see a leak
// when there is one, and COM start-up must answer as the platform does.
#include "WMITestSupport.h"

#include <windows.h>

#include <wbemidl.h>

namespace {

using namespace wmitest;

IWbemLocator* CreateLocator() {
    void* locator = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                               &locator),
              S_OK);
    return static_cast<IWbemLocator*>(locator);
}

TEST_F(WmiTest, CountersSeeEveryReferenceBstrAndVariantUntilGivenBack) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IWbemLocator* locator = CreateLocator();
    ASSERT_NE(locator, nullptr);
    BSTR name = SysAllocString(L"root\\WMI");
    IWbemServices* services = nullptr;
    ASSERT_EQ(
        locator->ConnectServer(name, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services),
        S_OK);
    locator->AddRef();
    EXPECT_EQ(winsim::LiveComReferences(), 3);
    EXPECT_EQ(winsim::OutstandingBstrs(), 1u);

    BSTR className = SysAllocString(L"MSSmBios_RawSMBiosTables");
    IEnumWbemClassObject* enumerator = nullptr;
    ASSERT_EQ(services->CreateInstanceEnum(className, 0, nullptr, &enumerator), S_OK);
    IWbemClassObject* instance = nullptr;
    ULONG returned = 0;
    ASSERT_EQ(enumerator->Next(-1, 1, &instance, &returned), S_OK);
    winsim::SetWmiProperty("SMBiosData", winsim::WmiByteArray({1, 2, 3}));
    VARIANT data;
    VariantInit(&data);
    ASSERT_EQ(instance->Get(L"SMBiosData", 0, &data, nullptr, nullptr), S_OK);
    EXPECT_EQ(data.parray->rgsabound[0].cElements, 3u);
    EXPECT_EQ(winsim::UnclearedVariants(), 1u);
    EXPECT_EQ(winsim::OutstandingSafeArrays(), 1u);

    VariantClear(&data);
    SysFreeString(name);
    SysFreeString(className);
    instance->Release();
    enumerator->Release();
    services->Release();
    EXPECT_EQ(locator->Release(), 1u);
    EXPECT_EQ(winsim::LiveComReferences(), 1);
    locator->Release();
    ExpectNothingLeft();
}

TEST_F(WmiTest, ServiceRefusesTextsThatAreNotBstrs) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IWbemLocator* locator = CreateLocator();
    IWbemServices* services = nullptr;
    OLECHAR literal[] = L"ROOT\\wmi";
    EXPECT_EQ(
        locator->ConnectServer(literal, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services),
        WBEM_E_INVALID_PARAMETER);
    EXPECT_EQ(services, nullptr);
    EXPECT_EQ(winsim::CallsTo("IWbemLocator::ConnectServer").at(0).args.at(0), "(not a BSTR)");
    locator->Release();
}

TEST_F(WmiTest, ComStartUpAnswersLikeThePlatform) {
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                               &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 0, 3, nullptr, EOAC_NONE, nullptr),
        S_OK);
    EXPECT_EQ(
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 0, 3, nullptr, EOAC_NONE, nullptr),
        RPC_E_TOO_LATE);
    EXPECT_EQ(CoCreateInstance(IID_IWbemServices, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                               &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
}

} // namespace
