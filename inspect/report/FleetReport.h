// The report over a fleet's probe lines: one record per device (the newest of those read),
// totals by status, a table by model with the distinct identifiers its machines carry, the
// machines that need action, the UUIDs that many machines share, and the inputs and lines that
// gave no machine. As one HTML file that works offline, a text summary, or a CSV file of the
// machines.
#pragma once
#include "input/FleetInput.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

// The machines of one model (manufacturer and product name).
struct ModelTally {
    std::string manufacturer;
    std::string product;
    size_t machines = 0;
    std::array<size_t, kProbeStatuses> statuses{};
    std::map<std::string, size_t> systemIds; // identifier -> machines carrying it
    std::map<std::string, size_t> regulatoryIds;
    bool known = true; // false for the machines whose model nobody read

    // A fall-back identifier among them, or (for a model that was read) more than one
    // identifier of either kind.
    bool Flagged() const;
};

// A record as the report's writers see it: its own texts (names, ids, serial number, UUID) point
// into the tally, and the texts that many machines share (the model, the values, an error, a
// detection state) are kept once for all of them. Made by FleetTally::Record, valid as long as
// the tally.
struct FleetRecord {
    std::string_view machine, device, deviceId;
    std::optional<std::string_view> serial, uuid;
    const std::string* manufacturer = nullptr; // never null
    const std::string* product = nullptr;
    std::array<const std::string*, 3> stored{}, expected{}; // null: absent
    const std::string* error = nullptr;     // never null; empty where none was given
    const std::string* detection = nullptr; // never null
    std::optional<long long> updated;
    size_t read = 0;
    ProbeStatus status = ProbeStatus::Error;
};

// A record as the tally keeps it until the report is written, in 88 bytes: its own texts
// back to back in the tally's store, the shared ones by number. Records certainly of one machine
// (the same identity, byte for byte) are one entry: the newest is kept, with how many there were
// and when the first was read.
struct MachineEntry {
    enum Own { kMachine, kDevice, kDeviceId, kSerial, kUuid, kOwnTexts };
    enum Shared {
        kManufacturer,
        kProduct,
        kStored,
        kExpected = kStored + 3,
        kError = kExpected + 3,
        kDetection,
        kSharedTexts
    };
    uint64_t texts = 0; // where its own texts begin in the store
    std::array<uint16_t, kOwnTexts> lengths{};
    uint8_t present = 0; // bits: serial number, UUID and time given
    ProbeStatus status = ProbeStatus::Error;
    uint32_t records = 1;
    std::array<uint32_t, kSharedTexts> shared{}; // a shared text's number + 1; 0: absent
    int64_t updated = 0;
    uint64_t read = 0;
    uint64_t first = 0;
};
static_assert(sizeof(MachineEntry) <= 88, "an entry is kept for every machine");

// The keys that join records into one device, strongest first.
enum class JoinKey { DeviceId, Uuid, Serial, Name };
constexpr int kJoinKeys = 4;

// A device, as Finish joins it: the record shown (the newest of its records), how many records
// it was joined from, when the first was read, and the keys that joined them (JoinKey bits).
struct Device {
    uint64_t first = 0;
    uint32_t entry = 0;
    uint32_t records = 0;
    uint32_t joined = 0;
    uint32_t uuidSharedBy = 0; // where the record's UUID is shared: the devices behind it
};

// A UUID that names no one machine, and the devices behind it.
struct SharedUuid {
    std::string uuid;
    std::string why; // "a firmware placeholder", "seen with 2 serial numbers", ...
    size_t devices = 0;
};

struct FleetJoin;

// Items in blocks that never move: growing copies nothing and never holds two copies at once.
template <class T> class Blocks {
  public:
    T& operator[](size_t i) { return m_blocks[i / kBlock][i % kBlock]; }
    const T& operator[](size_t i) const { return m_blocks[i / kBlock][i % kBlock]; }
    size_t size() const { return m_size; }
    T& emplace_back() {
        if (m_size % kBlock == 0) m_blocks.push_back(std::make_unique<T[]>(kBlock));
        return (*this)[m_size++];
    }

  private:
    static constexpr size_t kBlock = 4096;
    std::vector<std::unique_ptr<T[]>> m_blocks;
    size_t m_size = 0;
};

// Reads records, collapsing those certainly of one machine, then joins them into devices
// (Finish): records that share a device-management id, a UUID that is not shared, or a serial
// number with its model are one device; a record with only a name joins the one device of that
// name, where there is exactly one.
class FleetTally : public FleetSink {
  public:
    FleetTally() = default;
    FleetTally(const FleetTally&) = delete; // its records point into its own texts
    FleetTally& operator=(const FleetTally&) = delete;

    void Machine(ProbeRecord&& record) override;
    void Machines(ProbeRecord* records, size_t count) override;
    void Refused(RefusedLine&& refused) override;
    void Input(InputSummary&& summary) { inputs.push_back(std::move(summary)); }
    // Joins the records into devices and counts them: totals, models, the devices that need
    // action, the shared UUIDs.
    void Finish();

    FleetRecord Record(const Device& device) const { return Record(m_entries[device.entry]); }
    size_t NeedingAction() const { return machines - statuses[0]; }
    std::vector<const ModelTally*> FlaggedModels() const;
    // Flagged models first, then by the number of machines, then by name.
    std::vector<const ModelTally*> ModelsInOrder() const;

    size_t records = 0; // machine records read, before merging
    // Counted by Finish:
    std::vector<Device> devices;              // in the order first read
    size_t repeated = 0;                      // devices joined from more than one record
    std::array<size_t, kJoinKeys> joinedBy{}; // of those, joined by each key
    std::vector<SharedUuid> sharedUuids;      // in the order of the UUIDs
    size_t machines = 0;
    std::array<size_t, kProbeStatuses> statuses{};
    std::unordered_map<std::string, ModelTally> models; // by manufacturer and product
    std::vector<size_t> actions;                        // devices needing action, the first
    size_t actionsNotShown = 0;                         // kActionsShown
    std::vector<RefusedLine> refused;                   // the first kRefusedShown
    size_t refusedLines = 0;
    std::vector<InputSummary> inputs;

  private:
    FleetRecord Record(const MachineEntry& entry) const;
    void Collapse(const ProbeRecord& record, uint64_t hash);
    std::string_view Own(const MachineEntry& entry, MachineEntry::Own text) const;
    std::optional<std::string_view> OwnOptional(const MachineEntry& entry,
                                                MachineEntry::Own text) const;
    const std::string* Shared(const MachineEntry& entry, MachineEntry::Shared text) const;
    uint32_t Intern(std::string_view text);
    uint32_t Intern(const std::string& text);
    uint32_t Intern(const std::optional<std::string>& text);
    using SharedTexts = std::array<uint32_t, MachineEntry::kSharedTexts>;
    SharedTexts Intern(const ProbeRecord& record);
    void Keep(MachineEntry& entry, const SharedTexts& shared, const ProbeRecord& record);
    uint64_t Store(const ProbeRecord& record,
                   std::array<uint16_t, MachineEntry::kOwnTexts>& lengths);
    void Rehash(size_t slots);
    void Unite(FleetJoin& join, const std::vector<uint32_t>& group, JoinKey key);
    void JoinStrong(FleetJoin& join);
    std::string SharedWhy(const std::vector<uint32_t>& group) const;
    std::string_view ShownName(const MachineEntry& entry) const;
    void JoinNames(FleetJoin& join);
    void MakeDevices(FleetJoin& join);
    void CountShared(FleetJoin& join, const std::vector<uint32_t>& ofRoot);
    void CountDevices();

    Blocks<MachineEntry> m_entries; // in the order they arrived
    std::vector<uint64_t> m_hashes; // of each entry's identity; 0: never collapsed
    std::vector<uint64_t> m_slots;  // by identity: half its hash and an entry + 1; 0 is free
    std::vector<std::vector<uint32_t>> m_sharedMembers; // the entries of each shared UUID
    // The entries' own texts, in blocks that never move.
    std::vector<std::unique_ptr<char[]>> m_store;
    size_t m_storeUsed = 0; // of the last block
    // The texts records share, by number, and the number of each.
    Blocks<std::string> m_texts;
    std::unordered_map<std::string_view, uint32_t> m_textNumbers;
    std::array<uint32_t, 1024> m_recentTexts{}; // by hash, the number of a text met lately
};

constexpr size_t kActionsShown = 500;
constexpr size_t kActionsInText = 50;
constexpr size_t kRefusedShown = 200;
constexpr size_t kModelsShown = 500;

constexpr size_t kSharedShown = 200;
constexpr size_t kSharedInText = 50;

// True for a serial number that identifies a machine: not one that firmware gives when nobody
// set one ("To Be Filled By O.E.M.", "Default string", only zeros, ...).
bool IdentifyingSerial(std::optional<std::string_view> serial);
// The name a machine is shown by, and the probe's own name when it is another.
const std::string& ShownName(const ProbeRecord& record);
std::string_view ShownName(const FleetRecord& record);
std::string OtherName(const FleetRecord& record);

// What a machine needs done, as pieces: fixed text, identifiers and other texts from the machine.
enum class ReasonPart { Fixed, Identifier, Text };
void ForEachReasonPart(const FleetRecord& record,
                       const std::function<void(std::string_view, ReasonPart)>& part);
// The same as plain text, the machine's texts as they are.
std::string ActionReason(const FleetRecord& record);
std::string ModelName(const ModelTally& model);
std::string ModelName(const FleetRecord& record);

// "N machines reported more than once; the newest record kept (M records read)".
std::string RepeatedMachines(const FleetTally& tally);
// "Joined from several records: N devices; by device id A, by UUID B, by serial number C, by
// name D" (a device counts under each key that joined two of its records).
std::string JoinedDevices(const FleetTally& tally);
// "Times not read: N (first: export.csv:17 '09/12/2026 06:00')", and how many of them had day
// and month in doubt; empty when every time given was read.
std::string TimesNotRead(const FleetTally& tally);
// What the report advises for the devices without the inspector; empty when there are none.
std::string NoInspectorAdvice(const FleetTally& tally);

void WriteFleetText(std::ostream& out, const FleetTally& tally);
std::string FleetHtml(const FleetTally& tally, const std::string& version);
std::vector<unsigned char> FleetCsv(const FleetTally& tally); // built in place: it may be large

// --report OUT INPUT...: OUT "-" writes the text summary to `out`, a name ending in .csv the
// CSV file, any other the HTML file. Returns the exit status: 2 when the output would overwrite
// an input, an input was refused whole, no machine was read, or the report could not be written.
int RunFleetReport(const std::string& report, const std::vector<std::string>& arguments,
                   DateOrder order, const std::string& version, std::ostream& out,
                   std::ostream& err);
