// Reading the table the inspector is asked about: a raw structure table, a dmidecode dump, a
// saved GetSystemFirmwareTable('RSMB') buffer or a registry export of the "SMBiosData" value,
// from a file, standard input or the running machine.
#pragma once
#include "input/DumpFormat.h"

#include <string>
#include <vector>

constexpr const char* kMachineTablePath = "/sys/firmware/dmi/tables/DMI";
// Overrides kMachineTablePath (a sysfs mounted elsewhere, a chroot, the tests).
constexpr const char* kMachineTableVariable = "VESKINFO_DMI_TABLE";

// Hive: a SYSTEM registry hive, whose current control set holds the registry copy.
enum class InputFormat { Raw, DmidecodeDump, Rsmb, RegExport, Hive };
// "raw", "dmidecode-dump", "rsmb", "reg-export", "hive"
const char* FormatName(InputFormat format);

// Where VeskInfo gets its table: from WMI, which hands over the table alone, or from the
// registry copy, which it walks from the first byte, header included.
enum class TableSource { Wmi, Registry };
const char* SourceName(TableSource source); // "wmi", "registry"
inline TableSource OtherSource(TableSource source) {
    return source == TableSource::Wmi ? TableSource::Registry : TableSource::Wmi;
}

struct TableInput {
    struct Span {
        size_t offset = 0, length = 0;
    };

    std::string name;  // as the messages name it
    bool read = false; // the bytes were read: `format` says what they were taken for
    InputFormat format = InputFormat::Raw;
    std::vector<unsigned char> bytes; // as read; for a registry export, the decoded value
    Span wmi, registry;               // within `bytes`
    bool hasEntryPoint = false;
    DumpTable dump;
    bool hasHeader = false; // an RSMB header before the table
    RsmbHeader header;
    std::vector<std::string> notes; // said in --explain and --json

    const unsigned char* Table(TableSource source) const {
        return bytes.data() + SpanOf(source).offset;
    }
    size_t Length(TableSource source) const { return SpanOf(source).length; }
    bool SourcesDiffer() const {
        return wmi.offset != registry.offset || wmi.length != registry.length;
    }
    const Span& SpanOf(TableSource source) const {
        return source == TableSource::Wmi ? wmi : registry;
    }
    // The SMBIOS version the entry point or the RSMB header states, as major << 8 | minor; 0
    // where the input states none.
    int StatedVersion() const {
        if (hasEntryPoint) return dump.entryPoint.major << 8 | dump.entryPoint.minor;
        return hasHeader ? header.major << 8 | header.minor : 0;
    }
};

// Reads `argument` ("-" for standard input, empty for the machine's table) into `input`.
// On failure returns false with `error` saying what is wrong in one line, without the name.
bool ReadTableInput(const std::string& argument, TableInput& input, std::string& error);

// Reads the whole file `path` ("-" for standard input) into `bytes`; false with a one-line
// `error` when it cannot.
bool ReadInputBytes(const std::string& path, std::vector<unsigned char>& bytes, std::string& error);

// Recognises the format of `input.bytes` and finds the tables in them. `regExport` says that
// the bytes are meant as a registry export. False with a one-line `error` when they cannot be
// read as that format.
bool RecogniseTable(TableInput& input, bool regExport, std::string& error);

// Finds the tables in a registry value's bytes already in `input.bytes` (the "SMBiosData" of
// an export): the table after an RSMB header where WMI answers, the whole value otherwise.
void RecogniseRegistryValue(TableInput& input);
