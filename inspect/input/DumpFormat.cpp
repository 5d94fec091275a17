#include "input/DumpFormat.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kSm2Size = 0x1F;    // "_SM_" entry point, "_DMI_" part included
constexpr size_t kSm3Size = 0x18;    // "_SM3_" entry point
constexpr size_t kLegacySize = 0x0F; // "_DMI_" entry point
constexpr size_t kIntermediate = 0x10;

uint32_t Le16(const unsigned char* p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8);
}
uint32_t Le32(const unsigned char* p) {
    return Le16(p) | Le16(p + 2) << 16;
}
uint64_t Le64(const unsigned char* p) {
    return Le32(p) | static_cast<uint64_t>(Le32(p + 4)) << 32;
}

bool SumsToZero(const unsigned char* data, size_t size) {
    unsigned sum = 0;
    for (size_t i = 0; i < size; ++i)
        sum += data[i];
    return (sum & 0xFF) == 0;
}

bool Anchor(const unsigned char* data, size_t size, const char* anchor) {
    const size_t length = std::strlen(anchor);
    return size >= length && std::memcmp(data, anchor, length) == 0;
}

// The length byte says how many bytes the checksum covers; one outside what the format allows
// is not trusted, and the format's own size is summed instead.
size_t CheckedSize(unsigned char lengthByte, size_t formatSize, size_t low, size_t size) {
    const size_t covered = lengthByte >= low && lengthByte <= 0x20 ? lengthByte : formatSize;
    return covered < size ? covered : size;
}

void ReadSm2(const unsigned char* data, size_t size, EntryPoint& ep) {
    ep.major = data[6];
    ep.minor = data[7];
    ep.checksumOk = SumsToZero(data, CheckedSize(data[5], kSm2Size, 0x1E, size));
    ep.intermediateOk = SumsToZero(data + kIntermediate, kSm2Size - kIntermediate);
    ep.length = Le16(data + 0x16);
    ep.address = Le32(data + 0x18);
}

void ReadSm3(const unsigned char* data, size_t size, EntryPoint& ep) {
    ep.major = data[7];
    ep.minor = data[8];
    ep.checksumOk = SumsToZero(data, CheckedSize(data[6], kSm3Size, kSm3Size, size));
    ep.length = Le32(data + 0x0C);
    ep.address = Le64(data + 0x10);
}

void ReadLegacy(const unsigned char* data, EntryPoint& ep) {
    ep.major = data[14] >> 4;
    ep.minor = data[14] & 0x0F;
    ep.checksumOk = SumsToZero(data, kLegacySize);
    ep.length = Le16(data + 6);
    ep.address = Le32(data + 8);
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

void ChecksumNotes(DumpTable& dump) {
    const EntryPoint& ep = dump.entryPoint;
    if (!ep.checksumOk)
        dump.notes.push_back("the \"" + ep.anchor +
                             "\" entry point's checksum is wrong: the "
                             "table is walked all the same");
    if (!ep.intermediateOk)
        dump.notes.push_back("the \"_DMI_\" intermediate checksum is wrong: the table is walked "
                             "all the same");
}

} // namespace

bool HasEntryPoint(const unsigned char* data, size_t size) {
    return Anchor(data, size, "_SM_") || Anchor(data, size, "_SM3_") || Anchor(data, size, "_DMI_");
}

bool ReadDump(const unsigned char* data, size_t size, DumpTable& dump, std::string& error) {
    EntryPoint& ep = dump.entryPoint;
    ep.anchor = Anchor(data, size, "_SM3_")  ? "_SM3_"
                : Anchor(data, size, "_SM_") ? "_SM_"
                                             : "_DMI_";
    const size_t need = ep.anchor == "_SM3_"  ? kSm3Size
                        : ep.anchor == "_SM_" ? kSm2Size
                                              : kLegacySize;
    if (size < need) {
        error = "truncated entry point: \"" + ep.anchor + "\" needs " + std::to_string(need) +
                " bytes, the file has " + std::to_string(size);
        return false;
    }
    if (ep.anchor == "_SM3_")
        ReadSm3(data, size, ep);
    else if (ep.anchor == "_SM_")
        ReadSm2(data, size, ep);
    else
        ReadLegacy(data, ep);
    if (ep.address >= size) {
        error = "table address " + Hex(ep.address) + " lies outside the file (" +
                std::to_string(size) + " bytes): not a dump with its table inside";
        return false;
    }
    ChecksumNotes(dump);
    dump.offset = static_cast<size_t>(ep.address);
    const size_t available = size - dump.offset;
    dump.length = ep.length < available ? ep.length : available;
    // A 3.x entry point gives only the table's maximum size; a 2.x one its exact length.
    if (ep.anchor != "_SM3_" && ep.length > available)
        dump.notes.push_back("the entry point gives a table of " + std::to_string(ep.length) +
                             " bytes, the file holds " + std::to_string(available) +
                             " from its address: those are walked");
    return true;
}

bool ReadRsmbHeader(const unsigned char* data, size_t size, RsmbHeader& header) {
    if (size < kRsmbHeaderSize || (data[1] != 2 && data[1] != 3)) return false;
    const uint32_t length = Le32(data + 4);
    if (length > size - kRsmbHeaderSize) return false;
    header = {data[0], data[1], data[2], data[3], length};
    return true;
}
