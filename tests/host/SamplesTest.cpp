// The bundled sample tables: what the walk records from each, and that the committed files are
// exactly what samples/make_samples.py generates.
#include "smbios/SystemIdentity.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kSamples = fs::path(VESK_SOURCE_DIR) / "samples";

std::vector<BYTE> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

struct Identity {
    int result;
    std::string manufacturer, systemId, regulatory;
};

Identity Walk(const std::vector<BYTE>& table) {
    IdentityCandidates candidates = {};
    const int result = WalkSMBiosTable(table.data(), static_cast<int>(table.size()), candidates);
    SystemIdentity identity = {};
    FinaliseIdentity(candidates, identity);
    return {result, identity.szManufacturer, identity.szSystemIdHex, identity.szRegulatoryID};
}

struct SampleCase {
    const char* file;
    Identity expected;
};

std::ostream& operator<<(std::ostream& os, const SampleCase& c) {
    return os << c.file;
}

class SampleTest : public ::testing::TestWithParam<SampleCase> {};

TEST_P(SampleTest, GivesItsDocumentedIdentity) {
    const std::vector<BYTE> table = ReadFile(kSamples / GetParam().file);
    ASSERT_FALSE(table.empty()) << GetParam().file;
    const Identity found = Walk(table);
    const Identity& expected = GetParam().expected;
    EXPECT_EQ(found.result, expected.result);
    EXPECT_EQ(found.manufacturer, expected.manufacturer);
    EXPECT_EQ(found.systemId, expected.systemId);
    EXPECT_EQ(found.regulatory, expected.regulatory);
}

const SampleCase kSampleCases[] = {
    {"desktop.bin", {1, "Vesk Computer Corporation", "A47", "VCC-D7400"}},
    {"type208.bin", {1, "Vesk Computer Corporation", "A5B", "VCC-N1320"}},
    {"no-markers.bin", {1, "Quarry Lane Systems", "0", "00000"}},
    // The header is walked as a type-0 structure of length 3 whose string area ends in the
    // zero high bytes of its length field, so the walk lands on the table at byte 8.
    {"registry-header.bin", {1, "Vesk Computer Corporation", "1F", "VCC-D7600"}},
};
INSTANTIATE_TEST_SUITE_P(Samples, SampleTest, ::testing::ValuesIn(kSampleCases),
                         [](const auto& param) {
                             std::string name = param.param.file;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// With the calling-method byte set, the header reads as a type-1 structure whose manufacturer
// string number (the length's low byte) is out of range: the walk stops before the table.
TEST(SampleTest, RegistryHeaderWithCallingMethodSetStopsTheWalk) {
    std::vector<BYTE> table = ReadFile(kSamples / "registry-header.bin");
    ASSERT_GT(table.size(), 8u);
    table[0] = 1;
    const Identity found = Walk(table);
    EXPECT_EQ(found.result, 0);
    EXPECT_EQ(found.manufacturer, "");
    EXPECT_EQ(found.systemId, "0");
    EXPECT_EQ(found.regulatory, "00000");
}

TEST(SampleTest, RegistryHeaderHidesNothingOfTheTable) {
    const std::vector<BYTE> withHeader = ReadFile(kSamples / "registry-header.bin");
    ASSERT_GT(withHeader.size(), 8u);
    const std::vector<BYTE> table(withHeader.begin() + 8, withHeader.end());
    const Identity bare = Walk(table);
    const Identity found = Walk(withHeader);
    EXPECT_EQ(found.manufacturer, bare.manufacturer);
    EXPECT_EQ(found.systemId, bare.systemId);
    EXPECT_EQ(found.regulatory, bare.regulatory);
}

// The committed files must be what the script makes of them today.
TEST(SampleTest, CommittedFilesMatchTheGenerator) {
    char pattern[] = "/tmp/vesk-samples-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path out = pattern;
    const std::string command =
        "python3 \"" + (kSamples / "make_samples.py").string() + "\" \"" + out.string() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    std::vector<std::string> generated;
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        generated.push_back(name);
        EXPECT_EQ(ReadFile(entry.path()), ReadFile(kSamples / name)) << name << " has drifted";
    }
    for (const auto& entry : fs::directory_iterator(kSamples)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".bin") {
            EXPECT_TRUE(fs::exists(out / name)) << name << " is no longer generated";
        }
    }
    EXPECT_EQ(generated.size(), 5u); // four tables and the notes
    fs::remove_all(out);
}

} // namespace
