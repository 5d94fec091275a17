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
void SeedRegistryValue(const std::string& keyPath, const std::string& valueName,
                       unsigned long type, const std::vector<unsigned char>& data);
void SeedRegistryValue(const std::string& keyPath, const std::string& valueName,
                       unsigned long type, const std::string& bytes);
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

} // namespace winsim
