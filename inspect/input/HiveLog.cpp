#include "input/HiveLog.h"

#include <algorithm>
#include <cstring>

namespace {

// Offsets in a base block.
constexpr size_t kPrimaryAt = 4, kSecondaryAt = 8, kTimeAt = 12, kTypeAt = 28, kBinsAt = 40,
                 kChecksumAt = 508;
constexpr uint32_t kTypeHive = 0, kTypeOldLog = 1, kTypeNewLog = 6;
constexpr size_t kSector = 512;
constexpr size_t kEntryHeader = 40; // of a new-format entry, before its page pairs
constexpr size_t kDirtAt = kLogBaseBlock;

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t Le64(const unsigned char* p) {
    return Le32(p) | static_cast<uint64_t>(Le32(p + 4)) << 32;
}

void Put32(unsigned char* p, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t Rotl(uint32_t x, int n) {
    return x << n | x >> (32 - n);
}

void MarvinBlock(uint32_t& p0, uint32_t& p1) {
    p1 ^= p0;
    p0 = Rotl(p0, 20);
    p0 += p1;
    p1 = Rotl(p1, 9);
    p1 ^= p0;
    p0 = Rotl(p0, 27);
    p0 += p1;
    p1 = Rotl(p1, 19);
}

// `a` is `b` or later, as 32-bit serial numbers (a sequence number may wrap round).
bool SerialAtLeast(uint32_t a, uint32_t b) {
    return ((a - b) & 0x80000000u) == 0;
}

// "1 entry", "5 entries", "1 sector", "37 sectors".
std::string Count(size_t n, const std::string& what) {
    if (n == 1) return "1 " + what;
    if (what.back() == 'y')
        return std::to_string(n) + " " + what.substr(0, what.size() - 1) + "ies";
    return std::to_string(n) + " " + what + "s";
}

// What stopped a log from being used: damage is reported even where the hive was recovered;
// an empty or stale log is what Windows leaves behind every day.
struct Problem {
    std::string text;
    bool damage;
};

struct LogInfo {
    const HiveLog* log;
    uint32_t type = 0; // a valid log's file type; 0 where it cannot be used
    uint32_t sequence = 0;
    uint64_t time = 0;
};

LogInfo Examine(const HiveLog& log, std::vector<Problem>& problems) {
    LogInfo info{&log};
    const std::vector<unsigned char>& b = log.bytes;
    if (!log.error.empty()) {
        problems.push_back({log.name + ": " + log.error, true});
    } else if (b.empty()) {
        problems.push_back({log.name + " is empty", false});
    } else if (b.size() < kLogBaseBlock || std::memcmp(b.data(), "regf", 4) != 0) {
        problems.push_back({log.name + " has no base block (no \"regf\" signature)", true});
    } else if (!ValidBaseBlock(b.data(), b.size())) {
        problems.push_back({log.name + ": its base block is damaged (wrong checksum)", true});
    } else if (Le32(b.data() + kTypeAt) != kTypeNewLog && Le32(b.data() + kTypeAt) != kTypeOldLog) {
        problems.push_back(
            {log.name + " is no log (file type " + std::to_string(Le32(b.data() + kTypeAt)) + ")",
             true});
    } else {
        info.type = Le32(b.data() + kTypeAt);
        info.sequence = Le32(b.data() + kPrimaryAt);
        info.time = Le64(b.data() + kTimeAt);
    }
    return info;
}

// Why the new-format entry at `e`, with `room` bytes to the end of its log, cannot be applied
// over hive bins that the entry says are `bins` bytes; null where it can.
const char* EntryProblem(const unsigned char* e, size_t room) {
    if (Marvin32(e, 32, kHiveLogSeed) != Le64(e + 32)) return "whose hash does not match";
    const uint32_t size = Le32(e + 4), pages = Le32(e + 20), bins = Le32(e + 16);
    if (size < kSector || size % kSector != 0) return "of a wrong size";
    if (size > room) return "cut short";
    if (pages > (size - kEntryHeader) / 8) return "of a wrong size";
    if (Marvin32(e + kEntryHeader, size - kEntryHeader, kHiveLogSeed) != Le64(e + 24))
        return "whose hash does not match";
    uint64_t data = kEntryHeader + 8 * static_cast<uint64_t>(pages);
    for (uint32_t i = 0; i < pages; ++i) {
        const uint64_t offset = Le32(e + kEntryHeader + 8 * i);
        const uint64_t length = Le32(e + kEntryHeader + 8 * i + 4);
        if (offset + length > bins) return "naming a page outside the hive bins";
        data += length;
        if (data > size) return "of a wrong size";
    }
    return nullptr;
}

// The entry's pages as writes of the image, which grows to the entry's hive bins size.
void ApplyEntry(const unsigned char* e, HiveRecovery& image, uint32_t& bins) {
    const uint32_t pages = Le32(e + 20);
    size_t data = kEntryHeader + 8 * static_cast<size_t>(pages);
    for (uint32_t i = 0; i < pages; ++i) {
        const uint32_t offset = Le32(e + kEntryHeader + 8 * i);
        const uint32_t length = Le32(e + kEntryHeader + 8 * i + 4);
        image.writes.push_back({kHiveBaseBlock + offset, e + data, length});
        data += length;
    }
    bins = Le32(e + 16);
    image.size = std::max<uint64_t>(image.size, kHiveBaseBlock + static_cast<uint64_t>(bins));
}

// The entries of a new-format log, from its first (which carries the log's sequence number),
// each the one after the last, applied until one is wrong. `damage` says why the replay
// stopped where an entry of the right signature and sequence number could not be applied.
size_t ReplayEntries(const LogInfo& info, HiveRecovery& image, uint32_t& bins,
                     std::string& damage) {
    const std::vector<unsigned char>& b = info.log->bytes;
    uint32_t sequence = info.sequence;
    size_t at = kLogBaseBlock, count = 0;
    while (b.size() - at >= kEntryHeader) {
        const unsigned char* e = b.data() + at;
        if (std::memcmp(e, "HvLE", 4) != 0 || Le32(e + 12) != sequence) break;
        if (const char* problem = EntryProblem(e, b.size() - at)) {
            damage = info.log->name + " ends at an entry " + problem + " (sequence " +
                     std::to_string(sequence) + ")";
            break;
        }
        ApplyEntry(e, image, bins);
        at += Le32(e + 4);
        ++count;
        ++sequence;
    }
    return count;
}

// The base block of the recovered hive: `from` (the hive's, or a log's) as a clean hive's.
void SetBase(HiveRecovery& image, const unsigned char* from, uint32_t sequence, uint32_t bins) {
    std::memcpy(image.base, from, kLogBaseBlock);
    Put32(image.base + kPrimaryAt, sequence);
    Put32(image.base + kSecondaryAt, sequence);
    Put32(image.base + kTypeAt, kTypeHive);
    Put32(image.base + kBinsAt, bins);
    Put32(image.base + kChecksumAt, BaseBlockChecksum(image.base));
    image.baseChanged = true;
    image.sequence = sequence;
}

// Usable new-format logs in the order of their sequence numbers, the lowest first.
std::vector<const LogInfo*> NewLogs(const std::vector<LogInfo>& infos, bool hiveValid,
                                    uint32_t secondary, std::vector<Problem>& problems) {
    std::vector<const LogInfo*> usable;
    for (const LogInfo& info : infos) {
        if (info.type != kTypeNewLog) continue;
        if (hiveValid && !SerialAtLeast(info.sequence, secondary)) {
            problems.push_back({info.log->name + " is stale (sequence " +
                                    std::to_string(info.sequence) + ", the hive's is " +
                                    std::to_string(secondary) + ")",
                                false});
            continue;
        }
        auto place = usable.begin();
        while (place != usable.end() && SerialAtLeast(info.sequence, (*place)->sequence))
            ++place;
        usable.insert(place, &info);
    }
    return usable;
}

// The new format: the logs in order, each next one only where it starts with the sequence
// number after the last entry applied. Where the hive's own base block is invalid, it is taken
// from the log, and only the later log is applied.
bool RecoverNew(const std::vector<LogInfo>& infos, const unsigned char* head, bool hiveValid,
                HiveRecovery& out, std::vector<Problem>& problems) {
    std::vector<const LogInfo*> logs = NewLogs(infos, hiveValid, out.secondary, problems);
    if (logs.empty()) return false;
    if (!hiveValid) logs.erase(logs.begin(), logs.end() - 1);
    const unsigned char* base = hiveValid ? head : logs.front()->log->bytes.data();
    HiveRecovery image = out;
    uint32_t bins = Le32(base + kBinsAt), next = logs.front()->sequence;
    for (const LogInfo* log : logs) {
        if (log->sequence != next) break;
        std::string damage;
        const size_t count = ReplayEntries(*log, image, bins, damage);
        if (count > 0) image.logsUsed.push_back(log->log->name);
        if (count == 0 && damage.empty())
            problems.push_back({log->log->name + " holds no entry of its sequence number " +
                                    std::to_string(log->sequence),
                                false});
        if (!damage.empty())
            problems.push_back(
                {damage + "; " + Count(image.applied + count, "entry") + " applied before it",
                 true});
        image.applied += count;
        next = log->sequence + static_cast<uint32_t>(count);
    }
    if (image.applied == 0) return false;
    SetBase(image, base, next - 1, bins);
    image.state = HiveState::Recovered;
    out = std::move(image);
    return true;
}

// Why an old-format log cannot be applied: its bitmap and sectors must lie within it.
bool OldLogUsable(const HiveLog& log, std::vector<Problem>& problems) {
    const std::vector<unsigned char>& b = log.bytes;
    const uint32_t bins = Le32(b.data() + kBinsAt);
    const char* problem = nullptr;
    if (b.size() < kDirtAt + 4 || std::memcmp(b.data() + kDirtAt, "DIRT", 4) != 0) {
        problem = "has no dirty-sector bitmap (no \"DIRT\" signature)";
    } else if (bins % kHiveBaseBlock != 0) {
        problem = "names hive bins that are no whole number of pages";
    } else if (b.size() - kDirtAt - 4 < bins / kHiveBaseBlock) {
        problem = "is cut short in its dirty-sector bitmap";
    } else {
        const unsigned char* bitmap = b.data() + kDirtAt + 4;
        uint64_t sectors = 0;
        for (size_t i = 0; i < bins / kHiveBaseBlock; ++i)
            for (int bit = 0; bit < 8; ++bit)
                sectors += bitmap[i] >> bit & 1;
        const uint64_t first = (kDirtAt + 4 + bins / kHiveBaseBlock + kSector - 1) / kSector;
        if ((first + sectors) * kSector > b.size()) problem = "is cut short in its dirty sectors";
    }
    if (problem != nullptr) problems.push_back({log.name + " " + problem, true});
    return problem == nullptr;
}

// The old format: of the usable logs, the one whose base block was written last; its sectors
// in bit order, and its base block.
bool RecoverOld(const std::vector<LogInfo>& infos, HiveRecovery& out,
                std::vector<Problem>& problems) {
    const LogInfo* chosen = nullptr;
    for (const LogInfo& info : infos)
        if (info.type == kTypeOldLog && OldLogUsable(*info.log, problems) &&
            (chosen == nullptr || info.time > chosen->time))
            chosen = &info;
    if (chosen == nullptr) return false;
    const unsigned char* log = chosen->log->bytes.data();
    const uint32_t bins = Le32(log + kBinsAt);
    const unsigned char* bitmap = log + kDirtAt + 4;
    const unsigned char* sector =
        log + (kDirtAt + 4 + bins / kHiveBaseBlock + kSector - 1) / kSector * kSector;
    for (uint64_t bit = 0; bit < bins / kSector; ++bit) {
        if ((bitmap[bit / 8] >> (bit % 8) & 1) == 0) continue;
        out.writes.push_back({kHiveBaseBlock + bit * kSector, sector, kSector});
        sector += kSector;
        ++out.applied;
    }
    out.size = std::max<uint64_t>(out.size, kHiveBaseBlock + static_cast<uint64_t>(bins));
    SetBase(out, log, chosen->sequence, bins);
    out.oldFormat = true;
    out.logsUsed = {chosen->log->name};
    out.state = HiveState::Recovered;
    return true;
}

std::string DirtyText(const HiveRecovery& out, const unsigned char* head, size_t headSize) {
    if (headSize < 4 || std::memcmp(head, "regf", 4) != 0)
        return "dirty (no \"regf\" signature in its base block)";
    if (headSize < kLogBaseBlock) return "dirty (its base block is cut short)";
    if (!ValidBaseBlock(head, headSize)) return "dirty (its base block's checksum is wrong)";
    return "dirty (sequence " + std::to_string(out.primary) + " against " +
           std::to_string(out.secondary) + ")";
}

std::string Joined(const std::vector<Problem>& problems, bool damageOnly) {
    std::string text;
    for (const Problem& problem : problems) {
        if (damageOnly && !problem.damage) continue;
        text += (text.empty() ? "" : "; ") + problem.text;
    }
    return text;
}

} // namespace

uint64_t Marvin32(const unsigned char* data, size_t size, uint64_t seed) {
    uint32_t p0 = static_cast<uint32_t>(seed), p1 = static_cast<uint32_t>(seed >> 32);
    for (; size >= 4; data += 4, size -= 4) {
        p0 += Le32(data);
        MarvinBlock(p0, p1);
    }
    // The last 0 to 3 bytes, then a 0x80 byte, as one more little-endian word.
    uint32_t last = 0x80u << (8 * size);
    for (size_t i = 0; i < size; ++i)
        last |= static_cast<uint32_t>(data[i]) << (8 * i);
    p0 += last;
    MarvinBlock(p0, p1);
    MarvinBlock(p0, p1);
    return static_cast<uint64_t>(p1) << 32 | p0;
}

uint32_t BaseBlockChecksum(const unsigned char* block) {
    uint32_t sum = 0;
    for (size_t at = 0; at < kChecksumAt; at += 4)
        sum ^= Le32(block + at);
    return sum == 0 ? 1 : sum == 0xFFFFFFFFu ? 0xFFFFFFFEu : sum;
}

bool ValidBaseBlock(const unsigned char* data, size_t size) {
    return size >= kLogBaseBlock && std::memcmp(data, "regf", 4) == 0 &&
           BaseBlockChecksum(data) == Le32(data + kChecksumAt);
}

bool HiveIsDirty(const unsigned char* head, size_t headSize) {
    return !ValidBaseBlock(head, headSize) || Le32(head + kPrimaryAt) != Le32(head + kSecondaryAt);
}

const char* HiveStateName(HiveState state) {
    switch (state) {
    case HiveState::Clean:
        return "clean";
    case HiveState::Recovered:
        return "recovered";
    case HiveState::Dirty:
        break;
    }
    return "dirty";
}

std::string HiveRecoveryText(const HiveRecovery& recovery) {
    std::string logs;
    for (const std::string& log : recovery.logsUsed)
        logs += (logs.empty() ? "" : ", ") + log;
    switch (recovery.state) {
    case HiveState::Clean:
        return "clean";
    case HiveState::Recovered:
        return "recovered: " +
               (recovery.oldFormat
                    ? Count(recovery.applied, "sector") + " from " + logs
                    : Count(recovery.applied, "log entry") + " applied from " + logs +
                          ", up to sequence " + std::to_string(recovery.sequence)) +
               (recovery.reason.empty() ? "" : "; " + recovery.reason);
    case HiveState::Dirty:
        break;
    }
    return recovery.reason + ": read as it is, so its values may be older than Windows' own";
}

HiveRecovery RecoverHive(const std::string& name, const unsigned char* head, size_t headSize,
                         uint64_t fileSize, const std::vector<HiveLog>& logs) {
    HiveRecovery out;
    out.size = fileSize;
    if (headSize >= 12) {
        out.primary = Le32(head + kPrimaryAt);
        out.secondary = Le32(head + kSecondaryAt);
    }
    out.sequence = out.primary;
    if (!HiveIsDirty(head, headSize)) return out;
    const bool valid = ValidBaseBlock(head, headSize);
    std::vector<Problem> problems;
    std::vector<LogInfo> infos;
    for (const HiveLog& log : logs)
        infos.push_back(Examine(log, problems));
    const bool anyNew = std::any_of(infos.begin(), infos.end(),
                                    [](const LogInfo& info) { return info.type == kTypeNewLog; });
    // A hive written with the new format may keep an old log from before an upgrade: its
    // sectors are never applied over the new-format logs' work.
    if (anyNew ? RecoverNew(infos, head, valid, out, problems) : RecoverOld(infos, out, problems)) {
        out.reason = Joined(problems, true);
        return out;
    }
    out.state = HiveState::Dirty;
    out.reason = DirtyText(out, head, headSize) +
                 (logs.empty() ? " and no " + name + ".LOG1 or " + name + ".LOG2 beside it"
                               : ": " + Joined(problems, false));
    if (!valid && headSize >= kLogBaseBlock && std::memcmp(head, "regf", 4) == 0) {
        std::memcpy(out.base, head, kLogBaseBlock);
        Put32(out.base + kChecksumAt, BaseBlockChecksum(out.base));
        out.baseChanged = true;
    }
    return out;
}
