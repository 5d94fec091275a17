// The firmware-table containers people save: the dump file of dmidecode --dump-bin (an entry
// point at offset 0 naming a table inside the file) and the buffer GetSystemFirmwareTable('RSMB')
// returns (an 8-byte header, then the table).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An SMBIOS entry point: "_SM_" (2.x, with its "_DMI_" intermediate anchor at 0x10), "_SM3_"
// (3.x) or a legacy "_DMI_" one.
struct EntryPoint {
    std::string anchor;
    int major = 0, minor = 0;
    uint64_t address = 0; // of the table, here an offset into the file
    uint32_t length = 0;  // of the table; for "_SM3_" its maximum size
    bool checksumOk = true;
    bool intermediateOk = true; // the "_DMI_" part of a "_SM_" entry point
};

// Where the table lies in a dump file.
struct DumpTable {
    EntryPoint entryPoint;
    size_t offset = 0, length = 0;
    std::vector<std::string> notes; // wrong checksums, a table running past the end of the file
};

// True when `data` starts with an entry-point anchor.
bool HasEntryPoint(const unsigned char* data, size_t size);

// Reads the entry point at the start of `data` and finds the table it names. False with a
// one-line `error` for a truncated entry point or a table address outside the file.
bool ReadDump(const unsigned char* data, size_t size, DumpTable& dump, std::string& error);

// The header of a GetSystemFirmwareTable('RSMB') buffer.
struct RsmbHeader {
    int callingMethod = 0, major = 0, minor = 0, dmiRevision = 0;
    uint32_t length = 0; // of the table after the header
};
constexpr size_t kRsmbHeaderSize = 8;

// True, with `header` filled, when `data` starts with such a header: a major version of 2 or 3
// in byte 1 (where a structure table has a structure length, never 2 or 3) and a table length
// that fits in the data after the header.
bool ReadRsmbHeader(const unsigned char* data, size_t size, RsmbHeader& header);
