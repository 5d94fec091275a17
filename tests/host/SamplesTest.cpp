// The bundled sample tables: what the walk records from each, and that the committed files are
// exactly what samples/make_samples.py generates.
#include "pure/WalkOutcome.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kSamples = fs::path(VESK_SOURCE_DIR) / "samples";

std::vector<BYTE> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

struct SampleCase {
    const char* file;
    Outcome expected;
};

std::ostream& operator<<(std::ostream& os, const SampleCase& c) {
    return os << c.file;
}

class SampleTest : public ::testing::TestWithParam<SampleCase> {};

TEST_P(SampleTest, GivesItsDocumentedIdentity) {
    const std::vector<BYTE> table = ReadFile(kSamples / GetParam().file);
    ASSERT_FALSE(table.empty()) << GetParam().file;
    const Outcome found = Identify(table);
    const Outcome& expected = GetParam().expected;
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

// The header is walked as structures too, so its bytes decide whether the walk reaches the
// table. Each case rewrites header bytes of registry-header.bin; all stop the walk before it.
struct HeaderCase {
    const char* name;
    std::vector<std::pair<size_t, BYTE>> patches; // byte offset, new value
};

std::ostream& operator<<(std::ostream& os, const HeaderCase& c) {
    return os << c.name;
}

class RegistryHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(RegistryHeaderTest, StopsTheWalkBeforeTheTable) {
    std::vector<BYTE> table = ReadFile(kSamples / "registry-header.bin");
    ASSERT_GT(table.size(), 8u);
    for (const auto& patch : GetParam().patches)
        table[patch.first] = patch.second;
    const Outcome found = Identify(table);
    EXPECT_EQ(found.result, 0);
    EXPECT_EQ(found.manufacturer, "");
    EXPECT_EQ(found.systemId, "0");
    EXPECT_EQ(found.regulatory, "00000");
}

const HeaderCase kHeaderCases[] = {
    // The header reads as a type-1 structure naming string 0x24 (the length's low byte).
    {"CallingMethodSet", {{0, 1}}},
    // The walk steps to byte 7 and runs out of step through the table's first structure.
    {"LengthBelow256", {{4, 0xF0}, {5, 0x00}}},
    // A zero low byte puts a type-1 structure (the length's second byte) at byte 5.
    {"Length256", {{4, 0x00}, {5, 0x01}}},
};
INSTANTIATE_TEST_SUITE_P(Samples, RegistryHeaderTest, ::testing::ValuesIn(kHeaderCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(SampleTest, RegistryHeaderHidesNothingOfTheTable) {
    const std::vector<BYTE> withHeader = ReadFile(kSamples / "registry-header.bin");
    ASSERT_GT(withHeader.size(), 8u);
    const std::vector<BYTE> table(withHeader.begin() + 8, withHeader.end());
    const Outcome bare = Identify(table);
    const Outcome found = Identify(withHeader);
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
