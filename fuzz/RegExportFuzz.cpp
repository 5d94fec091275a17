// Reads arbitrary bytes as a registry export of the "SMBiosData" value, as the inspector does
// with a .reg file. Must hold for any input: only the input is read, a rejection is one line,
// and an accepted value is not empty and decodes the same way twice.
#include "input/RegExport.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20) return 0;
    const std::vector<unsigned char> bytes(data, data + size);
    std::vector<unsigned char> table;
    std::string error;
    if (!ParseRegExport(bytes, table, error)) {
        Check(!error.empty() && error.find('\n') == std::string::npos);
        return 0;
    }
    Check(!table.empty() && error.empty());
    RegFile file;
    Check(ParseRegFile(bytes, file, error));
    std::vector<unsigned char> again;
    Check(FindSMBiosData(file, again, error) && again == table);
    return 0;
}
