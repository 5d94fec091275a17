// Walks arbitrary bytes as a raw SMBIOS table, in a single-byte and a double-byte code page, and
// checks what must hold for any input: the walk reads only the table (the sanitizers watch
// that), its result is 0 or 1, every candidate and output text is terminated within its
// buffer, and after finalisation the two identifiers are never empty.
#include "control.h"
#include "smbios/SystemIdentity.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

template <size_t Size> void CheckTerminated(const char (&text)[Size]) {
    if (std::memchr(text, '\0', Size) == nullptr) std::abort();
}

void CheckNotEmpty(const char* text) {
    if (text[0] == '\0') std::abort();
}

void WalkOnce(const BYTE* table, int length) {
    IdentityCandidates candidates = {};
    const int result = WalkSMBiosTable(table, length, candidates);
    if (result != 0 && result != 1) std::abort();
    CheckTerminated(candidates.manufacturer);
    CheckTerminated(candidates.regulatory);
    CheckTerminated(candidates.oemSystemId);
    CheckTerminated(candidates.systemId208);

    SystemIdentity identity;
    std::memset(&identity, 'x', sizeof identity); // stale text must not survive
    FinaliseIdentity(candidates, identity);
    CheckTerminated(identity.szManufacturer);
    CheckTerminated(identity.szSystemIdHex);
    CheckTerminated(identity.szRegulatoryID);
    CheckNotEmpty(identity.szSystemIdHex);
    CheckNotEmpty(identity.szRegulatoryID);
    if (std::strcmp(identity.szManufacturer, candidates.manufacturer) != 0) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20) return 0;
    const int length = static_cast<int>(size);
    winsim::SetDoubleByteCodePage(false);
    WalkOnce(data, length);
    winsim::SetDoubleByteCodePage(true);
    WalkOnce(data, length);
    return 0;
}
