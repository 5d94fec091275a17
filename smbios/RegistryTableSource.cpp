// The table source that reads the copy of the SMBIOS data kept in the registry by the
// operating system's SMBIOS driver service.
#include "smbios/TableBlock.h"
#include "platform/ScopedRegKey.h"

#include <climits>

// A missing key counts as an answer without a table, so the extraction falls back to its
// defaults. Running out of memory for the block is not handled here: it ends the run.
int GetSMBIOSFromRegistry(TableBlock& block, int& length) {
    block.reset();
    length = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSMBiosDataKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 1;
    const ScopedRegKey closer(key);

    DWORD size = 0;
    if (RegQueryValueExA(key, kSMBiosDataValue, nullptr, nullptr, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0 || size > INT_MAX)
        return 0;
    TableBlock table = AllocateTableBlock(size);
    // The filled count, not the first answer, bounds the table: the value may have shrunk.
    DWORD filled = size;
    if (RegQueryValueExA(key, kSMBiosDataValue, nullptr, nullptr, table.get(), &filled) !=
            ERROR_SUCCESS ||
        filled == 0)
        return 0;
    block = std::move(table);
    length = static_cast<int>(filled);
    return 1;
}
