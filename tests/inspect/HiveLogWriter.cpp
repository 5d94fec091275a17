#include "HiveLogWriter.h"

#include "input/HiveLog.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr size_t kPage = 4096, kSector = 512;

void Put32(unsigned char* p, uint64_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(value >> (8 * i));
}
void Put64(unsigned char* p, uint64_t value) {
    Put32(p, value);
    Put32(p + 4, value >> 32);
}
uint32_t Bins(const Bytes& hive) {
    return static_cast<uint32_t>(hive[40] | hive[41] << 8 | hive[42] << 16 | hive[43] << 24);
}

// Bytes [at, at + size) of `to` differ from `from` (or lie beyond its end).
bool Differs(const Bytes& from, const Bytes& to, size_t at, size_t size) {
    return at + size > from.size() || std::memcmp(from.data() + at, to.data() + at, size) != 0;
}

// `hive`'s base block as a log's: file type `type`, both sequence numbers `sequence`.
Bytes LogBase(const Bytes& hive, uint32_t type, uint32_t sequence) {
    Bytes base(hive.begin(), hive.begin() + kSector);
    Put32(base.data() + 4, sequence);
    Put32(base.data() + 8, sequence);
    Put32(base.data() + 28, type);
    Put32(base.data() + 508, BaseBlockChecksum(base.data()));
    return base;
}

void Entry(Bytes& log, const Bytes& from, const Bytes& to, uint32_t sequence) {
    std::vector<std::pair<size_t, size_t>> runs; // offsets from the hive bins, sizes
    for (size_t at = kPage; at < kPage + Bins(to); at += kPage) {
        if (!Differs(from, to, at, kPage)) continue;
        if (!runs.empty() && runs.back().first + runs.back().second == at - kPage)
            runs.back().second += kPage;
        else
            runs.push_back({at - kPage, kPage});
    }
    Bytes entry(40 + 8 * runs.size());
    std::memcpy(entry.data(), "HvLE", 4);
    Put32(&entry[12], sequence);
    Put32(&entry[16], Bins(to));
    Put32(&entry[20], runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
        Put32(&entry[40 + 8 * i], runs[i].first);
        Put32(&entry[44 + 8 * i], runs[i].second);
    }
    for (const auto& [offset, size] : runs)
        entry.insert(entry.end(), to.begin() + kPage + offset, to.begin() + kPage + offset + size);
    entry.resize((entry.size() + kSector - 1) / kSector * kSector);
    Put32(&entry[4], entry.size());
    Put64(&entry[24], Marvin32(&entry[40], entry.size() - 40, kHiveLogSeed));
    Put64(&entry[32], Marvin32(entry.data(), 32, kHiveLogSeed));
    log.insert(log.end(), entry.begin(), entry.end());
}

} // namespace

Bytes LoadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), {}};
}

void SaveFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes NewFormatLog(const std::vector<Bytes>& states, uint32_t sequence) {
    Bytes log = LogBase(states.front(), 6, sequence);
    for (size_t i = 1; i < states.size(); ++i)
        Entry(log, states[i - 1], states[i], sequence + static_cast<uint32_t>(i - 1));
    return log;
}

Bytes OldFormatLog(const Bytes& from, const Bytes& to, uint64_t time) {
    const uint32_t sequence = static_cast<uint32_t>(to[4] | to[5] << 8 | to[6] << 16 | to[7] << 24);
    Bytes log = LogBase(to, 1, sequence);
    Put64(log.data() + 12, time);
    Put32(log.data() + 508, BaseBlockChecksum(log.data()));
    log.insert(log.end(), {'D', 'I', 'R', 'T'});
    const size_t bitmap = log.size();
    log.resize(bitmap + Bins(to) / kPage);
    Bytes sectors;
    for (size_t bit = 0; bit < Bins(to) / kSector; ++bit) {
        if (!Differs(from, to, kPage + bit * kSector, kSector)) continue;
        log[bitmap + bit / 8] |= static_cast<unsigned char>(1 << (bit % 8));
        sectors.insert(sectors.end(), to.begin() + kPage + bit * kSector,
                       to.begin() + kPage + (bit + 1) * kSector);
    }
    log.resize((log.size() + kSector - 1) / kSector * kSector);
    log.insert(log.end(), sectors.begin(), sectors.end());
    return log;
}

Bytes DirtyHive(Bytes hive, uint32_t primary, uint32_t secondary) {
    Put32(hive.data() + 4, primary);
    Put32(hive.data() + 8, secondary);
    Put32(hive.data() + 508, BaseBlockChecksum(hive.data()));
    return hive;
}
