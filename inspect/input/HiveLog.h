// Registry hive transaction logs: a dirty hive recovered in memory from the logs beside it, as
// Windows recovers it when it loads the hive. The new format (NAME.LOG1, NAME.LOG2: entries of
// whole pages, each hashed with Marvin32) and the old one (NAME.LOG, NAME.LOG1, NAME.LOG2: a
// bitmap of dirty sectors and the sectors). Pure byte code: every read is bounded by the
// buffers it is given, whatever their bytes, and nothing here touches a file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Marvin32 of `size` bytes with a 64-bit seed (its high half << 32 | its low half).
uint64_t Marvin32(const unsigned char* data, size_t size, uint64_t seed);
constexpr uint64_t kHiveLogSeed = 0x82EF4D887A4E55C5;

constexpr size_t kHiveBaseBlock = 4096; // the hive's base block; its first 512 bytes carry it
constexpr size_t kLogBaseBlock = 512;   // the base block at the start of a log

// The base block's checksum: the XOR of its first 127 little-endian words, where 0 becomes 1
// and 0xFFFFFFFF becomes 0xFFFFFFFE. `block` holds at least 512 bytes.
uint32_t BaseBlockChecksum(const unsigned char* block);
// True when `size` bytes at `data` begin with a base block: "regf" and its checksum.
bool ValidBaseBlock(const unsigned char* data, size_t size);

// True when the hive whose first `headSize` bytes are `head` needs recovery: its sequence
// numbers differ, or its base block is invalid.
bool HiveIsDirty(const unsigned char* head, size_t headSize);

// A log found beside the hive: its name as found there (for the messages) and its bytes, or
// why they could not be read.
struct HiveLog {
    std::string name;
    std::vector<unsigned char> bytes;
    std::string error;
};

enum class HiveState { Clean, Recovered, Dirty };
const char* HiveStateName(HiveState state); // "clean", "recovered", "dirty"

// A write of the recovered image: `size` bytes at file offset `offset`, from a log's bytes.
struct HiveWrite {
    uint64_t offset;
    const unsigned char* data;
    size_t size;
};

struct HiveRecovery {
    HiveState state = HiveState::Clean;
    uint32_t primary = 0, secondary = 0; // the hive's own sequence numbers, as read
    bool oldFormat = false;
    std::vector<std::string> logsUsed;
    size_t applied = 0;    // log entries (new format) or sectors (old format) applied
    uint32_t sequence = 0; // the hive's after recovery (the last entry's); else its own primary
    // Dirty: why the hive was not recovered. Recovered: where a damaged log stopped the replay
    // early (empty where none did).
    std::string reason;

    // The image hivex reads: the hive file's bytes, grown with zeros to `size`, then `writes`
    // in order over it (they point into the logs, which must outlive them), then `base` over
    // its first 512 bytes where `baseChanged`.
    uint64_t size = 0;
    std::vector<HiveWrite> writes;
    bool baseChanged = false;
    unsigned char base[kLogBaseBlock] = {};

    bool Rewritten() const { return baseChanged || !writes.empty(); }
};

// How the hive was read, in one line: "clean"; "recovered: 5 log entries applied from
// SYSTEM.LOG1, SYSTEM.LOG2, up to sequence 2113" (old format: "recovered: 37 sectors from
// SYSTEM.LOG1"), with a damaged log after it; or the reason it is dirty, and that it is read as
// it is.
std::string HiveRecoveryText(const HiveRecovery& recovery);

// Checks the base block of the hive `name` (its file name, for the messages), a file of
// `fileSize` bytes whose first `headSize` bytes are `head`; where the hive is dirty (its two
// sequence numbers differ, or its base block's signature or checksum is wrong), recovers it
// from `logs`. A dirty hive that no log recovers keeps its bytes (`state` Dirty, `reason` says
// why), but for a base block whose checksum alone is wrong: that is mended, so that the hive
// can still be read as it is.
HiveRecovery RecoverHive(const std::string& name, const unsigned char* head, size_t headSize,
                         uint64_t fileSize, const std::vector<HiveLog>& logs);
