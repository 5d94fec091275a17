// kernel32 subset: debugger output channel, ANSI helpers, code page and the process heap.
#include "control.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <set>

namespace winsim {
namespace {

struct KernelState {
    std::vector<std::string> debugTexts;
    bool doubleByte = false;
    std::set<void*> heapBlocks;
};

KernelState& kernel() {
    static KernelState s;
    return s;
}

void FreeAllBlocks() {
    for (void* block : kernel().heapBlocks)
        std::free(block);
    kernel() = KernelState{};
}

const ResetHook resetKernel(FreeAllBlocks);
int processHeap;

} // namespace

const std::vector<std::string>& DebugTexts() {
    return kernel().debugTexts;
}
void ClearDebugTexts() {
    kernel().debugTexts.clear();
}
void SetDoubleByteCodePage(bool doubleByte) {
    kernel().doubleByte = doubleByte;
}
size_t OutstandingHeapBlocks() {
    return kernel().heapBlocks.size();
}

} // namespace winsim

void WINAPI OutputDebugStringA(LPCSTR text) {
    winsim::kernel().debugTexts.push_back(text ? text : "");
}

int WINAPI lstrlenA(LPCSTR text) {
    return text ? static_cast<int>(std::strlen(text)) : 0;
}

LPSTR WINAPI lstrcpyA(LPSTR destination, LPCSTR source) {
    return std::strcpy(destination, source);
}

BOOL WINAPI IsDBCSLeadByte(BYTE byte) {
    if (!winsim::kernel().doubleByte) return FALSE;
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

HANDLE WINAPI GetProcessHeap() {
    return &winsim::processHeap;
}

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    long ignored;
    if (winsim::detail::Enter("HeapAlloc", {std::to_string(bytes)}, &ignored)) return nullptr;
    if (heap != &winsim::processHeap) return nullptr;
    void* block = (flags & HEAP_ZERO_MEMORY) ? std::calloc(bytes ? bytes : 1, 1)
                                             : std::malloc(bytes ? bytes : 1);
    if (block) winsim::kernel().heapBlocks.insert(block);
    return block;
}

BOOL WINAPI HeapFree(HANDLE heap, DWORD, LPVOID block) {
    winsim::detail::Enter("HeapFree", {}, nullptr);
    if (heap != &winsim::processHeap) return FALSE;
    if (!block) return TRUE;
    if (winsim::kernel().heapBlocks.erase(block) == 0) std::abort(); // double or foreign free
    std::free(block);
    return TRUE;
}
