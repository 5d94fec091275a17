// Hives read with hivex. hivex checks the blocks and cells as it reads them; a damaged hive is
// an error from it, never a read outside the file. The base block is looked at first so that
// the commonest damage, a file cut short, is named as such.
#include "input/Hive.h"

#include <hivex.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kBaseBlock = 4096;
constexpr size_t kMaxValue = 64u << 20; // far beyond any table VeskInfo walks
constexpr int kRegBinary = 3;

struct HiveClose {
    void operator()(hive_h* h) const { hivex_close(h); }
};
using Hive = std::unique_ptr<hive_h, HiveClose>;

struct FreeData {
    void operator()(char* p) const { std::free(p); }
};

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}

// The base block: the signature, and a file as long as the hive data it names.
bool CheckBaseBlock(const std::string& path, std::string& error) {
    const Descriptor file{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    unsigned char block[kBaseBlock];
    const ssize_t got = read(file.fd, block, sizeof block);
    struct stat status = {};
    const bool sized = fstat(file.fd, &status) == 0;
    const size_t size = sized ? static_cast<size_t>(status.st_size) : 0;
    if (got < 4 || !IsHiveSignature(block, 4))
        error = "not a registry hive (no \"regf\" signature)";
    else if (got < static_cast<ssize_t>(kBaseBlock) || size < kBaseBlock)
        error = "truncated registry hive: shorter than its 4 KiB base block";
    else if (kBaseBlock + Le32(block + 0x28) > size)
        error = "truncated registry hive: its base block names " +
                std::to_string(Le32(block + 0x28)) + " bytes of hive data, the file holds " +
                std::to_string(size - kBaseBlock);
    return error.empty();
}

// hivex says what it met only on its debug output; errno tells a refused file from a bad cell.
std::string Damaged(const std::string& where) {
    if (errno == ENOMEM) return "out of memory reading the registry hive";
    return "damaged registry hive: a corrupt cell where " + where + " is read";
}

// Opens the hive read-only (hivex writes only when asked to).
bool Open(const std::string& path, Hive& hive, hive_node_h& root, std::string& error) {
    error.clear(); // the readers below go on while it stays empty
    if (!CheckBaseBlock(path, error)) return false;
    errno = 0;
    hive.reset(hivex_open(path.c_str(), 0));
    if (hive == nullptr) {
        error = errno == ENOMEM ? Damaged("")
                                : std::string("damaged registry hive: refused by hivex (") +
                                      std::strerror(errno ? errno : EINVAL) + ")";
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

std::string Utf16ToUtf8(const std::vector<unsigned char>& data) {
    std::string out;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        uint32_t c = data[i] | data[i + 1] << 8;
        if (c == 0) break;
        const uint32_t low = i + 3 < data.size() ? (data[i + 2] | data[i + 3] << 8) : 0;
        if (c >= 0xD800 && c < 0xDC00 && low >= 0xDC00 && low < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD; // a lone surrogate
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        }
        if (c >= 0x80) out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

const char kVeskKey[] = "Vesk Computer Corporation";

} // namespace

bool ReadHiveStoredValues(const std::string& path, const CodePage& codePage, StoredValues& stored,
                          bool& only64, std::string& error) {
    Hive hive;
    hive_node_h root = 0, microsoft = 0, wow = 0, select = 0, key = 0;
    if (!Open(path, hive, root, error)) return false;
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

bool ReadHiveTable(const std::string& path, TableInput& input, std::string& error) {
    input.name = path;
    Hive hive;
    hive_node_h root = 0, set = 0, data = 0;
    std::string setName;
    if (!Open(path, hive, root, error)) return false;
    hive_h* h = hive.get();
    hive_node_h microsoft = 0;
    if (!Child(h, root, "Select", set, error) || !Child(h, root, "Microsoft", microsoft, error))
        return false;
    if (set == 0) {
        error = microsoft != 0 ? "a SOFTWARE hive, not the SYSTEM hive that holds the registry "
                                 "copy of the table"
                               : "not a SYSTEM hive (its root has no Select key)";
        return false;
    }
    HiveData value;
    if (!ControlSet(h, root, set, setName, error) ||
        !Path(h, set, {"Services", "mssmbios", "Data"}, data, error) ||
        !Value(h, data, "SMBiosData", value, error))
        return false;
    const std::string where = setName + "\\Services\\mssmbios\\Data";
    if (data == 0 || !value.present) {
        error = "no \"SMBiosData\" value in " + where +
                ": Windows kept no registry copy of the "
                "SMBIOS table";
        return false;
    }
    if (value.type != kRegBinary || value.bytes.empty()) {
        error = "\"SMBiosData\" in " + where + " is " +
                (value.bytes.empty() ? std::string("empty")
                                     : "of registry type " + std::to_string(value.type) +
                                           ", not binary (REG_BINARY, type 3)") +
                ": no table to walk";
        return false;
    }
    input.read = true;
    input.format = InputFormat::Hive;
    input.bytes = std::move(value.bytes);
    RecogniseRegistryValue(input);
    input.notes.push_back("the registry copy Windows kept at its last start (" + where +
                          ", \"SMBiosData\")");
    return true;
}

std::string ReadHiveComputerName(const std::string& path) {
    Hive hive;
    hive_node_h root = 0, set = 0, key = 0;
    std::string setName, error;
    HiveData name;
    if (!Open(path, hive, root, error) || !ControlSet(hive.get(), root, set, setName, error) ||
        !Path(hive.get(), set, {"Control", "ComputerName", "ComputerName"}, key, error) ||
        !Value(hive.get(), key, "ComputerName", name, error) || name.type != kRegSz)
        return "";
    return Utf16ToUtf8(name.bytes);
}
