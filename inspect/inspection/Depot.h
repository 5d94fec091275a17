// The service depot's question about an installed Windows read from its disk: does it carry the
// identity of the board now in the machine? The board of its last start comes from its SYSTEM
// hive's HardwareConfig (compared by the 16 bytes of the UUID); where a hive holds a registry
// copy of the table, that is compared too. A hive that is dirty and could not be recovered from
// its logs leaves the answer unsure.
#pragma once
#include "input/Hive.h"
#include "inspection/Audit.h"
#include "platform/CodePage.h"

#include <optional>
#include <string>
#include <vector>

enum class DepotVerdict {
    Match,       // stored = now, and the last start was on this board (or no board record)
    RunVeskInfo, // the last start was on this board, and stored != now
    OtherBoard,  // the last start was on another board
    Differs,     // no board record, and stored != now
    Only64,      // the values are only in the 64-bit view, where VeskInfo never writes them
    Unsure,      // a hive is dirty and could not be recovered
};
// "match", "run-veskinfo", "other-board", "differs", "only-64-bit", "unsure".
const char* DepotVerdictCode(DepotVerdict verdict);

// Why no board record was used.
enum class NoBoard { None, NoSystemHive, NoHardwareConfig, NoLastConfig, NoUuidNow };

// A hive the depot read, and how.
struct DepotHive {
    std::string name; // SOFTWARE or SYSTEM
    std::string path;
    HiveRecovery recovery;
};

struct DepotBoard {
    HardwareBoard board;
    bool thisBoard = false;
};

// What the depot read: the stored values, the walk of the table now (`table`, `length`: the
// bytes walked, for its UUID), the SYSTEM hive where it was read, and the walk of its registry
// copy where it holds one.
struct DepotInput {
    const StoredValues* stored = nullptr;
    bool only64 = false;
    std::vector<DepotHive> hives;
    const Inspection* now = nullptr;
    const unsigned char* table = nullptr;
    size_t length = 0;
    TableSource source = TableSource::Wmi;
    const SystemHive* system = nullptr; // null where no SYSTEM hive was read
    const Inspection* registryCopy = nullptr;
    const CodePage* codePage = nullptr; // the stored texts' code page
    bool folder = true;                 // a Windows folder, whose SYSTEM hive was looked for
};

struct DepotFindings {
    AuditResult now;
    std::optional<AuditResult> registryCopy; // where the SYSTEM hive gave a table
    std::vector<DepotHive> hives;
    std::optional<HardwareBoard> lastBoard; // LastConfig's board (its subkey, where it has one)
    std::vector<DepotBoard> boards;         // newest last use first
    NoBoard noBoard = NoBoard::None;
    bool lastIsThis = false;       // the last start was on the board now in the machine
    bool makerIsLastBoard = false; // the stored manufacturer is that board's
    int dirty = -1;                // with Unsure: the hive (in `hives`) that was not recovered
    DepotVerdict verdict = DepotVerdict::Differs;
    bool folder = true;
};

DepotFindings AuditDepot(const DepotInput& input);
