// The fleet's records joined into devices. Records arrive a line at a time, so what is kept
// follows the machines, not the lines: records whose identity is the same byte for byte are
// collapsed as they arrive (the newest kept). Which records are one device is known only once
// every input is read (a UUID is shared when it is seen with two serial numbers, which may come
// last), so the join is done at Finish. Nothing the report shows depends on a hash's order:
// hashes only bring equal keys together.
#include "report/FleetReport.h"

#include <algorithm>
#include <cctype>
#include <tuple>

namespace {

// Serial numbers that firmware gives when nobody set one: many machines carry each.
constexpr std::array<const char*, 10> kPlaceholderSerials = {"to be filled by o.e.m.",
                                                             "default string",
                                                             "system serial number",
                                                             "not specified",
                                                             "not applicable",
                                                             "none",
                                                             "n/a",
                                                             "serial number",
                                                             "123456789",
                                                             "0123456789"};
// The firmware placeholder that boards of several makers carry instead of a UUID of their own.
constexpr char kPlaceholderUuid[] = "03000200-0400-0500-0006-000700080009";
const char kSystemFallback[] = "0";
const char kRegulatoryFallback[] = "00000";

// ASCII letters in lower case; other bytes as they are, whatever the locale.
char Folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameFolded(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return Folded(x) == Folded(y);
           });
}

bool LessFolded(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Folded(x) < Folded(y); });
}

// FNV-1a over the bytes (folded to lower case, or as they are), each part closed by a byte.
uint64_t Hash(std::string_view text, bool fold, uint64_t hash = 14695981039346656037ull) {
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(fold ? Folded(c) : c)) * 1099511628211ull;
    return (hash ^ 0x1f) * 1099511628211ull;
}

// An optional text as a part of a key: absent is not the same as empty.
std::string_view Part(const std::optional<std::string>& text) {
    return text ? std::string_view(*text) : std::string_view("\x01", 1);
}

// What tells a record's machine from another, as the reader gave it or as the tally keeps it.
struct Identity {
    std::string_view deviceId;
    const std::optional<std::string>& uuid;
    const std::optional<std::string>& serial;
    std::string_view manufacturer, product, device, machine;
};

Identity IdentityOf(const ProbeRecord& r) {
    return {r.deviceId, r.uuid, r.serial, r.manufacturer, r.product, r.device, r.machine};
}

Identity IdentityOf(const FleetRecord& r) {
    return {r.deviceId, r.uuid, r.serial, *r.manufacturer, *r.product, r.device, r.machine};
}

// The identity byte for byte: records that share all of it are certainly one machine.
uint64_t IdentityHash(const Identity& r) {
    uint64_t hash = Hash(r.deviceId, false);
    for (const std::string_view part :
         {Part(r.uuid), Part(r.serial), r.manufacturer, r.product, r.device, r.machine})
        hash = Hash(part, false, hash);
    return hash;
}

bool SameIdentity(const Identity& a, const Identity& b) {
    return a.deviceId == b.deviceId && a.uuid == b.uuid && a.serial == b.serial &&
           a.manufacturer == b.manufacturer && a.product == b.product && a.device == b.device &&
           a.machine == b.machine;
}

bool HasUuid(const std::optional<std::string>& uuid) {
    return uuid && !uuid->empty();
}

// A record that carries nothing to tell its machine by is never taken for another.
bool Keyless(const Identity& r) {
    return r.deviceId.empty() && !HasUuid(r.uuid) && !IdentifyingSerial(r.serial) &&
           r.device.empty() && r.machine.empty();
}

// The newest record: one with a time stamp over one without; of two with, the later time; else
// the one read later.
template <class A, class B> bool Newer(const A& a, const B& b) {
    return std::make_tuple(a.updated.has_value(), a.updated.value_or(0), a.read) >
           std::make_tuple(b.updated.has_value(), b.updated.value_or(0), b.read);
}

// Why a UUID names no one machine, from the UUID alone; null when it may name one.
const char* SharedByItself(std::string_view uuid) {
    if (SameFolded(uuid, kPlaceholderUuid)) return "a firmware placeholder";
    char digits[32];
    size_t count = 0;
    for (const char c : uuid) {
        if (c == '-') continue;
        if (count == sizeof digits || !std::isxdigit(static_cast<unsigned char>(c))) return nullptr;
        digits[count++] = Folded(c);
    }
    if (count != sizeof digits) return nullptr;
    for (size_t i = 2; i < count; i += 2)
        if (digits[i] != digits[0] || digits[i + 1] != digits[1]) return nullptr;
    return "all its bytes equal";
}

// How many different texts `texts` holds (compared folded, or as they are).
size_t Distinct(std::vector<std::string_view>& texts, bool fold) {
    const auto less = [fold](std::string_view a, std::string_view b) {
        return fold ? LessFolded(a, b) : a < b;
    };
    std::sort(texts.begin(), texts.end(), less);
    size_t count = 0;
    for (size_t i = 0; i < texts.size(); ++i)
        count += i == 0 || less(texts[i - 1], texts[i]);
    return count;
}

std::string Counted(size_t count, const char* what) {
    return "seen with " + std::to_string(count) + " " + what;
}

// Union-find over entries: the sets are devices.
class Sets {
  public:
    explicit Sets(size_t count) : m_parent(count) {
        for (size_t i = 0; i < count; ++i)
            m_parent[i] = static_cast<uint32_t>(i);
    }
    uint32_t Find(uint32_t i) {
        while (m_parent[i] != i)
            i = m_parent[i] = m_parent[m_parent[i]];
        return i;
    }
    void Unite(uint32_t a, uint32_t b) {
        a = Find(a);
        b = Find(b);
        if (a != b) m_parent[std::max(a, b)] = std::min(a, b);
    }

  private:
    std::vector<uint32_t> m_parent;
};

struct Keyed {
    uint64_t hash;
    uint32_t entry;
    bool operator<(const Keyed& other) const {
        return hash != other.hash ? hash < other.hash : entry < other.entry;
    }
};

// Calls `group(entries)` for each group of entries whose keys are equal (`same`), the entries
// in the order they arrived. Sorting by the keys' hashes brings equal keys together without
// touching a record; where two keys only share a hash, their entries are told apart.
template <class Same, class Group>
void ForEachGroup(std::vector<Keyed>& keyed, Same same, Group group) {
    std::sort(keyed.begin(), keyed.end());
    std::vector<uint32_t> equal, rest;
    for (size_t begin = 0, end = 0; begin < keyed.size(); begin = end) {
        for (end = begin + 1; end < keyed.size() && keyed[end].hash == keyed[begin].hash; ++end) {
        }
        rest.clear();
        for (size_t i = begin; i < end; ++i)
            rest.push_back(keyed[i].entry);
        if (rest.size() == 1) {
            group(rest);
            continue;
        }
        while (!rest.empty()) {
            equal.clear();
            size_t others = 0;
            for (const uint32_t entry : rest)
                if (same(rest[0], entry))
                    equal.push_back(entry);
                else
                    rest[others++] = entry;
            rest.resize(others);
            group(equal);
        }
    }
}

unsigned Bit(JoinKey key) {
    return 1u << static_cast<int>(key);
}

} // namespace

// What Finish works with while it joins: the sets, and for each entry the keys that joined it to
// another record and whether it carries a strong key (a device id, a UUID not shared, a serial
// number).
struct FleetJoin {
    explicit FleetJoin(const std::deque<MachineEntry>& entries)
        : sets(entries.size()), joined(entries.size()), strong(entries.size()) {
        records.reserve(entries.size());
        for (const MachineEntry& entry : entries)
            records.push_back(static_cast<uint32_t>(entry.records));
    }
    Sets sets;
    std::vector<uint32_t> records; // of each entry, read in one pass rather than entry by entry
    std::vector<unsigned> joined;
    std::vector<char> strong;
};

bool IdentifyingSerial(const std::optional<std::string>& serial) {
    if (!serial || serial->find_first_not_of(" 0") == std::string::npos) return false;
    std::string lower(*serial);
    std::transform(lower.begin(), lower.end(), lower.begin(), Folded);
    return std::find(kPlaceholderSerials.begin(), kPlaceholderSerials.end(), lower) ==
           kPlaceholderSerials.end();
}

bool ModelTally::Flagged() const {
    return systemIds.count(kSystemFallback) || regulatoryIds.count(kRegulatoryFallback) ||
           (known && (systemIds.size() > 1 || regulatoryIds.size() > 1));
}

void FleetTally::Machine(ProbeRecord&& record) {
    ++records;
    if (record.read == 0) record.read = NextRead();
    const Identity identity = IdentityOf(record);
    // A hash of 0 marks a record that is never collapsed.
    const uint64_t hash = Keyless(identity) ? 0 : std::max<uint64_t>(IdentityHash(identity), 1);
    if (hash != 0) {
        if (m_slots.size() < 2 * (m_entries.size() + 1)) Rehash(4 * (m_entries.size() + 1));
        const size_t mask = m_slots.size() - 1;
        for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            if (m_slots[slot] == 0) {
                m_slots[slot] = static_cast<uint32_t>(m_entries.size() + 1);
                break;
            }
            const uint32_t at = m_slots[slot] - 1;
            if (m_hashes[at] != hash) continue;
            MachineEntry& entry = m_entries[at];
            if (!SameIdentity(IdentityOf(entry.record), identity)) continue;
            ++entry.records;
            if (Newer(record, entry.record)) entry.record = Keep(std::move(record));
            return;
        }
    }
    const size_t first = record.read;
    m_entries.push_back({Keep(std::move(record)), 1, first});
    m_hashes.push_back(hash);
}

const std::string* FleetTally::Intern(std::string&& text) {
    return &*m_texts.insert(std::move(text)).first;
}

const std::string* FleetTally::Intern(std::optional<std::string>&& text) {
    return text ? Intern(std::move(*text)) : nullptr;
}

FleetRecord FleetTally::Keep(ProbeRecord&& record) {
    FleetRecord kept;
    kept.machine = std::move(record.machine);
    kept.device = std::move(record.device);
    kept.deviceId = std::move(record.deviceId);
    kept.serial = std::move(record.serial);
    kept.uuid = std::move(record.uuid);
    kept.manufacturer = Intern(std::move(record.manufacturer));
    kept.product = Intern(std::move(record.product));
    for (size_t i = 0; i < kept.stored.size(); ++i) {
        kept.stored[i] = Intern(std::move(record.stored[i]));
        kept.expected[i] = Intern(std::move(record.expected[i]));
    }
    kept.error = Intern(std::move(record.error));
    kept.detection = Intern(std::move(record.detection));
    kept.updated = record.updated;
    kept.read = record.read;
    kept.status = record.status;
    return kept;
}

void FleetTally::Rehash(size_t slots) {
    size_t size = 16;
    while (size < slots)
        size *= 2;
    m_slots.assign(size, 0);
    for (size_t i = 0; i < m_hashes.size(); ++i) {
        if (m_hashes[i] == 0) continue;
        size_t slot = m_hashes[i] & (size - 1);
        while (m_slots[slot] != 0)
            slot = (slot + 1) & (size - 1);
        m_slots[slot] = static_cast<uint32_t>(i + 1);
    }
}

void FleetTally::Refused(RefusedLine&& line) {
    if (refusedLines++ < kRefusedShown) refused.push_back(std::move(line));
}

void FleetTally::Finish() {
    FleetJoin join(m_entries);
    JoinStrong(join);
    JoinNames(join);
    MakeDevices(join);
    CountDevices();
}

// Entries that share a key are one device; where they are two records or more, the key joined
// them.
void FleetTally::Unite(FleetJoin& join, const std::vector<uint32_t>& group, JoinKey key) {
    size_t count = 0;
    for (const uint32_t entry : group) {
        join.sets.Unite(group[0], entry);
        join.strong[entry] = join.strong[entry] || key != JoinKey::Name;
        count += join.records[entry];
    }
    if (count > 1)
        for (const uint32_t entry : group)
            join.joined[entry] |= Bit(key);
}

void FleetTally::JoinStrong(FleetJoin& join) {
    const auto record = [this](uint32_t entry) -> const FleetRecord& {
        return m_entries[entry].record;
    };
    std::vector<Keyed> keyed;
    for (uint32_t i = 0; i < m_entries.size(); ++i)
        if (!record(i).deviceId.empty()) keyed.push_back({Hash(record(i).deviceId, true), i});
    ForEachGroup(
        keyed,
        [&](uint32_t a, uint32_t b) { return SameFolded(record(a).deviceId, record(b).deviceId); },
        [&](const std::vector<uint32_t>& group) { Unite(join, group, JoinKey::DeviceId); });

    keyed.clear();
    for (uint32_t i = 0; i < m_entries.size(); ++i)
        if (HasUuid(record(i).uuid)) keyed.push_back({Hash(*record(i).uuid, true), i});
    sharedUuids.clear();
    m_sharedMembers.clear();
    ForEachGroup(
        keyed, [&](uint32_t a, uint32_t b) { return SameFolded(*record(a).uuid, *record(b).uuid); },
        [&](const std::vector<uint32_t>& group) {
            const std::string why = SharedWhy(group);
            if (why.empty()) return Unite(join, group, JoinKey::Uuid);
            sharedUuids.push_back({*record(group[0]).uuid, why, 0});
            m_sharedMembers.push_back(group);
        });

    keyed.clear();
    for (uint32_t i = 0; i < m_entries.size(); ++i)
        if (IdentifyingSerial(record(i).serial))
            keyed.push_back(
                {Hash(*record(i).serial, false,
                      Hash(*record(i).product, false, Hash(*record(i).manufacturer, false))),
                 i});
    ForEachGroup(
        keyed,
        [&](uint32_t a, uint32_t b) {
            return std::tie(*record(a).serial, record(a).manufacturer, record(a).product) ==
                   std::tie(*record(b).serial, record(b).manufacturer, record(b).product);
        },
        [&](const std::vector<uint32_t>& group) { Unite(join, group, JoinKey::Serial); });
}

// A UUID is shared where it says so itself, or where its records carry two serial numbers or
// two device ids: then it tells no machine from another.
std::string FleetTally::SharedWhy(const std::vector<uint32_t>& group) const {
    if (const char* why = SharedByItself(*m_entries[group[0]].record.uuid)) return why;
    if (group.size() == 1) return "";
    std::vector<std::string_view> serials, ids;
    for (const uint32_t entry : group) {
        const FleetRecord& record = m_entries[entry].record;
        if (IdentifyingSerial(record.serial)) serials.push_back(*record.serial);
        if (!record.deviceId.empty()) ids.push_back(record.deviceId);
    }
    const size_t serialCount = Distinct(serials, false), idCount = Distinct(ids, true);
    if (serialCount > 1) return Counted(serialCount, "serial numbers");
    if (idCount > 1) return Counted(idCount, "device ids");
    return "";
}

// A record with no strong key joins the one device that carries its name (the device-management
// name or the probe's); where none does, or several do, the records of that name are a device.
void FleetTally::JoinNames(FleetJoin& join) {
    std::vector<Keyed> weak;
    for (uint32_t i = 0; i < m_entries.size(); ++i)
        if (!join.strong[i] && !ShownName(m_entries[i].record).empty())
            weak.push_back({Hash(ShownName(m_entries[i].record), true), i});
    if (weak.empty()) return;
    std::sort(weak.begin(), weak.end());
    // The strong devices' names that a weak record carries.
    struct Named {
        std::string_view name;
        uint32_t device;
    };
    std::vector<Named> named;
    for (uint32_t i = 0; i < m_entries.size(); ++i) {
        if (!join.strong[i]) continue;
        const FleetRecord& record = m_entries[i].record;
        for (const std::string* name : {&record.device, &record.machine}) {
            if (name->empty()) continue;
            const uint64_t hash = Hash(*name, true);
            const auto at = std::lower_bound(weak.begin(), weak.end(), Keyed{hash, 0});
            if (at != weak.end() && at->hash == hash) named.push_back({*name, join.sets.Find(i)});
        }
    }
    const auto less = [](const Named& a, const Named& b) {
        return LessFolded(a.name, b.name) || (!LessFolded(b.name, a.name) && a.device < b.device);
    };
    std::sort(named.begin(), named.end(), less);
    named.erase(std::unique(named.begin(), named.end(),
                            [](const Named& a, const Named& b) {
                                return SameFolded(a.name, b.name) && a.device == b.device;
                            }),
                named.end());
    ForEachGroup(
        weak,
        [&](uint32_t a, uint32_t b) {
            return SameFolded(ShownName(m_entries[a].record), ShownName(m_entries[b].record));
        },
        [&](const std::vector<uint32_t>& group) {
            const Named name{ShownName(m_entries[group[0]].record), 0};
            const auto lessName = [](const Named& a, const Named& b) {
                return LessFolded(a.name, b.name);
            };
            const auto [from, to] = std::equal_range(named.begin(), named.end(), name, lessName);
            if (to - from != 1) return Unite(join, group, JoinKey::Name);
            std::vector<uint32_t> with = group;
            with.insert(with.begin(), from->device);
            Unite(join, with, JoinKey::Name);
        });
}

void FleetTally::MakeDevices(FleetJoin& join) {
    devices.clear();
    size_t roots = 0;
    for (uint32_t i = 0; i < m_entries.size(); ++i)
        roots += join.sets.Find(i) == i;
    devices.reserve(roots);
    std::vector<uint32_t> ofRoot(m_entries.size(), UINT32_MAX);
    for (uint32_t i = 0; i < m_entries.size(); ++i) {
        const MachineEntry& entry = m_entries[i];
        const uint32_t root = join.sets.Find(i);
        // Two records that were collapsed on arrival were joined by their strongest key.
        if (entry.records > 1 && join.joined[i] == 0)
            join.joined[i] = Bit(!entry.record.deviceId.empty()           ? JoinKey::DeviceId
                                 : HasUuid(entry.record.uuid)             ? JoinKey::Uuid
                                 : IdentifyingSerial(entry.record.serial) ? JoinKey::Serial
                                                                          : JoinKey::Name);
        if (ofRoot[root] == UINT32_MAX) {
            ofRoot[root] = static_cast<uint32_t>(devices.size());
            devices.push_back({entry.first, i, 0, 0, 0});
        }
        Device& device = devices[ofRoot[root]];
        device.records += static_cast<uint32_t>(entry.records);
        device.first = std::min<uint64_t>(device.first, entry.first);
        device.joined |= join.joined[i];
        if (Newer(entry.record, Record(device))) device.entry = i;
    }
    // In the order first read: a record that waited for its file's order of day and month
    // arrived after records read later.
    std::sort(devices.begin(), devices.end(),
              [](const Device& a, const Device& b) { return a.first < b.first; });
    for (uint32_t i = 0; i < devices.size(); ++i)
        ofRoot[join.sets.Find(devices[i].entry)] = i;
    CountShared(join, ofRoot);
}

void FleetTally::CountShared(FleetJoin& join, const std::vector<uint32_t>& ofRoot) {
    for (size_t i = 0; i < sharedUuids.size(); ++i) {
        std::vector<uint32_t> behind;
        for (const uint32_t entry : m_sharedMembers[i])
            behind.push_back(ofRoot[join.sets.Find(entry)]);
        std::sort(behind.begin(), behind.end());
        sharedUuids[i].devices = std::unique(behind.begin(), behind.end()) - behind.begin();
        for (const uint32_t entry : m_sharedMembers[i]) {
            Device& device = devices[ofRoot[join.sets.Find(entry)]];
            if (device.entry == entry)
                device.uuidSharedBy = static_cast<uint32_t>(sharedUuids[i].devices);
        }
    }
    std::sort(sharedUuids.begin(), sharedUuids.end(),
              [](const SharedUuid& a, const SharedUuid& b) { return LessFolded(a.uuid, b.uuid); });
    m_sharedMembers.clear();
}

void FleetTally::CountDevices() {
    machines = devices.size();
    repeated = 0;
    joinedBy.fill(0);
    statuses.fill(0);
    models.clear();
    actions.clear();
    actionsNotShown = 0;
    for (size_t i = 0; i < devices.size(); ++i) {
        const Device& device = devices[i];
        if (device.records > 1) {
            ++repeated;
            for (int key = 0; key < kJoinKeys; ++key)
                joinedBy[key] += (device.joined >> key) & 1;
        }
        const FleetRecord& record = Record(device);
        ++statuses[static_cast<int>(record.status)];
        const bool known = !record.manufacturer->empty() || !record.product->empty();
        ModelTally& model =
            models[known ? *record.manufacturer + '\x1f' + *record.product : std::string()];
        if (model.machines++ == 0) {
            model.manufacturer = *record.manufacturer;
            model.product = *record.product;
            model.known = known;
        }
        ++model.statuses[static_cast<int>(record.status)];
        for (const int id : {kProbeSystemId, kProbeRegulatoryId}) {
            const std::string* carried =
                record.expected[id] ? record.expected[id] : record.stored[id];
            if (carried) ++(id == kProbeSystemId ? model.systemIds : model.regulatoryIds)[*carried];
        }
        if (record.status == ProbeStatus::Match) continue;
        if (actions.size() == kActionsShown)
            ++actionsNotShown;
        else
            actions.push_back(i);
    }
}

std::vector<const ModelTally*> FleetTally::ModelsInOrder() const {
    std::vector<const ModelTally*> order;
    for (const auto& entry : models)
        order.push_back(&entry.second);
    std::sort(order.begin(), order.end(), [](const ModelTally* a, const ModelTally* b) {
        if (a->Flagged() != b->Flagged()) return a->Flagged();
        if (a->machines != b->machines) return a->machines > b->machines;
        return std::tie(a->manufacturer, a->product) < std::tie(b->manufacturer, b->product);
    });
    return order;
}

std::vector<const ModelTally*> FleetTally::FlaggedModels() const {
    std::vector<const ModelTally*> flagged = ModelsInOrder();
    flagged.erase(std::find_if(flagged.begin(), flagged.end(),
                               [](const ModelTally* model) { return !model->Flagged(); }),
                  flagged.end());
    return flagged;
}
