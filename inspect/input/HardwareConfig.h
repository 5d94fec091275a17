// The boards an installation of Windows (8 and later) has started on, as its SYSTEM hive keeps
// them under HardwareConfig: LastConfig names the board of the last start, and one subkey per
// board holds what its table said. A board is named by its SMBIOS UUID's 16 bytes read as a
// Windows GUID (the first three fields little-endian, whatever the table's SMBIOS version), in
// lower case and in braces.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The texts of a board's subkey, in the order they are shown.
enum class BoardText {
    Manufacturer,
    Product,
    Family,
    Sku,
    Version,
    BiosVendor,
    BiosVersion,
    BiosReleaseDate,
};
constexpr int kBoardTexts = 8;
// The value's name: "SystemManufacturer", "SystemProductName", ..., "BIOSReleaseDate".
const char* BoardTextName(BoardText text);

struct HardwareBoard {
    std::string name; // the subkey's name (UTF-8)
    bool hasUuid = false;
    unsigned char uuid[16] = {}; // the name read as a GUID: the bytes as the table stores them
    std::optional<std::string> texts[kBoardTexts]; // UTF-8; absent where the subkey has none
    std::vector<std::string> systemBiosVersion;    // older subkeys: SystemBiosVersion's strings
    std::optional<uint64_t> lastUse;               // a FILETIME

    const std::optional<std::string>& Text(BoardText text) const {
        return texts[static_cast<int>(text)];
    }
    // BIOSVersion, else SystemBiosVersion's strings joined by "; "; absent where neither is.
    std::optional<std::string> BiosVersion() const;
};

struct HardwareConfig {
    bool present = false;                  // the SYSTEM hive has the key
    std::optional<std::string> lastConfig; // LastConfig's text (UTF-8)
    std::vector<HardwareBoard> boards;     // as the hive lists them
};

// "{25194d56-caef-8737-...}" (braces optional, either case) as the 16 bytes a table stores:
// the first three fields little-endian. False for any other text.
bool ParseGuid(const std::string& text, unsigned char (&bytes)[16]);
// The 16 bytes as Windows writes the GUID: 8-4-4-4-12, upper case, without braces.
std::string GuidText(const unsigned char (&bytes)[16]);
// A FILETIME (100 ns since 1601-01-01 UTC) as UTC ISO 8601 to the second: 2026-12-01T08:15:00Z.
std::string FileTimeText(uint64_t filetime);
