// Registry hive files (regf) of an installed Windows, read from another system: the SOFTWARE
// hive's stored values; the SYSTEM hive's computer name, boards (HardwareConfig) and registry
// copy of the SMBIOS table, where it has one; and the two hives found under a mounted volume or
// Windows folder. The Linux build reads hives with hivex (HivePosix.cpp); the Windows build reads
// its live registry instead and refuses hive files (HiveWindows.cpp). Hives are opened
// read-only: a mounted disk is never written. A dirty hive is first recovered from the
// transaction logs beside it (HiveLog), in memory.
#pragma once
#include "input/HardwareConfig.h"
#include "input/HiveLog.h"
#include "input/StoredValues.h"
#include "input/TableInput.h"
#include "platform/CodePage.h"

#include <string>
#include <vector>

// True when `bytes` start with a hive's "regf" signature.
bool IsHiveSignature(const unsigned char* bytes, size_t size);

// True when the file `path` starts with the signature (false for anything unreadable: the
// caller's own read then says why).
bool IsHiveFile(const std::string& path);

// The hives of a mounted Windows: System32/config/SOFTWARE and SYSTEM under `folder`, the
// Windows folder, or under its Windows folder where `folder` is the volume's root; names matched
// without regard to case. False with a one-line `error` when there is no System32/config or no
// SOFTWARE hive in it; `system` is empty when only SYSTEM is missing.
struct WindowsHives {
    std::string software, system;
};
bool FindWindowsHives(const std::string& folder, WindowsHives& hives, std::string& error);

// The transaction logs beside the hive `path`: NAME.LOG1, NAME.LOG2 and NAME.LOG, names matched
// without regard to case; the paths of those found, in that order.
std::vector<std::string> FindHiveLogs(const std::string& path);

// The values of VeskInfo's key in a SOFTWARE hive: on 64-bit Windows (a hive with WOW6432Node)
// under WOW6432Node\Vesk Computer Corporation\SysInfo, where a 32-bit program's writes land;
// `only64` when they are only in the 64-bit view. A missing key leaves every value missing.
// `recovery` says how the hive was read (clean, recovered from its logs, or dirty and read as it
// is; its writes are gone). False with a one-line `error` (without the file's name) when the
// file is no readable SOFTWARE hive.
bool ReadHiveStoredValues(const std::string& path, const CodePage& codePage, StoredValues& stored,
                          bool& only64, HiveRecovery& recovery, std::string& error);

// What the depot reads from a SYSTEM hive.
struct SystemHive {
    HiveRecovery recovery;
    std::string computerName; // UTF-8; empty where the hive has none
    HardwareConfig hardware;
    // The "SMBiosData" value of the current control set, as the registry copy is (the 8-byte
    // header, then the table; format Hive), or why there is none.
    bool hasTable = false;
    TableInput table;
    std::string tableProblem;
};
// False with a one-line `error` when the file is no readable SYSTEM hive (no Select\Current, or
// its control set, or damaged where it is read).
bool ReadSystemHive(const std::string& path, SystemHive& system, std::string& error);

// The registry copy of a SYSTEM hive (ReadSystemHive's table) into `input`, with a note of how
// the hive was read. False with a one-line `error`.
bool ReadHiveTable(const std::string& path, TableInput& input, std::string& error);
