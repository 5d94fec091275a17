#include "smbios/TableBlock.h"

// Not built yet: the registry copy of the table is not read, so this source never answers.
int GetSMBIOSFromRegistry(TableBlock& block, int& length) {
    block.reset();
    length = 0;
    return 0;
}
