// The raw SMBIOS table as a table source hands it over: a block from the process heap and its
// length. The block is owned by a TableBlock, so it is given back on every path.
#pragma once
#include <memory>
#include <windows.h>

struct HeapBlockDeleter {
    void operator()(BYTE* block) const { HeapFree(GetProcessHeap(), 0, block); }
};
using TableBlock = std::unique_ptr<BYTE, HeapBlockDeleter>;

// Allocates `bytes` from the process heap; throws std::bad_alloc when the heap cannot.
TableBlock AllocateTableBlock(size_t bytes);

// The table sources, asked in this order. Each first empties `block` and sets `length` to 0,
// then returns 1 with the table (or, for a source that answered without one, no block), or 0
// with no block.
// `lastResult`, when given, receives the last HRESULT the WMI source met (S_OK where a stage
// answered without failing but gave no table).
int GetSMBIOSFromWMI(TableBlock& block, int& length, HRESULT* lastResult = nullptr);
int GetSMBIOSFromRegistry(TableBlock& block, int& length);

// Where the registry source finds the table: the SMBIOS driver service's copy under HKLM.
constexpr char kSMBiosDataKey[] = "system\\currentcontrolset\\services\\mssmbios\\data";
constexpr char kSMBiosDataValue[] = "SMBiosData";
