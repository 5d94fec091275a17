#include "smbios/TableBlock.h"

#include <new>

TableBlock AllocateTableBlock(size_t bytes) {
    auto* block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, bytes));
    if (block == nullptr) throw std::bad_alloc();
    return TableBlock(block);
}
