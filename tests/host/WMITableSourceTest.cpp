// GetSMBIOSFromWMI: what the service must answer for the table to be taken, what it hands
// over, and that every path gives back what it was handed.
#include "WMITestSupport.h"

#include "pure/TableBuilder.h"
#include "smbios/SystemIdentity.h"
#include "smbios/TableBlock.h"
#include "smbios/WMIInterface.h"

#include <climits>
#include <cstring>

namespace {

using namespace wmitest;
using Bytes = std::vector<unsigned char>;

const Bytes kSomeBytes = {0x01, 0x04, 0x00, 0x00, 0x00, 0x00};

struct Answer {
    const char* name;
    void (*arrange)();
    Texts traces;
};

void PrintTo(const Answer& answer, std::ostream* out) {
    *out << answer.name;
}

void SetData(winsim::WmiValue value) {
    winsim::SetWmiProperty("SMBiosData", std::move(value));
}

winsim::WmiValue ByteArrayCounting(long count, Bytes bytes = kSomeBytes) {
    winsim::WmiValue value = winsim::WmiByteArray(std::move(bytes));
    value.elementCounts = {count};
    return value;
}

class RejectedAnswerTest : public WmiTest, public ::testing::WithParamInterface<Answer> {};

TEST_P(RejectedAnswerTest, SourceFailsWithNoBlockAndNothingLeft) {
    GetParam().arrange();
    TableBlock block;
    int length = -1;
    EXPECT_EQ(GetSMBIOSFromWMI(block, length), 0);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(winsim::DebugTexts(), GetParam().traces);
    ExpectNothingLeft();
}

// Traces of a run that connected and then got through `stages` stages of GetSMBIOSInfo.
Texts After(size_t stages) {
    return StageTraces(3 + stages);
}
Texts ExceptionAfter(size_t stages) {
    return Append(After(stages), TRACE_WMI_INFO_EXCEPTION);
}

INSTANTIATE_TEST_SUITE_P(
    Enumeration, RejectedAnswerTest,
    ::testing::Values(
        Answer{"EnumerationReturnsSFalse",
               [] { winsim::SetWmiResult(winsim::WmiStage::CreateInstanceEnum, 1); }, After(1)},
        Answer{"EnumerationReturnsTimedOut",
               [] { winsim::SetWmiResult(winsim::WmiStage::CreateInstanceEnum, 0x40004); },
               After(1)},
        Answer{"EnumerationFails",
               [] { winsim::SetWmiResult(winsim::WmiStage::CreateInstanceEnum, 0x80041010); },
               After(1)},
        Answer{"EnumeratorMissingDespiteSOk",
               [] { winsim::FailCall("IWbemServices::CreateInstanceEnum", 0); }, After(1)},
        Answer{"NoInstance", [] { winsim::SetWmiInstanceCount(0); }, After(2)},
        Answer{"NoInstanceButSOk",
               [] {
                   winsim::SetWmiInstanceCount(0);
                   winsim::SetWmiResult(winsim::WmiStage::Next, 0);
               },
               After(2)},
        Answer{"NextFails", [] { winsim::SetWmiResult(winsim::WmiStage::Next, 0x80041001); },
               After(2)},
        Answer{"DataPropertyMissing", [] { winsim::RemoveWmiProperty("SMBiosData"); }, After(4)},
        Answer{"DataGetFails", [] { winsim::SetWmiGetResult("SMBiosData", 0x80041003); },
               After(4)}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    DataType, RejectedAnswerTest,
    ::testing::Values(
        Answer{"Null", [] {}, After(5)},
        Answer{"Empty", [] { SetData(winsim::WmiOfType(VT_EMPTY)); }, After(5)},
        Answer{"Text", [] { SetData(winsim::WmiText("not a table")); }, After(5)},
        Answer{"SignedByteArray", [] { SetData(winsim::WmiArray(VT_I1, kSomeBytes)); }, After(5)},
        Answer{"WordArray", [] { SetData(winsim::WmiArray(VT_UI2, kSomeBytes)); }, After(5)},
        Answer{"TextArray", [] { SetData(winsim::WmiArray(VT_BSTR, {})); }, After(5)},
        Answer{"SingleByte", [] { SetData(winsim::WmiOfType(VT_UI1, 1)); }, After(5)},
        Answer{"ByteArrayByReference",
               [] { SetData(winsim::WmiOfType(VT_ARRAY | VT_UI1 | VT_BYREF)); }, After(5)},
        Answer{"Integer", [] { SetData(winsim::WmiOfType(VT_I4, 42)); }, After(5)}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    ByteArrayShape, RejectedAnswerTest,
    ::testing::Values(
        Answer{"NoElements", [] { SetData(winsim::WmiByteArray({})); }, After(5)},
        Answer{"ZeroCountOverData", [] { SetData(ByteArrayCounting(0)); }, After(5)},
        Answer{"NegativeCount", [] { SetData(ByteArrayCounting(-6)); }, After(5)},
        Answer{"MostNegativeCount", [] { SetData(ByteArrayCounting(INT_MIN)); }, After(5)},
        Answer{"NoDescriptor",
               [] {
                   winsim::WmiValue value = winsim::WmiByteArray(kSomeBytes);
                   value.nullArray = true;
                   SetData(value);
               },
               After(5)},
        Answer{"NoData",
               [] {
                   winsim::WmiValue value = winsim::WmiByteArray(kSomeBytes);
                   value.nullData = true;
                   SetData(value);
               },
               After(5)},
        // Only the first bound would be read, though the second one leaves no elements at all.
        Answer{"TwoDimensions",
               [] {
                   winsim::WmiValue value = winsim::WmiByteArray({});
                   value.elementCounts = {16, 0};
                   SetData(value);
               },
               After(5)}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Exception, RejectedAnswerTest,
    ::testing::Values(
        Answer{"NoMemoryForTheClassName", [] { winsim::FailCall("SysAllocString", 0, 2); },
               ExceptionAfter(1)},
        Answer{"ThrowInCreateInstanceEnum",
               [] { winsim::ThrowInCall("IWbemServices::CreateInstanceEnum"); }, ExceptionAfter(1)},
        Answer{"ThrowInNext", [] { winsim::ThrowInCall("IEnumWbemClassObject::Next"); },
               ExceptionAfter(2)},
        Answer{"ThrowInFirstVariantInit", [] { winsim::ThrowInCall("VariantInit", 1); },
               ExceptionAfter(3)},
        Answer{"ThrowInGetActive", [] { winsim::ThrowInCall("IWbemClassObject::Get", 1); },
               ExceptionAfter(3)},
        Answer{"ThrowInGetData", [] { winsim::ThrowInCall("IWbemClassObject::Get", 2); },
               ExceptionAfter(4)},
        Answer{"NoMemoryForTheCopy",
               [] {
                   SetData(winsim::WmiByteArray(kSomeBytes));
                   winsim::FailCall("HeapAlloc", 0, 1);
               },
               ExceptionAfter(5)}),
    CaseName());

TEST_F(WmiTest, ConnectionFailureSkipsTheRead) {
    winsim::SetWmiResult(winsim::WmiStage::ConnectServer, 0x8004100E);
    TableBlock block;
    int length = 0;
    EXPECT_EQ(GetSMBIOSFromWMI(block, length), 0);
    EXPECT_EQ(winsim::DebugTexts(), Append(StageTraces(1), "Error code: -2147217394\n"));
    ExpectNothingLeft();
}

struct Table {
    const char* name;
    Bytes bytes;
    long elementCount; // 0: the number of bytes
    size_t expectedLength;
};

void PrintTo(const Table& table, std::ostream* out) {
    *out << table.name;
}

Bytes Pattern(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    return bytes;
}

class AcceptedTableTest : public WmiTest, public ::testing::WithParamInterface<Table> {};

TEST_P(AcceptedTableTest, BlockHoldsTheArrayBytesWithTheElementCountAsLength) {
    const Table& table = GetParam();
    winsim::WmiValue value = winsim::WmiByteArray(table.bytes);
    if (table.elementCount != 0) value.elementCounts = {table.elementCount};
    SetData(value);
    TableBlock block;
    int length = 0;
    ASSERT_EQ(GetSMBIOSFromWMI(block, length), 1);
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(length, static_cast<int>(table.expectedLength));
    EXPECT_EQ(std::memcmp(block.get(), table.bytes.data(), table.expectedLength), 0);
    EXPECT_EQ(winsim::DebugTexts(), StageTraces(8));
    ExpectNothingLeft(1);
    block.reset();
    EXPECT_EQ(winsim::OutstandingHeapBlocks(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Tables, AcceptedTableTest,
                         ::testing::Values(Table{"OneByte", {0x7F}, 0, 1},
                                           Table{"AllByteValues", Pattern(600), 0, 600},
                                           Table{"CountShorterThanData", Pattern(40), 12, 12}),
                         CaseName());

TEST_F(WmiTest, SuccessCodeOtherThanSOkFromNextStillGivesTheInstance) {
    winsim::SetWmiResult(winsim::WmiStage::Next, 1); // WBEM_S_FALSE, yet one object
    SetData(winsim::WmiByteArray(kSomeBytes));
    TableBlock block;
    int length = 0;
    EXPECT_EQ(GetSMBIOSFromWMI(block, length), 1);
    EXPECT_EQ(length, 6);
}

TEST_F(WmiTest, ActivePropertyIsReadButNotExamined) {
    winsim::SetWmiGetResult("Active", 0x80041002);
    SetData(winsim::WmiByteArray(kSomeBytes));
    TableBlock block;
    int length = 0;
    EXPECT_EQ(GetSMBIOSFromWMI(block, length), 1);
    EXPECT_EQ(winsim::DebugTexts(), StageTraces(8));
}

TEST_F(WmiTest, PayloadsOfBothVariantsAreFreed) {
    winsim::SetWmiProperty("Active", winsim::WmiText("yes"));
    SetData(winsim::WmiArray(VT_I1, kSomeBytes));
    TableBlock block;
    int length = 0;
    EXPECT_EQ(GetSMBIOSFromWMI(block, length), 0);
    EXPECT_EQ(winsim::CallsTo("VariantClear").size(), 2u);
    ExpectNothingLeft();
}

TEST_F(WmiTest, EachCallInOrderWithItsArguments) {
    SetData(winsim::WmiByteArray(kSomeBytes));
    TableBlock block;
    int length = 0;
    ASSERT_EQ(GetSMBIOSFromWMI(block, length), 1);
    EXPECT_EQ(CallNames(), (Texts{"CoInitializeEx",
                                  "CoInitializeSecurity",
                                  "CoCreateInstance",
                                  "SysAllocString",
                                  "IWbemLocator::ConnectServer",
                                  "SysFreeString",
                                  "CoSetProxyBlanket",
                                  "SysAllocString",
                                  "IWbemServices::CreateInstanceEnum",
                                  "SysFreeString",
                                  "IEnumWbemClassObject::Next",
                                  "VariantInit",
                                  "IWbemClassObject::Get",
                                  "VariantInit",
                                  "IWbemClassObject::Get",
                                  "HeapAlloc",
                                  "VariantClear",
                                  "VariantClear",
                                  "IWbemClassObject::Release",
                                  "IEnumWbemClassObject::Release",
                                  "IWbemServices::Release",
                                  "IWbemLocator::Release"}));
    using Args = std::vector<std::string>;
    EXPECT_EQ(winsim::CallsTo("IWbemServices::CreateInstanceEnum").at(0).args,
              (Args{"MSSmBios_RawSMBiosTables", "0x230", "(null)"}));
    EXPECT_EQ(winsim::CallsTo("IEnumWbemClassObject::Next").at(0).args, (Args{"-1", "1"}));
    const auto gets = winsim::CallsTo("IWbemClassObject::Get");
    EXPECT_EQ(gets.at(0).args, (Args{"Active", "0x0", "vt=0x0", "(null)", "(null)"}));
    EXPECT_EQ(gets.at(1).args, (Args{"SMBiosData", "0x0", "vt=0x0", "(null)", "(null)"}));
    const auto clears = winsim::CallsTo("VariantClear");
    EXPECT_EQ(clears.at(0).args, (Args{"SMBiosData", "0x2011"}));
    EXPECT_EQ(clears.at(1).args, (Args{"Active", "0xB"}));
    EXPECT_EQ(winsim::CallsTo("HeapAlloc").at(0).args, (Args{"6"}));
}

TEST_F(WmiTest, ComStaysInitialisedAfterEveryOutcome) {
    TableBlock block;
    int length = 0;
    GetSMBIOSFromWMI(block, length);
    SetData(winsim::WmiByteArray(kSomeBytes));
    GetSMBIOSFromWMI(block, length);
    EXPECT_TRUE(winsim::CallsTo("CoUninitialize").empty());
    EXPECT_TRUE(winsim::ComInitialised());
}

TEST_F(WmiTest, FailedReleaseOfTheInstanceDoesNotStopTheRest) {
    winsim::ThrowInCall("IWbemClassObject::Release");
    SetData(winsim::WmiByteArray(kSomeBytes));
    TableBlock block;
    int length = 0;
    EXPECT_EQ(GetSMBIOSFromWMI(block, length), 1);
    EXPECT_EQ(winsim::LiveComReferences("IWbemClassObject"), 1);
    EXPECT_EQ(winsim::LiveComReferences("IEnumWbemClassObject"), 0);
    EXPECT_EQ(winsim::LiveComReferences("IWbemServices"), 0);
    EXPECT_EQ(winsim::LiveComReferences("IWbemLocator"), 0);
}

// --- the extraction with this source -------------------------------------------------------

TEST_F(WmiTest, IdentityComesFromTheWmiTable) {
    const auto table =
        TableBuilder().System(1, {"Acme"}).Oem({"1[00a5]", "13[R-77]"}).End().Bytes();
    SetData(winsim::WmiByteArray(Bytes(table.begin(), table.end())));
    SystemIdentity identity;
    EXPECT_EQ(GetSystemIdentity(&identity), 1);
    EXPECT_STREQ(identity.szManufacturer, "Acme");
    EXPECT_STREQ(identity.szSystemIdHex, "A5");
    EXPECT_STREQ(identity.szRegulatoryID, "R-77");
    ExpectNothingLeft();
}

} // namespace
