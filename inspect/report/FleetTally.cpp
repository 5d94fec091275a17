// The fleet's records joined into devices. Records arrive a line at a time, so what is kept
// follows the machines, not the lines: records whose identity is the same byte for byte are
// collapsed as they arrive (the newest kept). Which records are one device is known only once
// every input is read (a UUID is shared when it is seen with two serial numbers, which may come
// last), so the join is done at Finish. Nothing the report shows depends on a hash's order:
// hashes only bring equal keys together.
#include "report/FleetReport.h"

#include <algorithm>
#include <cctype>
#include <cstring>
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

// Eight bytes with their ASCII capitals in lower case, all at once: a byte is a capital where
// its low seven bits are from 'A' to 'Z' and its high bit is clear.
uint64_t FoldedWord(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    const uint64_t low = word & ~kHigh;
    const uint64_t fromA = low + (0x80 - 'A') * kOnes, pastZ = low + (0x80 - 'Z' - 1) * kOnes;
    return word | ((fromA & ~pastZ & ~word & kHigh) >> 2);
}

uint64_t Mixed(uint64_t hash, uint64_t word) {
    hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
    return hash ^ (hash >> 29);
}

// A hash of the bytes (ASCII letters folded to lower case, or as they are), eight at a time,
// each part closed by its length.
uint64_t Hash(std::string_view text, bool fold, uint64_t hash = 0x243F6A8885A308D3ull) {
    const auto word = [&](size_t at) {
        uint64_t w;
        std::memcpy(&w, text.data() + at, 8);
        return fold ? FoldedWord(w) : w;
    };
    const size_t size = text.size();
    size_t at = 0;
    for (; at + 8 <= size; at += 8)
        hash = Mixed(hash, word(at));
    // The bytes left: of a longer text, its last eight bytes shifted down to those not yet taken.
    uint64_t last = 0;
    if (at < size && size >= 8)
        last = word(size - 8) >> 8 * (8 - (size - at));
    else
        for (size_t i = at; i < size; ++i)
            last |= uint64_t{static_cast<unsigned char>(fold ? Folded(text[i]) : text[i])}
                    << 8 * (i - at);
    return Mixed(hash, last ^ uint64_t{size} << 56);
}

// An optional text as a part of a key: absent is not the same as empty.
std::string_view Part(const std::optional<std::string>& text) {
    return text ? std::string_view(*text) : std::string_view("\x01", 1);
}

constexpr uint8_t kHasSerial = 1, kHasUuid = 2, kTimed = 4;

constexpr size_t kStoreBlock = 1 << 20; // of the entries' own texts

// The identity byte for byte: records that share all of it are certainly one machine.
uint64_t IdentityHash(const ProbeRecord& r) {
    uint64_t hash = Hash(r.deviceId, false);
    for (const std::string_view part :
         {Part(r.uuid), Part(r.serial), std::string_view(r.manufacturer),
          std::string_view(r.product), std::string_view(r.device), std::string_view(r.machine)})
        hash = Hash(part, false, hash);
    return hash;
}

bool HasUuid(const std::optional<std::string_view>& uuid) {
    return uuid && !uuid->empty();
}

// A record that carries nothing to tell its machine by is never taken for another.
bool Keyless(const ProbeRecord& r) {
    return r.deviceId.empty() && !HasUuid(r.uuid) && !IdentifyingSerial(r.serial) &&
           r.device.empty() && r.machine.empty();
}

// How old a record is: one with a time stamp is newer than one without; of two with, the later
// time; else the one read later.
struct Age {
    bool timed;
    long long updated;
    uint64_t read;
    bool operator>(const Age& b) const {
        return std::tie(timed, updated, read) > std::tie(b.timed, b.updated, b.read);
    }
};

Age AgeOf(const ProbeRecord& r) {
    return {r.updated.has_value(), r.updated.value_or(0), r.read};
}

Age AgeOf(const MachineEntry& e) {
    return {(e.present & kTimed) != 0, e.updated, e.read};
}

// Why a UUID names no one machine, from the UUID alone; null when it may name one.
const char* SharedByItself(std::string_view uuid) {
    if (SameFolded(uuid, kPlaceholderUuid)) return "a firmware placeholder";
    char digits[32];
    size_t count = 0;
    for (const char c : uuid) {
        if (c == '-') continue;
        const char folded = Folded(c);
        const bool hex = (folded >= '0' && folded <= '9') || (folded >= 'a' && folded <= 'f');
        // Each byte's two digits must be the first byte's: most UUIDs fail at their second.
        if (count == sizeof digits || !hex || (count >= 2 && folded != digits[count % 2]))
            return nullptr;
        digits[count++] = folded;
    }
    return count == sizeof digits ? "all its bytes equal" : nullptr;
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
    uint32_t marks = 0; // what the pass that keyed the entry noted of it (kRepeated, ...)
    bool operator<(const Keyed& other) const {
        return hash != other.hash ? hash < other.hash : entry < other.entry;
    }
};
constexpr uint32_t kRepeated = 1;   // the entry holds more than one record
constexpr uint32_t kSelfShared = 2; // its UUID says of itself that it names no one machine

// Sorts by hash, then entry: first into buckets by the hash's top bits, in one pass that keeps
// the entries' order, then each bucket on its own, small enough for a cache.
void SortByHash(std::vector<Keyed>& keyed, std::vector<Keyed>& sorted) {
    constexpr int kBits = 12;
    std::vector<size_t> ends(size_t{1} << kBits);
    for (const Keyed& key : keyed)
        ++ends[key.hash >> (64 - kBits)];
    size_t total = 0;
    for (size_t& end : ends)
        end = total += end;
    sorted.resize(keyed.size());
    for (size_t i = keyed.size(); i-- > 0;)
        sorted[--ends[keyed[i].hash >> (64 - kBits)]] = keyed[i];
    for (size_t bucket = 0; bucket < ends.size(); ++bucket) {
        const size_t end = bucket + 1 < ends.size() ? ends[bucket + 1] : sorted.size();
        std::sort(sorted.begin() + static_cast<ptrdiff_t>(ends[bucket]),
                  sorted.begin() + static_cast<ptrdiff_t>(end));
    }
    keyed.swap(sorted);
}

// Calls `group(entries)` for each group of entries whose keys are equal (`same`), the entries
// in the order they arrived, and `single(keyed)` for a key that only one entry has, which is most
// of them: that takes what it needs from the key, not from tables indexed by the entry. Sorting
// by the keys' hashes brings equal keys together without touching a record; where two keys only
// share a hash, their entries are told apart.
template <class Same, class Group, class Single>
void ForEachGroup(std::vector<Keyed>& keyed, std::vector<Keyed>& scratch, Same same, Group group,
                  Single single) {
    SortByHash(keyed, scratch);
    std::vector<uint32_t> equal, rest;
    for (size_t begin = 0, end = 0; begin < keyed.size(); begin = end) {
        for (end = begin + 1; end < keyed.size() && keyed[end].hash == keyed[begin].hash; ++end) {
        }
        if (end == begin + 1) {
            single(keyed[begin]);
            continue;
        }
        rest.clear();
        for (size_t i = begin; i < end; ++i)
            rest.push_back(keyed[i].entry);
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

template <class Same, class Group>
void ForEachGroup(std::vector<Keyed>& keyed, Same same, Group group) {
    std::vector<uint32_t> one(1);
    std::vector<Keyed> scratch;
    ForEachGroup(keyed, scratch, same, group, [&](const Keyed& key) {
        one[0] = key.entry;
        group(one);
    });
}

// A slot of the identity table: the upper half of the identity's hash, and the entry + 1.
uint64_t Slot(uint64_t hash, size_t entry) {
    return (hash & ~uint64_t{UINT32_MAX}) | (entry + 1);
}

unsigned Bit(JoinKey key) {
    return 1u << static_cast<int>(key);
}

} // namespace

// What Finish works with while it joins: the sets, and for each entry the keys that joined it to
// another record and whether it carries a strong key (a device id, a UUID not shared, a serial
// number).
struct FleetJoin {
    explicit FleetJoin(const Blocks<MachineEntry>& entries)
        : sets(entries.size()), joined(entries.size()), strong(entries.size()) {
        records.reserve(entries.size());
        for (size_t i = 0; i < entries.size(); ++i)
            records.push_back(entries[i].records);
    }
    Sets sets;
    std::vector<uint32_t> records; // of each entry, read in one pass rather than entry by entry
    std::vector<unsigned> joined;
    std::vector<char> strong;
};

bool IdentifyingSerial(std::optional<std::string_view> serial) {
    if (!serial || serial->find_first_not_of(" 0") == std::string_view::npos) return false;
    return std::none_of(kPlaceholderSerials.begin(), kPlaceholderSerials.end(),
                        [&](const char* placeholder) { return SameFolded(*serial, placeholder); });
}

bool ModelTally::Flagged() const {
    return systemIds.count(kSystemFallback) || regulatoryIds.count(kRegulatoryFallback) ||
           (known && (systemIds.size() > 1 || regulatoryIds.size() > 1));
}

void FleetTally::Machine(ProbeRecord&& record) {
    Machines(&record, 1);
}

// The records' slots in the identity table are fetched for the whole batch first: the table is
// far larger than a cache, and waiting for a slot from memory was most of a lookup's time.
void FleetTally::Machines(ProbeRecord* batch, size_t count) {
    uint64_t hashes[kMachineBatch];
    for (size_t begin = 0; begin < count; begin += kMachineBatch) {
        const size_t end = std::min(count, begin + kMachineBatch);
        // Grown first, so that no slot fetched moves before it is used, and so that the table
        // stays at most half full with the whole batch in it.
        const size_t needed = 2 * (m_entries.size() + end - begin + 1);
        if (m_slots.size() < needed) Rehash(std::max(needed, 2 * m_slots.size()));
        for (size_t i = begin; i < end; ++i) {
            ProbeRecord& record = batch[i];
            ++records;
            if (record.read == 0) record.read = NextRead();
            // A hash of 0 marks a record that is never collapsed.
            const uint64_t hash = Keyless(record) ? 0 : std::max<uint64_t>(IdentityHash(record), 1);
            hashes[i - begin] = hash;
            if (hash != 0) __builtin_prefetch(&m_slots[hash & (m_slots.size() - 1)]);
        }
        for (size_t i = begin; i < end; ++i)
            Collapse(batch[i], hashes[i - begin]);
    }
}

// Merges a record into the entry of its identity, or makes it a new entry.
void FleetTally::Collapse(const ProbeRecord& record, uint64_t hash) {
    const SharedTexts shared = Intern(record);
    if (hash != 0) {
        const size_t mask = m_slots.size() - 1;
        for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            if (m_slots[slot] == 0) {
                m_slots[slot] = Slot(hash, m_entries.size());
                break;
            }
            // The slot's half of the hash tells most other entries apart without reading them.
            if ((m_slots[slot] ^ hash) >> 32) continue;
            MachineEntry& entry = m_entries[static_cast<uint32_t>(m_slots[slot]) - 1];
            if (entry.shared[MachineEntry::kManufacturer] != shared[MachineEntry::kManufacturer] ||
                entry.shared[MachineEntry::kProduct] != shared[MachineEntry::kProduct] ||
                Own(entry, MachineEntry::kDeviceId) != record.deviceId ||
                OwnOptional(entry, MachineEntry::kUuid) != record.uuid ||
                OwnOptional(entry, MachineEntry::kSerial) != record.serial ||
                Own(entry, MachineEntry::kDevice) != record.device ||
                Own(entry, MachineEntry::kMachine) != record.machine)
                continue;
            ++entry.records;
            if (AgeOf(record) > AgeOf(entry)) Keep(entry, shared, record);
            return;
        }
    }
    MachineEntry& entry = m_entries.emplace_back();
    entry.texts = Store(record, entry.lengths);
    entry.present = (record.serial ? kHasSerial : 0) | (record.uuid ? kHasUuid : 0);
    entry.first = record.read;
    Keep(entry, shared, record);
    m_hashes.push_back(hash);
}

// Numbers a shared text. Records carry few texts of this kind between them, so most are found
// in a small table of the texts met last, by their hash, before the table of all.
uint32_t FleetTally::Intern(std::string_view text) {
    uint32_t& recent = m_recentTexts[Hash(text, false) % m_recentTexts.size()];
    if (recent != 0 && m_texts[recent - 1] == text) return recent;
    const auto found = m_textNumbers.find(text);
    if (found != m_textNumbers.end()) return recent = found->second;
    m_texts.emplace_back() = text;
    recent = static_cast<uint32_t>(m_texts.size());
    m_textNumbers.emplace(m_texts[recent - 1], recent);
    return recent;
}

uint32_t FleetTally::Intern(const std::string& text) {
    return Intern(std::string_view(text));
}

uint32_t FleetTally::Intern(const std::optional<std::string>& text) {
    return text ? Intern(std::string_view(*text)) : 0;
}

// The numbers of the record's shared texts.
FleetTally::SharedTexts FleetTally::Intern(const ProbeRecord& record) {
    SharedTexts shared;
    shared[MachineEntry::kManufacturer] = Intern(record.manufacturer);
    shared[MachineEntry::kProduct] = Intern(record.product);
    for (size_t i = 0; i < record.stored.size(); ++i) {
        shared[MachineEntry::kStored + i] = Intern(record.stored[i]);
        shared[MachineEntry::kExpected + i] = Intern(record.expected[i]);
    }
    shared[MachineEntry::kError] = Intern(record.error);
    shared[MachineEntry::kDetection] = Intern(record.detection);
    return shared;
}

// What is not part of the record's identity: an entry's newest record replaces it.
void FleetTally::Keep(MachineEntry& entry, const SharedTexts& shared, const ProbeRecord& record) {
    entry.shared = shared;
    entry.status = record.status;
    entry.present = (entry.present & ~kTimed) | (record.updated ? kTimed : 0);
    entry.updated = record.updated.value_or(0);
    entry.read = record.read;
}

// Writes a new entry's own texts back to back into the store's last block, or a new one. The
// readers bound them far below 64 KiB each (a line, a name); a longer one would be cut there, so
// that five always fit in a block.
uint64_t FleetTally::Store(const ProbeRecord& record,
                           std::array<uint16_t, MachineEntry::kOwnTexts>& lengths) {
    static_assert(MachineEntry::kOwnTexts * size_t{UINT16_MAX} <= kStoreBlock);
    const auto part = [](const std::optional<std::string>& text) {
        return text ? std::string_view(*text) : std::string_view();
    };
    std::string_view texts[] = {record.machine, record.device, record.deviceId, part(record.serial),
                                part(record.uuid)};
    size_t total = 0;
    for (std::string_view& text : texts)
        total += (text = text.substr(0, UINT16_MAX)).size();
    if (m_store.empty() || m_storeUsed + total > kStoreBlock) {
        m_store.emplace_back(new char[kStoreBlock]); // not cleared: only what is written is read
        m_storeUsed = 0;
    }
    const uint64_t at = (m_store.size() - 1) * kStoreBlock + m_storeUsed;
    for (size_t i = 0; i < MachineEntry::kOwnTexts; ++i) {
        if (!texts[i].empty())
            std::memcpy(m_store.back().get() + m_storeUsed, texts[i].data(), texts[i].size());
        m_storeUsed += texts[i].size();
        lengths[i] = static_cast<uint16_t>(texts[i].size());
    }
    return at;
}

std::string_view FleetTally::Own(const MachineEntry& entry, MachineEntry::Own text) const {
    size_t at = entry.texts % kStoreBlock;
    for (int i = 0; i < text; ++i)
        at += entry.lengths[i];
    return {m_store[entry.texts / kStoreBlock].get() + at, entry.lengths[text]};
}

std::optional<std::string_view> FleetTally::OwnOptional(const MachineEntry& entry,
                                                        MachineEntry::Own text) const {
    const uint8_t bit = text == MachineEntry::kSerial ? kHasSerial : kHasUuid;
    if (!(entry.present & bit)) return std::nullopt;
    return Own(entry, text);
}

const std::string* FleetTally::Shared(const MachineEntry& entry, MachineEntry::Shared text) const {
    const uint32_t number = entry.shared[text];
    return number ? &m_texts[number - 1] : nullptr;
}

FleetRecord FleetTally::Record(const MachineEntry& entry) const {
    FleetRecord record;
    record.machine = Own(entry, MachineEntry::kMachine);
    record.device = Own(entry, MachineEntry::kDevice);
    record.deviceId = Own(entry, MachineEntry::kDeviceId);
    record.serial = OwnOptional(entry, MachineEntry::kSerial);
    record.uuid = OwnOptional(entry, MachineEntry::kUuid);
    // A record always has these texts, if empty: they are never null.
    record.manufacturer = Shared(entry, MachineEntry::kManufacturer);
    record.product = Shared(entry, MachineEntry::kProduct);
    record.error = Shared(entry, MachineEntry::kError);
    record.detection = Shared(entry, MachineEntry::kDetection);
    for (size_t i = 0; i < record.stored.size(); ++i) {
        record.stored[i] =
            Shared(entry, static_cast<MachineEntry::Shared>(MachineEntry::kStored + i));
        record.expected[i] =
            Shared(entry, static_cast<MachineEntry::Shared>(MachineEntry::kExpected + i));
    }
    if (entry.present & kTimed) record.updated = entry.updated;
    record.read = entry.read;
    record.status = entry.status;
    return record;
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
        m_slots[slot] = Slot(m_hashes[i], i);
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
    using E = MachineEntry;
    const auto own = [this](uint32_t i, E::Own text) { return Own(m_entries[i], text); };
    // Each key's pass reuses the memory of the one before.
    std::vector<Keyed> keyed, scratch;
    keyed.reserve(m_entries.size());
    scratch.reserve(m_entries.size());
    const auto add = [&](uint64_t hash, uint32_t i, uint32_t marks = 0) {
        keyed.push_back({hash, i, marks | (m_entries[i].records > 1 ? kRepeated : 0)});
    };
    // A key of one entry makes it strong, and joined by that key where it holds two records.
    const auto single = [&](JoinKey by) {
        return [&join, by](const Keyed& key) {
            join.strong[key.entry] = true;
            if (key.marks & kRepeated) join.joined[key.entry] |= Bit(by);
        };
    };
    for (uint32_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].lengths[E::kDeviceId] != 0) add(Hash(own(i, E::kDeviceId), true), i);
    ForEachGroup(
        keyed, scratch,
        [&](uint32_t a, uint32_t b) {
            return SameFolded(own(a, E::kDeviceId), own(b, E::kDeviceId));
        },
        [&](const std::vector<uint32_t>& group) { Unite(join, group, JoinKey::DeviceId); },
        single(JoinKey::DeviceId));

    keyed.clear();
    for (uint32_t i = 0; i < m_entries.size(); ++i)
        if (HasUuid(OwnOptional(m_entries[i], E::kUuid)))
            add(Hash(own(i, E::kUuid), true), i,
                SharedByItself(own(i, E::kUuid)) ? kSelfShared : 0);
    sharedUuids.clear();
    m_sharedMembers.clear();
    const auto uuidGroup = [&](const std::vector<uint32_t>& group) {
        const std::string why = SharedWhy(group);
        if (why.empty()) return Unite(join, group, JoinKey::Uuid);
        sharedUuids.push_back({std::string(own(group[0], E::kUuid)), why, 0});
        m_sharedMembers.push_back(group);
    };
    ForEachGroup(
        keyed, scratch,
        [&](uint32_t a, uint32_t b) { return SameFolded(own(a, E::kUuid), own(b, E::kUuid)); },
        uuidGroup,
        [&, strong = single(JoinKey::Uuid)](const Keyed& key) {
            if (key.marks & kSelfShared) return uuidGroup({key.entry});
            strong(key);
        });

    keyed.clear();
    for (uint32_t i = 0; i < m_entries.size(); ++i) {
        const MachineEntry& entry = m_entries[i];
        if (!IdentifyingSerial(OwnOptional(entry, E::kSerial))) continue;
        const uint64_t model =
            Mixed(Hash(own(i, E::kSerial), false), entry.shared[E::kManufacturer]);
        add(Mixed(model, entry.shared[E::kProduct]), i);
    }
    ForEachGroup(
        keyed, scratch,
        [&](uint32_t a, uint32_t b) {
            const MachineEntry &x = m_entries[a], &y = m_entries[b];
            return own(a, E::kSerial) == own(b, E::kSerial) &&
                   x.shared[E::kManufacturer] == y.shared[E::kManufacturer] &&
                   x.shared[E::kProduct] == y.shared[E::kProduct];
        },
        [&](const std::vector<uint32_t>& group) { Unite(join, group, JoinKey::Serial); },
        single(JoinKey::Serial));
}

// A UUID is shared where it says so itself, or where its records carry two serial numbers or
// two device ids: then it tells no machine from another.
std::string FleetTally::SharedWhy(const std::vector<uint32_t>& group) const {
    if (const char* why = SharedByItself(Own(m_entries[group[0]], MachineEntry::kUuid))) return why;
    if (group.size() == 1) return "";
    std::vector<std::string_view> serials, ids;
    for (const uint32_t i : group) {
        const MachineEntry& entry = m_entries[i];
        const std::optional<std::string_view> serial = OwnOptional(entry, MachineEntry::kSerial);
        if (IdentifyingSerial(serial)) serials.push_back(*serial);
        if (entry.lengths[MachineEntry::kDeviceId])
            ids.push_back(Own(entry, MachineEntry::kDeviceId));
    }
    const size_t serialCount = Distinct(serials, false), idCount = Distinct(ids, true);
    if (serialCount > 1) return Counted(serialCount, "serial numbers");
    if (idCount > 1) return Counted(idCount, "device ids");
    return "";
}

std::string_view FleetTally::ShownName(const MachineEntry& entry) const {
    return entry.lengths[MachineEntry::kDevice] ? Own(entry, MachineEntry::kDevice)
                                                : Own(entry, MachineEntry::kMachine);
}

// A record with no strong key joins the one device that carries its name (the device-management
// name or the probe's); where none does, or several do, the records of that name are a device.
void FleetTally::JoinNames(FleetJoin& join) {
    std::vector<Keyed> weak;
    for (uint32_t i = 0; i < m_entries.size(); ++i)
        if (!join.strong[i] && !ShownName(m_entries[i]).empty())
            weak.push_back({Hash(ShownName(m_entries[i]), true), i});
    if (weak.empty()) return;
    std::sort(weak.begin(), weak.end());
    // The strong devices' names that a weak record carries.
    struct Named {
        std::string_view name;
        uint32_t device;
    };
    // A bit for each weak name's hash spares most strong names the search.
    std::vector<bool> maybe(16 * weak.size());
    for (const Keyed& key : weak)
        maybe[key.hash % maybe.size()] = true;
    std::vector<Named> named;
    for (uint32_t i = 0; i < m_entries.size(); ++i) {
        if (!join.strong[i]) continue;
        for (const MachineEntry::Own text : {MachineEntry::kDevice, MachineEntry::kMachine}) {
            const std::string_view name = Own(m_entries[i], text);
            if (name.empty()) continue;
            const uint64_t hash = Hash(name, true);
            if (!maybe[hash % maybe.size()]) continue;
            const auto at = std::lower_bound(weak.begin(), weak.end(), Keyed{hash, 0});
            if (at != weak.end() && at->hash == hash) named.push_back({name, join.sets.Find(i)});
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
            return SameFolded(ShownName(m_entries[a]), ShownName(m_entries[b]));
        },
        [&](const std::vector<uint32_t>& group) {
            const Named name{ShownName(m_entries[group[0]]), 0};
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
            join.joined[i] =
                Bit(entry.lengths[MachineEntry::kDeviceId]             ? JoinKey::DeviceId
                    : HasUuid(OwnOptional(entry, MachineEntry::kUuid)) ? JoinKey::Uuid
                    : IdentifyingSerial(OwnOptional(entry, MachineEntry::kSerial)) ? JoinKey::Serial
                                                                                   : JoinKey::Name);
        if (ofRoot[root] == UINT32_MAX) {
            ofRoot[root] = static_cast<uint32_t>(devices.size());
            devices.push_back({entry.first, i, 0, 0, 0});
        }
        Device& device = devices[ofRoot[root]];
        device.records += static_cast<uint32_t>(entry.records);
        device.first = std::min<uint64_t>(device.first, entry.first);
        device.joined |= join.joined[i];
        if (AgeOf(entry) > AgeOf(m_entries[device.entry])) device.entry = i;
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
    std::unordered_map<uint64_t, ModelTally*> byNumbers;
    for (size_t i = 0; i < devices.size(); ++i) {
        const Device& device = devices[i];
        if (device.records > 1) {
            ++repeated;
            for (int key = 0; key < kJoinKeys; ++key)
                joinedBy[key] += (device.joined >> key) & 1;
        }
        const MachineEntry& entry = m_entries[device.entry];
        const FleetRecord record = Record(entry);
        ++statuses[static_cast<int>(record.status)];
        // Found by the numbers of its texts once, by its name the first time.
        ModelTally*& found = byNumbers[uint64_t{entry.shared[MachineEntry::kManufacturer]} << 32 |
                                       entry.shared[MachineEntry::kProduct]];
        if (!found) {
            const bool known = !record.manufacturer->empty() || !record.product->empty();
            found =
                &models[known ? *record.manufacturer + '\x1f' + *record.product : std::string()];
            if (found->machines == 0) {
                found->manufacturer = *record.manufacturer;
                found->product = *record.product;
                found->known = known;
            }
        }
        ModelTally& model = *found;
        ++model.machines;
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
