// Where the walk finds the end of each structure, checked against the plain byte-by-byte rule
// on every small table: after the formatted area, the first two zero bytes that lie wholly
// within the table end the structure, and the next one starts right after them.
#include "smbios/SystemIdentity.h"
#include "smbios/WalkObserver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class StepRecorder : public WalkObserver {
  public:
    std::vector<std::string> steps;

    void OnStructure(int offset, int, int, int) override {
        steps.push_back("structure @" + std::to_string(offset));
    }
    void OnAnomaly(WalkAnomaly anomaly, int offset, int) override {
        const bool unterminated = anomaly == WalkAnomaly::UnterminatedStructure;
        steps.push_back((unterminated ? "unterminated @" : "other anomaly @") +
                        std::to_string(offset));
    }
};

std::vector<std::string> ExpectedSteps(const std::vector<BYTE>& table) {
    std::vector<std::string> steps;
    const size_t size = table.size();
    size_t offset = 0;
    while (offset + 1 < size) {
        steps.push_back("structure @" + std::to_string(offset));
        size_t k = offset + table[offset + 1];
        while (k + 1 < size && !(table[k] == 0 && table[k + 1] == 0))
            ++k;
        if (k + 1 >= size) {
            steps.push_back("unterminated @" + std::to_string(offset));
            break;
        }
        offset = k + 2;
    }
    return steps;
}

std::string Hex(const std::vector<BYTE>& table) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (BYTE byte : table) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
        text += ' ';
    }
    return text;
}

// Every table of up to 9 bytes drawn from 0x00, 0x02 and 0x03: every pattern of zero and
// non-zero bytes, structure lengths 0, 2 and 3 (so searches start on both parities), and only
// types that the walk steps over.
TEST(StructureStepTest, EverySmallTableEndsItsStructuresWhereTheByteRuleSays) {
    const BYTE kAlphabet[] = {0x00, 0x02, 0x03};
    int failures = 0;
    for (size_t size = 0; size <= 9; ++size) {
        std::vector<size_t> digits(size, 0);
        for (;;) {
            std::vector<BYTE> table(size); // exactly `size` bytes: sanitizers see any overread
            for (size_t i = 0; i < size; ++i)
                table[i] = kAlphabet[digits[i]];
            StepRecorder recorder;
            IdentityCandidates candidates = {};
            const int result =
                WalkSMBiosTable(table.data(), static_cast<int>(size), candidates, &recorder);
            if ((result != 1 || recorder.steps != ExpectedSteps(table)) && ++failures <= 5)
                ADD_FAILURE() << "table " << Hex(table);
            size_t i = 0;
            while (i < size && ++digits[i] == 3)
                digits[i++] = 0;
            if (i == size) break;
        }
    }
    EXPECT_EQ(failures, 0);
}

} // namespace
