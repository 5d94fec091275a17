// Test control of the Windows API stand-in: reset the simulated machine, seed it, read back what
// the program did, and inject failures into any simulated call.
#pragma once
#include <functional>
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

} // namespace winsim
