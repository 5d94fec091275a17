// The entry-point reader and the RSMB header check on the edges of their layouts: where the
// table lies, which checksums are wrong, and the one-line rejections.
#include "input/DumpFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes& bytes, size_t at, uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// Sets the checksum byte at `at` so that bytes [from, from + count) sum to zero.
void Sum(Bytes& bytes, size_t at, size_t from, size_t count) {
    bytes[at] = 0;
    unsigned sum = 0;
    for (size_t i = from; i < from + count; ++i)
        sum += bytes[i];
    bytes[at] = static_cast<unsigned char>(-sum);
}

// A dump of `tableSize` table bytes at offset 32, its entry point of `anchor` with `length`.
Bytes Dump(const std::string& anchor, uint32_t length, size_t tableSize = 64) {
    Bytes bytes(32 + tableSize, 0);
    std::memcpy(bytes.data(), anchor.data(), anchor.size());
    if (anchor == "_SM3_") {
        bytes[6] = 0x18, bytes[7] = 3, bytes[8] = 4;
        Put(bytes, 0x0C, length, 4);
        Put(bytes, 0x10, 32, 8);
        Sum(bytes, 5, 0, 0x18);
    } else if (anchor == "_SM_") {
        bytes[5] = 0x1F, bytes[6] = 2, bytes[7] = 8;
        std::memcpy(bytes.data() + 0x10, "_DMI_", 5);
        Put(bytes, 0x16, length, 2);
        Put(bytes, 0x18, 32, 4);
        Sum(bytes, 0x15, 0x10, 0x0F);
        Sum(bytes, 4, 0, 0x1F);
    } else {
        Put(bytes, 6, length, 2);
        Put(bytes, 8, 32, 4);
        bytes[14] = 0x21;
        Sum(bytes, 5, 0, 0x0F);
    }
    return bytes;
}

struct DumpCase {
    const char* name;
    Bytes bytes;
    size_t length; // of the table found
    bool checksumOk, intermediateOk;
    size_t notes;
    std::string error;
};

std::ostream& operator<<(std::ostream& os, const DumpCase& c) {
    return os << c.name;
}

Bytes Changed(Bytes bytes, size_t at, unsigned char value) {
    bytes[at] = value;
    return bytes;
}

Bytes Cut(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

class DumpFormatTest : public ::testing::TestWithParam<DumpCase> {};

TEST_P(DumpFormatTest, FindsTheTable) {
    const DumpCase& c = GetParam();
    DumpTable dump;
    std::string error;
    ASSERT_TRUE(HasEntryPoint(c.bytes.data(), c.bytes.size()));
    EXPECT_EQ(ReadDump(c.bytes.data(), c.bytes.size(), dump, error), c.error.empty());
    EXPECT_EQ(error, c.error);
    if (!c.error.empty()) return;
    EXPECT_EQ(dump.offset, 32u);
    EXPECT_EQ(dump.length, c.length);
    EXPECT_EQ(dump.entryPoint.checksumOk, c.checksumOk);
    EXPECT_EQ(dump.entryPoint.intermediateOk, c.intermediateOk);
    EXPECT_EQ(dump.notes.size(), c.notes);
}

const DumpCase kDumps[] = {
    {"Smbios3", Dump("_SM3_", 64), 64, true, true, 0, ""},
    {"Smbios3MaximumBeyondTheFile", Dump("_SM3_", 4096), 64, true, true, 0, ""},
    {"Smbios3ShorterThanTheFile", Dump("_SM3_", 10), 10, true, true, 0, ""},
    {"Smbios2", Dump("_SM_", 64), 64, true, true, 0, ""},
    {"Smbios2LongerThanTheFile", Dump("_SM_", 100), 64, true, true, 1, ""},
    {"Smbios2BothChecksumsWrong", Changed(Dump("_SM_", 64), 0x15, 0x77), 64, false, false, 2, ""},
    {"Smbios2LengthByteOutOfRange", Changed(Dump("_SM_", 64), 5, 0xFF), 64, false, true, 1, ""},
    {"Legacy", Dump("_DMI_", 64), 64, true, true, 0, ""},
    {"LegacyChecksumWrong", Changed(Dump("_DMI_", 64), 14, 0x30), 64, false, true, 1, ""},
    {"Smbios3Truncated", Cut(Dump("_SM3_", 64), 23), 0, true, true, 0,
     "truncated entry point: \"_SM3_\" needs 24 bytes, the file has 23"},
    {"LegacyTruncated", Bytes{'_', 'D', 'M', 'I', '_', 0}, 0, true, true, 0,
     "truncated entry point: \"_DMI_\" needs 15 bytes, the file has 6"},
    {"AddressAtTheEnd", Changed(Dump("_SM_", 64, 0), 0x18, 32), 0, true, true, 0,
     "table address 0x20 lies outside the file (32 bytes): not a dump with its table inside"},
    {"AddressFarOutside", Changed(Dump("_SM3_", 64), 0x17, 0x80), 0, true, true, 0,
     "table address 0x8000000000000020 lies outside the file (96 bytes): not a dump with its "
     "table inside"},
};
INSTANTIATE_TEST_SUITE_P(Dumps, DumpFormatTest, ::testing::ValuesIn(kDumps),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(RsmbHeaderTest, IsKnownByItsVersionAndALengthThatFits) {
    struct {
        Bytes bytes;
        bool recognised;
    } cases[] = {
        {{0, 3, 4, 0, 2, 0, 0, 0, 0xAA, 0xBB}, true},        // exactly the table
        {{1, 2, 7, 0, 1, 0, 0, 0, 0xAA, 0xBB}, true},        // room to spare
        {{0, 3, 4, 0, 3, 0, 0, 0, 0xAA, 0xBB}, false},       // one byte beyond
        {{0, 3, 4, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xAA}, false}, // far beyond, no overflow
        {{0, 4, 0, 0, 1, 0, 0, 0, 0xAA}, false},             // byte 1 a structure length
        {{0, 3, 4, 0, 0, 0, 0}, false},                      // shorter than the header
    };
    for (const auto& c : cases) {
        RsmbHeader header;
        EXPECT_EQ(ReadRsmbHeader(c.bytes.data(), c.bytes.size(), header), c.recognised);
    }
}

} // namespace
