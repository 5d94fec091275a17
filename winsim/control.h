// Test control of the Windows API stand-in: reset the simulated machine, seed it, read back what
// the program did, and inject failures into any simulated call.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

// Puts the whole machine back into its initial state (every module registers its own reset).
void Reset();

// Registers a module's reset function; modules do this with a static ResetHook object.
struct ResetHook {
    explicit ResetHook(std::function<void()> reset);
};

// --- call log and failure injection -----------------------------------------------------------
struct Call {
    std::string function;
    std::vector<std::string> args;
};
const std::vector<Call>& Calls();
std::vector<Call> CallsTo(const std::string& function);
void ClearCalls();

// The occurrence-th call (1-based; 0 means every call) to `function` returns `result` without
// doing its work. Simulated functions that return a pointer return null instead.
void FailCall(const std::string& function, long result, int occurrence = 0);
// The occurrence-th call (1-based; 0 means every call) to `function` throws std::bad_alloc.
void ThrowInCall(const std::string& function, int occurrence = 0);

// --- debugger output --------------------------------------------------------------------------
const std::vector<std::string>& DebugTexts();
void ClearDebugTexts();

// --- ANSI code page ---------------------------------------------------------------------------
// false: a single-byte code page (the default, like 1252); true: a double-byte one whose lead
// bytes are 0x81-0x9F and 0xE0-0xFC (like 932).
void SetDoubleByteCodePage(bool doubleByte);

// --- heap -------------------------------------------------------------------------------------
// Number of HeapAlloc blocks not yet given back with HeapFree.
size_t OutstandingHeapBlocks();

namespace detail {
// Called first by every simulated function: logs the call, then throws or reports an injected
// failure (returning true with *result set) when one was asked for.
bool Enter(const char* function, std::vector<std::string> args, long* result);
std::string Hex(unsigned long value);
std::string Text(const char* text);
} // namespace detail

// --- registry ---------------------------------------------------------------------------------
// Key paths begin with the root's name (HKEY_LOCAL_MACHINE or HKLM, HKEY_CURRENT_USER or HKCU,
// HKEY_CLASSES_ROOT or HKCR, HKEY_USERS or HKU); key and value names are case-insensitive.
struct RegistryValue {
    unsigned long type;
    std::vector<unsigned char> data; // exactly the stored bytes
};
// Creates the key and every missing parent.
void SeedRegistryKey(const std::string& keyPath);
// Stores exactly these bytes with this type, creating the key and its parents as needed.
void SeedRegistryValue(const std::string& keyPath, const std::string& valueName, unsigned long type,
                       const std::vector<unsigned char>& data);
void SeedRegistryValue(const std::string& keyPath, const std::string& valueName, unsigned long type,
                       const std::string& bytes);
bool RegistryKeyExists(const std::string& keyPath);
std::optional<RegistryValue> ReadRegistryValue(const std::string& keyPath,
                                               const std::string& valueName);
// Removes the key with everything beneath it.
void DeleteRegistryKey(const std::string& keyPath);
void DeleteRegistryValue(const std::string& keyPath, const std::string& valueName);
// Key handles opened or created and not yet closed (the predefined roots do not count).
size_t OpenRegistryKeyCount();

// --- operating system -----------------------------------------------------------------------
// What GetVersionExA reports (default: the NT platform, version 6.1).
void SetReportedVersion(unsigned long platformId, unsigned long major, unsigned long minor);
// How kernel32's GetSystemWow64DirectoryA looks to GetProcAddress: present and answering with
// the directory's length (a 64-bit system, the default), present and returning 0 (a 32-bit
// system), or absent. ThrowInCall("GetSystemWow64DirectoryA") makes the looked-up call throw.
enum class Wow64Probe { Answers, ReturnsZero, Absent };
void SetWow64Probe(Wow64Probe probe);
// Whether kernel32 exports SetDefaultDllDirectories (default: yes; Vista and 7 without the
// 2011 loader update do not). FailCall("SetDefaultDllDirectories", FALSE) makes it refuse.
void SetDefaultDllDirectoriesExported(bool exported);
// --- COM, automation and WMI ------------------------------------------------------------------
// The stand-in's management-instrumentation service serves the class "MSSmBios_RawSMBiosTables"
// in the namespace "ROOT\wmi". After Reset it answers like a machine without firmware tables:
// every stage succeeds, there is one instance, "Active" is VT_BOOL true and "SMBiosData" is
// VT_NULL.
//
// Every call is logged, and can be targeted by FailCall/ThrowInCall, under its platform name:
// CoInitializeEx, CoInitializeSecurity, CoCreateInstance, CoSetProxyBlanket, CoUninitialize,
// SysAllocString, SysFreeString, VariantInit, VariantClear, SafeArrayCreateVector,
// SafeArrayDestroy, IWbemLocator::ConnectServer, IWbemServices::CreateInstanceEnum,
// IEnumWbemClassObject::Next, IWbemClassObject::Get, and <interface>::QueryInterface, ::AddRef
// and ::Release for IWbemLocator, IWbemServices, IEnumWbemClassObject and IWbemClassObject.
// FailCall makes a call hand out nothing (null interface, no value); the scripted results
// below let the call do its work unless the result is negative.
//
// Logged arguments: GUIDs as {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, flags and VARTYPEs in hex,
// levels, counts and time-outs in signed decimal, BSTRs as their text ("(null)" for none and
// "(not a BSTR)" for a pointer that SysAllocString did not hand out), other pointers as
// "(null)" or "(set)", an interface passed in as the name of its interface.
//
// Calling a released interface, releasing it once too often, or freeing something that is not
// a live BSTR or SAFEARRAY aborts the test run, as the heap does on a double free.

enum class WmiStage {
    CoCreateInstance,
    ConnectServer,
    CoSetProxyBlanket,
    CreateInstanceEnum,
    Next
};

// The HRESULT `stage` returns (taken as 32 bits, so 0x80041002 is a failure). Negative: the call
// fails and hands out nothing. Otherwise the call does its work and returns `hr` (Next then returns
// it even when it ran out of instances).
void SetWmiResult(WmiStage stage, long hr);
// The HRESULT of IWbemClassObject::Get for `property`. Negative: no value is handed out.
void SetWmiGetResult(const std::string& property, long hr);
// Number of instances the enumeration yields (default 1).
void SetWmiInstanceCount(int count);

// A property value as Get hands it out in a VARIANT.
struct WmiValue {
    unsigned short vt = 1;            // VARTYPE; default VT_NULL
    long scalar = 0;                  // the value of a scalar type (VT_BOOL: non-zero is true)
    std::vector<unsigned char> bytes; // the array's raw element data, or the text of a VT_BSTR
    // The array's bounds as its descriptor reports them, first bound first (signed, so a
    // negative count can be reported). Empty: one bound counting the elements in `bytes`.
    std::vector<long> elementCounts;
    bool nullArray = false; // a VT_ARRAY type whose parray is null
    bool nullData = false;  // an array descriptor whose pvData is null
};
WmiValue WmiOfType(unsigned short vt, long scalar = 0);
WmiValue WmiByteArray(std::vector<unsigned char> bytes);
// A VT_ARRAY | elementType array holding `bytes` as its element data.
WmiValue WmiArray(unsigned short elementType, std::vector<unsigned char> bytes);
WmiValue WmiText(const std::string& text);
void SetWmiProperty(const std::string& name, WmiValue value);
void RemoveWmiProperty(const std::string& name);

// Leak accounting. References still held on all interfaces handed out, or on those of one
// interface type ("IWbemLocator", "IWbemServices", "IEnumWbemClassObject", "IWbemClassObject").
long LiveComReferences();
long LiveComReferences(const std::string& interfaceName);
size_t OutstandingBstrs();      // BSTRs made (by SysAllocString or Get) and not yet freed
size_t OutstandingSafeArrays(); // arrays made (by SafeArrayCreateVector or Get), not destroyed
size_t UnclearedVariants();     // VARIANTs that Get filled and VariantClear has not emptied
bool ComInitialised();          // CoInitializeEx succeeded and CoUninitialize did not undo it

} // namespace winsim
