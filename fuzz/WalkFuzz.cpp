// Walks arbitrary bytes as a raw SMBIOS table, in a single-byte and a double-byte code page, and
// checks what must hold for any input: the walk reads only the table (the sanitizers watch
// that), its result is 0 or 1, every candidate and output text is terminated within its
// buffer, the two identifiers are never empty after finalisation, an observer changes nothing,
// and the walk is cut short exactly when the observer is told why.
#include "control.h"
#include "smbios/SystemIdentity.h"
#include "smbios/WalkObserver.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

template <size_t Size> void CheckTerminated(const char (&text)[Size]) {
    Check(std::memchr(text, '\0', Size) != nullptr);
}

// Checks that everything it is told lies within the table and the walk's buffers.
class CheckingObserver : public WalkObserver {
  public:
    explicit CheckingObserver(int length) : m_length(length) {}
    int stops = 0;

    void OnStructure(int offset, int type, int length, int handle) override {
        CheckOffset(offset);
        Check(type >= 0 && type <= 255 && length >= 0 && length <= 255);
        Check(handle >= -1 && handle <= 0xFFFF);
    }
    void OnString(int offset, int number, const char* text) override {
        CheckOffset(offset);
        Check(number >= 1 && std::strlen(text) <= 127);
    }
    void OnCandidate(ValueSource source, int offset, int number, const char* text) override {
        CheckOffset(offset);
        Check(source != ValueSource::Fallback && number >= 0 && std::strlen(text) <= 127);
    }
    void OnAnomaly(WalkAnomaly anomaly, int offset, int number) override {
        CheckOffset(offset);
        Check(number >= 0);
        if (anomaly == WalkAnomaly::TruncatedStructure ||
            anomaly == WalkAnomaly::StringNumberOutOfRange)
            ++stops;
    }
    void OnValue(IdentityField, ValueSource, const char* text) override {
        Check(std::strlen(text) < 260);
    }

  private:
    void CheckOffset(int offset) const { Check(offset >= 0 && offset < m_length); }
    int m_length;
};

void WalkOnce(const BYTE* table, int length) {
    IdentityCandidates candidates = {};
    const int result = WalkSMBiosTable(table, length, candidates);
    Check(result == 0 || result == 1);
    CheckTerminated(candidates.manufacturer);
    CheckTerminated(candidates.regulatory);
    CheckTerminated(candidates.oemSystemId);
    CheckTerminated(candidates.systemId208);

    CheckingObserver observer(length);
    IdentityCandidates observed = {};
    Check(WalkSMBiosTable(table, length, observed, &observer) == result);
    Check(std::memcmp(&observed, &candidates, sizeof candidates) == 0);
    Check(observer.stops == (result == 0 ? 1 : 0));

    SystemIdentity identity;
    std::memset(&identity, 'x', sizeof identity); // stale text must not survive
    FinaliseIdentity(candidates, identity, &observer);
    CheckTerminated(identity.szManufacturer);
    CheckTerminated(identity.szSystemIdHex);
    CheckTerminated(identity.szRegulatoryID);
    Check(identity.szSystemIdHex[0] != '\0' && identity.szRegulatoryID[0] != '\0');
    Check(std::strcmp(identity.szManufacturer, candidates.manufacturer) == 0);
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
