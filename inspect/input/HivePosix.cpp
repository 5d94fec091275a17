// Hives read with hivex. hivex checks the blocks and cells as it reads them; a damaged hive is
// an error from it, never a read outside the file. The base block is looked at first: a dirty
// hive is recovered from its logs (HiveLog) into a file that lives in memory only and never
// appears in a folder, which hivex opens through /proc; the hive and its logs are only read. A
// clean hive is opened as it is, and the commonest damage, a file cut short, is named as such.
#include "input/Hive.h"

#include "input/TextDecoding.h"
#include "platform/Platform.h"

#include <hivex.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kMaxValue = 64u << 20; // far beyond any table VeskInfo walks
constexpr size_t kMaxLog = 1u << 30;    // a log is read whole; real ones are a few MiB
constexpr int kRegExpandSz = 2;
constexpr int kRegBinary = 3;
constexpr int kRegMultiSz = 7;

struct HiveClose {
    void operator()(hive_h* h) const { hivex_close(h); }
};
using Hive = std::unique_ptr<hive_h, HiveClose>;

struct FreeData {
    void operator()(void* p) const { std::free(p); }
};

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}

// Opened for reading without touching the file's access time where the system lets us.
int OpenQuietly(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
    return fd >= 0 || errno != EPERM ? fd : open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

// Up to `size` bytes from `offset`; the count read, or -1.
ssize_t ReadAt(int fd, unsigned char* into, size_t size, off_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t count =
            pread(fd, into + done, size - done, offset + static_cast<off_t>(done));
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return -1;
        if (count == 0) break;
        done += static_cast<size_t>(count);
    }
    return static_cast<ssize_t>(done);
}

bool WriteAt(int fd, const unsigned char* from, size_t size, uint64_t offset) {
    for (size_t done = 0; done < size;) {
        const ssize_t count =
            pwrite(fd, from + done, size - done, static_cast<off_t>(offset + done));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        done += static_cast<size_t>(count);
    }
    return true;
}

HiveLog ReadLog(const std::string& path) {
    HiveLog log;
    log.name = path.substr(path.find_last_of('/') + 1);
    const Descriptor file{OpenQuietly(path)};
    struct stat status = {};
    if (file.fd < 0 || fstat(file.fd, &status) != 0) {
        log.error = std::string("cannot read: ") + std::strerror(errno);
    } else if (static_cast<uint64_t>(status.st_size) > kMaxLog) {
        log.error = "larger than 1 GiB: not read";
    } else {
        log.bytes.resize(static_cast<size_t>(status.st_size));
        const ssize_t got = ReadAt(file.fd, log.bytes.data(), log.bytes.size(), 0);
        if (got < 0) log.error = std::string("cannot read: ") + std::strerror(errno);
        log.bytes.resize(got < 0 ? 0 : static_cast<size_t>(got));
    }
    return log;
}

// The file's bytes, then the recovery's writes, in a file in memory; hivex opens it by the name
// /proc gives its descriptor. The descriptor goes with `memory`, the image with hivex's own.
bool WriteImage(int file, uint64_t fileSize, const HiveRecovery& recovery, Descriptor& memory,
                std::string& error) {
    memory.fd = memfd_create("recovered-hive", MFD_CLOEXEC);
    bool ok = memory.fd >= 0;
    off_t offset = 0;
    while (ok && static_cast<uint64_t>(offset) < fileSize) {
        const ssize_t count = sendfile(memory.fd, file, &offset, fileSize - offset);
        ok = count > 0 || (count < 0 && errno == EINTR);
    }
    ok = ok && ftruncate(memory.fd, static_cast<off_t>(recovery.size)) == 0;
    for (const HiveWrite& write : recovery.writes)
        ok = ok && WriteAt(memory.fd, write.data, write.size, write.offset);
    ok = ok && (!recovery.baseChanged || WriteAt(memory.fd, recovery.base, kLogBaseBlock, 0));
    if (!ok)
        error = std::string("cannot hold the recovered registry hive in memory: ") +
                std::strerror(errno);
    return ok;
}

// A hive as it is: the signature, and a file as long as the hive data it names.
bool CheckAsItIs(const unsigned char* head, size_t got, uint64_t size, std::string& error) {
    if (got < 4 || std::memcmp(head, "regf", 4) != 0)
        error = "not a registry hive (no \"regf\" signature)";
    else if (got < kHiveBaseBlock || size < kHiveBaseBlock)
        error = "truncated registry hive: shorter than its 4 KiB base block";
    else if (kHiveBaseBlock + Le32(head + 0x28) > size)
        error = "truncated registry hive: its base block names " +
                std::to_string(Le32(head + 0x28)) + " bytes of hive data, the file holds " +
                std::to_string(size - kHiveBaseBlock);
    return error.empty();
}

// hivex says what it met only on its debug output; errno tells a refused file from a bad cell.
std::string Damaged(const std::string& where) {
    if (errno == ENOMEM) return "out of memory reading the registry hive";
    return "damaged registry hive: a corrupt cell where " + where + " is read";
}

// Opens the hive read-only (hivex writes only when asked to), recovered from its logs where it
// is dirty.
bool Open(const std::string& path, Hive& hive, hive_node_h& root, HiveRecovery& recovery,
          std::string& error) {
    error.clear(); // the readers below go on while it stays empty
    const Descriptor file{OpenQuietly(path)};
    struct stat status = {};
    if (file.fd < 0 || fstat(file.fd, &status) != 0) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    unsigned char head[kHiveBaseBlock];
    const ssize_t read = ReadAt(file.fd, head, sizeof head, 0);
    const size_t got = read < 0 ? 0 : static_cast<size_t>(read);
    const uint64_t size = static_cast<uint64_t>(status.st_size);
    std::vector<HiveLog> logs;
    if (HiveIsDirty(head, got))
        for (const std::string& log : FindHiveLogs(path))
            logs.push_back(ReadLog(log));
    const std::string name = path.substr(path.find_last_of('/') + 1);
    recovery = RecoverHive(name, head, got, size, logs);
    if (recovery.state != HiveState::Recovered && !CheckAsItIs(head, got, size, error))
        return false;
    Descriptor memory{-1};
    if (recovery.Rewritten() && !WriteImage(file.fd, size, recovery, memory, error)) return false;
    recovery.writes.clear(); // they point into the logs, which go now
    errno = 0;
    const std::string opened = memory.fd >= 0 ? "/proc/self/fd/" + std::to_string(memory.fd) : path;
    hive.reset(hivex_open(opened.c_str(), 0));
    if (hive == nullptr) {
        error = errno == ENOMEM ? Damaged("")
                                : std::string("damaged registry hive: refused by hivex (") +
                                      std::strerror(errno ? errno : EINVAL) + ")";
        if (recovery.state == HiveState::Recovered) error += " as " + HiveRecoveryText(recovery);
        return false;
    }
    errno = 0;
    root = hivex_root(hive.get());
    if (root == 0) error = Damaged("the root key");
    return root != 0;
}

// The child `name` of `node`, 0 where there is none; false where the hive is damaged there.
bool Child(hive_h* h, hive_node_h node, const char* name, hive_node_h& child, std::string& error) {
    errno = 0;
    child = node != 0 ? hivex_node_get_child(h, node, name) : 0;
    if (child == 0 && errno != 0) error = Damaged(std::string("key ") + name);
    return error.empty();
}

bool Path(hive_h* h, hive_node_h node, std::initializer_list<const char*> names, hive_node_h& found,
          std::string& error) {
    found = node;
    for (const char* name : names)
        if (!Child(h, found, name, found, error)) return false;
    return true;
}

struct HiveData {
    bool present = false;
    int type = 0;
    std::vector<unsigned char> bytes;
};

// The value `name` of `node`: absent where the key has none; false where the hive is damaged.
bool Value(hive_h* h, hive_node_h node, const char* name, HiveData& data, std::string& error) {
    errno = 0;
    const hive_value_h value = node != 0 ? hivex_node_get_value(h, node, name) : 0;
    if (value == 0) {
        if (errno != 0) error = Damaged(std::string("value ") + name);
        return error.empty();
    }
    // The type is any 32-bit number the hive holds, most of them no hive_type: it is read as
    // the number, never as the enumeration.
    static_assert(sizeof(hive_type) == sizeof(uint32_t), "hivex writes the type as 32 bits");
    uint32_t type = 0;
    size_t length = 0;
    errno = 0;
    // The length first: a value longer than any VeskInfo writes is refused before it is read.
    if (hivex_value_type(h, value, reinterpret_cast<hive_type*>(&type), &length) != 0) {
        error = Damaged(std::string("data of ") + name);
        return false;
    }
    if (length > kMaxValue) {
        error = std::string("value ") + name + " holds " + std::to_string(length) +
                " bytes: more than the " + std::to_string(kMaxValue) + " read";
        return false;
    }
    errno = 0;
    const std::unique_ptr<char, FreeData> bytes(
        hivex_value_value(h, value, reinterpret_cast<hive_type*>(&type), &length));
    if (bytes == nullptr || length > kMaxValue) {
        error = Damaged(std::string("data of ") + name);
        return false;
    }
    data.present = true;
    data.type = static_cast<int>(type);
    data.bytes.assign(bytes.get(), bytes.get() + length);
    return true;
}

// A text value (REG_SZ or REG_EXPAND_SZ) as UTF-8; absent for any other type.
std::optional<std::string> Text(const HiveData& data) {
    if (!data.present || (data.type != kRegSz && data.type != kRegExpandSz)) return std::nullopt;
    return Utf16ToUtf8(data.bytes.data(), data.bytes.size());
}

// A REG_MULTI_SZ's strings, up to the empty one that ends the list (or the end of the data).
std::vector<std::string> Strings(const HiveData& data) {
    std::vector<std::string> strings;
    if (!data.present || data.type != kRegMultiSz) return strings;
    const std::vector<unsigned char>& b = data.bytes;
    size_t start = 0, at = 0;
    for (; at + 1 < b.size(); at += 2) {
        if ((b[at] | b[at + 1]) != 0) continue;
        if (at == start) return strings;
        strings.push_back(Utf16ToUtf8(b.data() + start, at - start));
        start = at + 2;
    }
    if (at > start) strings.push_back(Utf16ToUtf8(b.data() + start, at - start));
    return strings;
}

// The current control set (Select\Current names it: 1 is ControlSet001).
bool ControlSet(hive_h* h, hive_node_h root, hive_node_h& set, std::string& name,
                std::string& error) {
    hive_node_h select = 0;
    HiveData current;
    if (!Child(h, root, "Select", select, error) || !Value(h, select, "Current", current, error))
        return false;
    if (select == 0 || !current.present || current.type != kRegDword || current.bytes.size() != 4) {
        error = "no Select\\Current value (a DWORD naming the current control set)";
        return false;
    }
    const uint32_t number = Le32(current.bytes.data());
    char text[32];
    std::snprintf(text, sizeof text, "ControlSet%03u", number);
    name = text;
    if (!Child(h, root, text, set, error)) return false;
    if (set == 0) error = "no " + name + " key, the control set Select\\Current names";
    return set != 0;
}

// One board's subkey of HardwareConfig.
bool ReadBoard(hive_h* h, hive_node_h node, HardwareBoard& board, std::string& error) {
    errno = 0;
    const std::unique_ptr<char, FreeData> name(hivex_node_name(h, node));
    if (name == nullptr) {
        error = Damaged("a HardwareConfig subkey's name");
        return false;
    }
    board.name = name.get();
    board.hasUuid = ParseGuid(board.name, board.uuid);
    for (int i = 0; i < kBoardTexts; ++i) {
        HiveData data;
        if (!Value(h, node, BoardTextName(static_cast<BoardText>(i)), data, error)) return false;
        board.texts[i] = Text(data);
    }
    HiveData versions, lastUse;
    if (!Value(h, node, "SystemBiosVersion", versions, error) ||
        !Value(h, node, "LastUse", lastUse, error))
        return false;
    board.systemBiosVersion = Strings(versions);
    if (lastUse.present && lastUse.bytes.size() == 8)
        board.lastUse = Le32(lastUse.bytes.data()) |
                        static_cast<uint64_t>(Le32(lastUse.bytes.data() + 4)) << 32;
    return true;
}

// SYSTEM\HardwareConfig: LastConfig and every board's subkey.
bool ReadHardwareConfig(hive_h* h, hive_node_h root, HardwareConfig& config, std::string& error) {
    hive_node_h key = 0;
    HiveData last;
    if (!Child(h, root, "HardwareConfig", key, error) || key == 0) return error.empty();
    config.present = true;
    if (!Value(h, key, "LastConfig", last, error)) return false;
    config.lastConfig = Text(last);
    errno = 0;
    const std::unique_ptr<hive_node_h, FreeData> children(hivex_node_children(h, key));
    if (children == nullptr) {
        error = Damaged("the subkeys of HardwareConfig");
        return false;
    }
    for (const hive_node_h* child = children.get(); *child != 0; ++child) {
        config.boards.emplace_back();
        if (!ReadBoard(h, *child, config.boards.back(), error)) return false;
    }
    return true;
}

// The registry copy of the table in the current control set, where there is one.
bool ReadRegistryCopy(hive_h* h, hive_node_h set, const std::string& setName, SystemHive& system,
                      std::string& error) {
    hive_node_h data = 0;
    HiveData value;
    if (!Path(h, set, {"Services", "mssmbios", "Data"}, data, error) ||
        !Value(h, data, "SMBiosData", value, error))
        return false;
    const std::string where = setName + "\\Services\\mssmbios\\Data";
    if (data == 0 || !value.present) {
        system.tableProblem = "no \"SMBiosData\" value in " + where +
                              ": Windows makes that key anew at each start and never writes it "
                              "to the hive file, so the table of the last start is not on the "
                              "disk (the boards it started on are in HardwareConfig)";
    } else if (value.type != kRegBinary || value.bytes.empty()) {
        system.tableProblem =
            "\"SMBiosData\" in " + where + " is " +
            (value.bytes.empty() ? std::string("empty")
                                 : "of registry type " + std::to_string(value.type) +
                                       ", not binary (REG_BINARY, type 3)") +
            ": no table to walk";
    } else {
        system.hasTable = true;
        system.table.read = true;
        system.table.format = InputFormat::Hive;
        system.table.bytes = std::move(value.bytes);
        RecogniseRegistryValue(system.table);
        system.table.notes.push_back("the registry copy Windows kept at its last start (" + where +
                                     ", \"SMBiosData\")");
    }
    return true;
}

const char kVeskKey[] = "Vesk Computer Corporation";

} // namespace

bool ReadHiveStoredValues(const std::string& path, const CodePage& codePage, StoredValues& stored,
                          bool& only64, HiveRecovery& recovery, std::string& error) {
    Hive hive;
    hive_node_h root = 0, microsoft = 0, wow = 0, select = 0, key = 0;
    if (!Open(path, hive, root, recovery, error)) return false;
    hive_h* h = hive.get();
    if (!Child(h, root, "Microsoft", microsoft, error) ||
        !Child(h, root, "WOW6432Node", wow, error) || !Child(h, root, "Select", select, error))
        return false;
    if (microsoft == 0 && wow == 0) {
        error = select != 0 ? "a SYSTEM hive, not the SOFTWARE hive that holds the stored values"
                            : "not a SOFTWARE hive (its root has no Microsoft key)";
        return false;
    }
    // On 64-bit Windows a 32-bit program's key lands under WOW6432Node.
    if (!Path(h, wow, {kVeskKey, "SysInfo"}, key, error)) return false;
    stored.key = std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\") + (wow != 0 ? "WOW6432Node\\" : "") +
                 kVeskKey + "\\SysInfo";
    only64 = false;
    if (key == 0) {
        if (!Path(h, root, {kVeskKey, "SysInfo"}, key, error)) return false;
        only64 = wow != 0 && key != 0;
        if (only64)
            stored.key = std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\") + kVeskKey + "\\SysInfo";
    }
    for (const IdentityField field :
         {IdentityField::Manufacturer, IdentityField::SystemId, IdentityField::RegulatoryId}) {
        HiveData data;
        if (!Value(h, key, StoredValueName(field), data, error)) return false;
        if (data.present)
            ReadUtf16Value(data.type, data.bytes, codePage, stored.values[static_cast<int>(field)]);
    }
    return true;
}

bool ReadSystemHive(const std::string& path, SystemHive& system, std::string& error) {
    system.table.name = path;
    Hive hive;
    hive_node_h root = 0, select = 0, microsoft = 0, set = 0, name = 0;
    std::string setName;
    if (!Open(path, hive, root, system.recovery, error)) return false;
    hive_h* h = hive.get();
    if (!Child(h, root, "Select", select, error) || !Child(h, root, "Microsoft", microsoft, error))
        return false;
    if (select == 0) {
        error = microsoft != 0 ? "a SOFTWARE hive, not the SYSTEM hive that holds the registry "
                                 "copy of the table and the boards"
                               : "not a SYSTEM hive (its root has no Select key)";
        return false;
    }
    HiveData computer;
    if (!ControlSet(h, root, set, setName, error) ||
        !Path(h, set, {"Control", "ComputerName", "ComputerName"}, name, error) ||
        !Value(h, name, "ComputerName", computer, error) ||
        !ReadHardwareConfig(h, root, system.hardware, error))
        return false;
    system.computerName = Text(computer).value_or("");
    return ReadRegistryCopy(h, set, setName, system, error);
}

bool ReadHiveTable(const std::string& path, TableInput& input, std::string& error) {
    SystemHive system;
    if (!ReadSystemHive(path, system, error)) return false;
    if (!system.hasTable) {
        error = system.tableProblem;
        return false;
    }
    input = std::move(system.table);
    if (system.recovery.state != HiveState::Clean)
        input.notes.push_back("the hive: " + HiveRecoveryText(system.recovery));
    return true;
}
