// Transaction logs as Windows writes them beside a hive, for the tests, the benchmark and the
// fuzz seeds: the new format (a base block, then one entry per flush holding the 4 KiB pages of
// the hive bins that the flush changed, hashed with Marvin32) and the old one (a base block,
// the bitmap of the 512-byte sectors that changed, then those sectors).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

Bytes LoadFile(const std::string& path);
void SaveFile(const std::string& path, const Bytes& bytes);

// A new-format log whose entries take the hive through `states` (hive files, as HiveBuilder
// writes them), one entry a step: entry i holds the pages of states[i + 1] that differ from
// states[i], contiguous pages as one run, with the hive bins size of states[i + 1]. Its base
// block and first entry carry `sequence`, each next entry the one after.
Bytes NewFormatLog(const std::vector<Bytes>& states, uint32_t sequence);

// An old-format log taking the hive from `from` to `to`: `to`'s base block written at `time`
// (a FILETIME), the bitmap of the sectors of `to` that differ from `from`, those sectors.
Bytes OldFormatLog(const Bytes& from, const Bytes& to, uint64_t time);

// The hive file as Windows leaves it while its changes are only in the logs: `hive` with the
// sequence numbers `primary` and `secondary` (and the checksum to match).
Bytes DirtyHive(Bytes hive, uint32_t primary, uint32_t secondary);
