// CWMIInterface: the connection stages, their traces and error codes, the exception guard of
// Connect, and the release of the interfaces.
#include "WMITestSupport.h"

#include "smbios/WMIInterface.h"

namespace {

using namespace wmitest;

struct ConnectFailure {
    const char* name;
    void (*arrange)();
    Texts traces;
};

void PrintTo(const ConnectFailure& failure, std::ostream* out) {
    *out << failure.name;
}

class ConnectFailureTest : public WmiTest, public ::testing::WithParamInterface<ConnectFailure> {};

TEST_P(ConnectFailureTest, TracesUpToTheLastGoodStageAndFails) {
    GetParam().arrange();
    {
        CWMIInterface wmi;
        EXPECT_EQ(wmi.Connect(), kWmiFailure);
        EXPECT_EQ(wmi.connected, 0);
    }
    EXPECT_EQ(winsim::DebugTexts(), GetParam().traces);
    EXPECT_TRUE(winsim::CallsTo("IWbemServices::CreateInstanceEnum").empty());
    ExpectNothingLeft();
}

INSTANTIATE_TEST_SUITE_P(
    Stages, ConnectFailureTest,
    ::testing::Values(
        ConnectFailure{"LocatorNotRegistered",
                       [] { winsim::SetWmiResult(winsim::WmiStage::CoCreateInstance, 0x80040154); },
                       {"Error code: -2147221164\n"}},
        ConnectFailure{"ConnectServerDenied",
                       [] { winsim::SetWmiResult(winsim::WmiStage::ConnectServer, 0x80041003); },
                       Append(StageTraces(1), "Error code: -2147217405\n")},
        ConnectFailure{
            "ProxyBlanketDenied",
            [] { winsim::SetWmiResult(winsim::WmiStage::CoSetProxyBlanket, 0x80070005); },
            Append(StageTraces(2), "Error code: -2147024891\n")},
        // Success codes that come without an interface end the connection without an error code.
        ConnectFailure{
            "LocatorMissingDespiteSuccess", [] { winsim::FailCall("CoCreateInstance", 0); }, {}},
        ConnectFailure{"ServicesMissingDespiteSuccess",
                       [] { winsim::FailCall("IWbemLocator::ConnectServer", 1); }, StageTraces(1)},
        // Exceptions: the guard traces them, then the last HRESULT if it was a failure.
        ConnectFailure{"ThrowInCoInitializeEx",
                       [] { winsim::ThrowInCall("CoInitializeEx"); },
                       {TRACE_WMI_CONNECT_EXCEPTION}},
        ConnectFailure{"ThrowInCoCreateInstance",
                       [] { winsim::ThrowInCall("CoCreateInstance"); },
                       {TRACE_WMI_CONNECT_EXCEPTION}},
        ConnectFailure{"NoMemoryForTheNamespace", [] { winsim::FailCall("SysAllocString", 0); },
                       Append(StageTraces(1), TRACE_WMI_CONNECT_EXCEPTION)},
        ConnectFailure{"ThrowInConnectServer",
                       [] { winsim::ThrowInCall("IWbemLocator::ConnectServer"); },
                       Append(StageTraces(1), TRACE_WMI_CONNECT_EXCEPTION)},
        ConnectFailure{"ThrowInCoSetProxyBlanket", [] { winsim::ThrowInCall("CoSetProxyBlanket"); },
                       Append(StageTraces(2), TRACE_WMI_CONNECT_EXCEPTION)},
        ConnectFailure{"ThrowAfterAFailedSecuritySetUp",
                       [] {
                           winsim::FailCall("CoInitializeSecurity", 0x80010119);
                           winsim::ThrowInCall("CoCreateInstance");
                       },
                       {TRACE_WMI_CONNECT_EXCEPTION, "Error code: -2147417831\n"}}),
    CaseName());

TEST_F(WmiTest, ConnectHoldsOneReferenceOnEachInterface) {
    CWMIInterface wmi;
    ASSERT_EQ(wmi.Connect(), kWmiSuccess);
    EXPECT_EQ(wmi.connected, 1);
    EXPECT_EQ(winsim::DebugTexts(), StageTraces(3));
    EXPECT_EQ(winsim::LiveComReferences("IWbemLocator"), 1);
    EXPECT_EQ(winsim::LiveComReferences("IWbemServices"), 1);
    EXPECT_EQ(winsim::OutstandingBstrs(), 0u);
    EXPECT_TRUE(winsim::ComInitialised());
}

TEST_F(WmiTest, ConnectSucceedsWhenSecurityWasSetEarlier) {
    winsim::FailCall("CoInitializeSecurity", 0x80010119); // RPC_E_TOO_LATE
    CWMIInterface wmi;
    EXPECT_EQ(wmi.Connect(), kWmiSuccess);
    EXPECT_EQ(winsim::DebugTexts(), StageTraces(3));
}

TEST_F(WmiTest, ConnectPassesTheDocumentedArguments) {
    CWMIInterface wmi;
    ASSERT_EQ(wmi.Connect(), kWmiSuccess);
    using Args = std::vector<std::string>;
    EXPECT_EQ(winsim::CallsTo("CoInitializeEx").at(0).args, (Args{"(null)", "0x0"}));
    EXPECT_EQ(winsim::CallsTo("CoInitializeSecurity").at(0).args,
              (Args{"(null)", "-1", "(null)", "(null)", "0", "3", "(null)", "0x0", "(null)"}));
    EXPECT_EQ(winsim::CallsTo("CoCreateInstance").at(0).args,
              (Args{"{4590F811-1D3A-11D0-891F-00AA004B2E24}", "(null)", "0x1",
                    "{DC12A687-737F-11CF-884D-00AA004B2E24}"}));
    EXPECT_EQ(winsim::CallsTo("IWbemLocator::ConnectServer").at(0).args,
              (Args{"ROOT\\wmi", "(null)", "(null)", "(null)", "0x0", "(null)", "(null)"}));
    EXPECT_EQ(winsim::CallsTo("CoSetProxyBlanket").at(0).args,
              (Args{"IWbemServices", "10", "0", "(null)", "3", "3", "(null)", "0x0"}));
}

TEST_F(WmiTest, GetSMBIOSInfoWithoutConnectionDoesNothing) {
    CWMIInterface wmi;
    TableBlock block;
    int length = 7;
    EXPECT_EQ(wmi.GetSMBIOSInfo(block, length), kWmiFailure);
    EXPECT_TRUE(winsim::DebugTexts().empty());
    EXPECT_TRUE(winsim::Calls().empty());
    EXPECT_EQ(length, 7);
}

TEST_F(WmiTest, ReleaseGivesBackServicesThenLocatorAndCanBeRepeated) {
    CWMIInterface wmi;
    ASSERT_EQ(wmi.Connect(), kWmiSuccess);
    wmi.ReleaseInterfaces();
    wmi.ReleaseInterfaces();
    EXPECT_EQ(wmi.services, nullptr);
    EXPECT_EQ(wmi.locator, nullptr);
    EXPECT_EQ(
        CallNames({"CoInitializeEx", "CoInitializeSecurity", "CoCreateInstance", "SysAllocString",
                   "IWbemLocator::ConnectServer", "SysFreeString", "CoSetProxyBlanket"}),
        (Texts{"IWbemServices::Release", "IWbemLocator::Release"}));
    ExpectNothingLeft();
}

TEST_F(WmiTest, FailedReleaseKeepsThePointerForTheNextAttempt) {
    winsim::ThrowInCall("IWbemServices::Release", 1);
    {
        CWMIInterface wmi;
        ASSERT_EQ(wmi.Connect(), kWmiSuccess);
        IWbemServices* services = wmi.services;
        wmi.ReleaseInterfaces();
        EXPECT_EQ(wmi.services, services);
        EXPECT_EQ(wmi.locator, nullptr); // the locator is released all the same
        EXPECT_EQ(winsim::LiveComReferences("IWbemServices"), 1);
    } // the destructor tries again
    ExpectNothingLeft();
}

TEST_F(WmiTest, DestructorSwallowsReleasesThatAlwaysFail) {
    winsim::ThrowInCall("IWbemLocator::Release");
    winsim::ThrowInCall("IWbemServices::Release");
    {
        CWMIInterface wmi;
        ASSERT_EQ(wmi.Connect(), kWmiSuccess);
    }
    EXPECT_EQ(winsim::CallsTo("IWbemLocator::Release").size(), 1u);
    EXPECT_EQ(winsim::CallsTo("IWbemServices::Release").size(), 1u);
}

TEST_F(WmiTest, SecondConnectDoesNotLeakTheFirstInterfaces) {
    {
        CWMIInterface wmi;
        ASSERT_EQ(wmi.Connect(), kWmiSuccess);
        ASSERT_EQ(wmi.Connect(), kWmiSuccess);
        EXPECT_EQ(winsim::LiveComReferences(), 2);
    }
    ExpectNothingLeft();
}

} // namespace
