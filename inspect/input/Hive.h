// Registry hive files (regf) of an installed Windows, read from another system: the SOFTWARE
// hive's stored values, the SYSTEM hive's registry copy of the SMBIOS table and the computer's
// name, and the two hives found under a mounted Windows folder. The Linux build reads hives with
// hivex (HivePosix.cpp); the Windows build reads its live registry instead and refuses hive files
// (HiveWindows.cpp). Hives are opened read-only: a mounted disk is never written.
#pragma once
#include "input/StoredValues.h"
#include "input/TableInput.h"
#include "platform/CodePage.h"

#include <string>
#include <vector>

// An open file descriptor, closed when it goes (a negative one is none).
struct Descriptor {
    int fd;
    ~Descriptor();
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

// True when `bytes` start with a hive's "regf" signature.
bool IsHiveSignature(const unsigned char* bytes, size_t size);

// True when the file `path` starts with the signature (false for anything unreadable: the
// caller's own read then says why).
bool IsHiveFile(const std::string& path);

// The hives of a mounted Windows folder: System32/config/SOFTWARE and SYSTEM, names matched
// without regard to case. False with a one-line `error` when the folder has no System32/config
// or no SOFTWARE hive in it; `system` is empty when only SYSTEM is missing.
struct WindowsHives {
    std::string software, system;
};
bool FindWindowsHives(const std::string& folder, WindowsHives& hives, std::string& error);

// The values of VeskInfo's key in a SOFTWARE hive: on 64-bit Windows (a hive with WOW6432Node)
// under WOW6432Node\Vesk Computer Corporation\SysInfo, where a 32-bit program's writes land;
// `only64` when they are only in the 64-bit view. A missing key leaves every value missing.
// False with a one-line `error` (without the file's name) when the file is no readable SOFTWARE
// hive.
bool ReadHiveStoredValues(const std::string& path, const CodePage& codePage, StoredValues& stored,
                          bool& only64, std::string& error);

// The "SMBiosData" value of a SYSTEM hive's current control set, as the registry copy is (the
// 8-byte header, then the table), into `input` (format Hive). False with a one-line `error`.
bool ReadHiveTable(const std::string& path, TableInput& input, std::string& error);

// The computer's name in a SYSTEM hive (UTF-8); empty where the hive has none.
std::string ReadHiveComputerName(const std::string& path);
