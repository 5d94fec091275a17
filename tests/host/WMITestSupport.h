// Shared by the WMI tests: the stage traces in the order they appear, and the check that a
// run gave back every interface, BSTR, SAFEARRAY, VARIANT payload and heap block.
#pragma once
#include "control.h"
#include "trace/DebugTrace.h"
#include "trace/TraceTexts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wmitest {

using Texts = std::vector<std::string>;

// The traces of a run that got through the first `stages` stages: CoCreateInstance,
// ConnectServer, CoSetProxyBlanket, then GetSMBIOSInfo called, CreateInstanceEnum, Next,
// Active, SMBiosData.
inline Texts StageTraces(size_t stages) {
    static const Texts all = {TRACE_WMI_CREATED,     TRACE_WMI_CONNECTED, TRACE_WMI_BLANKET,
                              TRACE_WMI_INFO_CALLED, TRACE_WMI_ENUM_OK,   TRACE_WMI_NEXT_OK,
                              TRACE_WMI_ACTIVE_OK,   TRACE_WMI_DATA_OK};
    return Texts(all.begin(), all.begin() + static_cast<long>(stages));
}

inline Texts Append(Texts texts, const std::string& text) {
    texts.push_back(text);
    return texts;
}

// Everything handed out by the service is given back (heap blocks: except `heldBlocks`).
inline void ExpectNothingLeft(size_t heldBlocks = 0) {
    EXPECT_EQ(winsim::LiveComReferences(), 0);
    EXPECT_EQ(winsim::OutstandingBstrs(), 0u);
    EXPECT_EQ(winsim::OutstandingSafeArrays(), 0u);
    EXPECT_EQ(winsim::UnclearedVariants(), 0u);
    EXPECT_EQ(winsim::OutstandingHeapBlocks(), heldBlocks);
}

// The names of the logged calls, minus those not of interest.
inline Texts CallNames(const std::vector<std::string>& skip = {}) {
    Texts names;
    for (const auto& call : winsim::Calls()) {
        bool skipped = false;
        for (const auto& name : skip)
            skipped = skipped || call.function == name;
        if (!skipped) names.push_back(call.function);
    }
    return names;
}

// Names the cases of a table by their `name` field.
struct CaseName {
    template <class Case> std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        return info.param.name;
    }
};

class WmiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        winsim::Reset();
        g_bTraceEnabled = 1;
    }
};

} // namespace wmitest
