// Times the walk and the finalisation on the desktop sample and on a 64 KiB table made of
// repeated copies of it (also with an observer that does nothing), beside one memchr pass over
// the same bytes as the memory-speed floor.
#include "smbios/SystemIdentity.h"
#include "smbios/WalkObserver.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace {

const std::vector<BYTE>& DesktopTable() {
    static const std::vector<BYTE> table = [] {
        std::ifstream in(VESK_SOURCE_DIR "/samples/desktop.bin", std::ios::binary);
        std::vector<BYTE> bytes(std::istreambuf_iterator<char>(in), {});
        if (bytes.empty()) throw std::runtime_error("samples/desktop.bin not found");
        return bytes;
    }();
    return table;
}

// Whole copies of the desktop table (the walk goes on past each end-of-table structure) up to
// 64 KiB.
const std::vector<BYTE>& LargeTable() {
    static const std::vector<BYTE> table = [] {
        const std::vector<BYTE>& desktop = DesktopTable();
        std::vector<BYTE> bytes;
        while (bytes.size() + desktop.size() <= 64 * 1024)
            bytes.insert(bytes.end(), desktop.begin(), desktop.end());
        return bytes;
    }();
    return table;
}

void WalkAndFinalise(benchmark::State& state, const std::vector<BYTE>& table,
                     WalkObserver* observer = nullptr) {
    for (auto _ : state) {
        IdentityCandidates candidates = {};
        SystemIdentity identity;
        const int result =
            WalkSMBiosTable(table.data(), static_cast<int>(table.size()), candidates, observer);
        FinaliseIdentity(candidates, identity, observer);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(identity);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * table.size()));
}

// One pass over every byte: memchr for a value the table does not hold.
void MemchrFloor(benchmark::State& state, const std::vector<BYTE>& table) {
    int absent = 0;
    while (std::memchr(table.data(), absent, table.size()) != nullptr)
        ++absent;
    for (auto _ : state) {
        const void* found = std::memchr(table.data(), absent, table.size());
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * table.size()));
}

void BM_WalkDesktop(benchmark::State& state) {
    WalkAndFinalise(state, DesktopTable());
}
void BM_WalkLarge(benchmark::State& state) {
    WalkAndFinalise(state, LargeTable());
}
// The cost of following the walk with an observer that does nothing.
void BM_WalkLargeObserved(benchmark::State& state) {
    WalkObserver nothing;
    WalkAndFinalise(state, LargeTable(), &nothing);
}
void BM_MemchrDesktop(benchmark::State& state) {
    MemchrFloor(state, DesktopTable());
}
void BM_MemchrLarge(benchmark::State& state) {
    MemchrFloor(state, LargeTable());
}

BENCHMARK(BM_WalkDesktop);
BENCHMARK(BM_WalkLarge);
BENCHMARK(BM_WalkLargeObserved);
BENCHMARK(BM_MemchrDesktop);
BENCHMARK(BM_MemchrLarge);

} // namespace
