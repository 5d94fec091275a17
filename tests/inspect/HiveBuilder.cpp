#include "HiveBuilder.h"

#include <hivex.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>

namespace {

using Bytes = std::vector<unsigned char>;

void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// The minimal hive as (offset, 32-bit word): the base block, then one hbin at 0x1000 holding the
// root key's nk cell (0x1020) and its sk cell (0x1080), the rest of the hbin one free cell.
// clang-format off
const std::pair<size_t, uint32_t> kEmptyHive[] = {
    {0x0000, 0x66676572}, {0x0004, 1}, {0x0008, 1},    // "regf", sequence numbers equal
    {0x0014, 1}, {0x0018, 3}, {0x0020, 1},              // version 1.3, direct memory load
    {0x0024, 0x20}, {0x0028, 0x1000}, {0x002C, 1},      // root cell, hive data size
    {0x1000, 0x6E696268}, {0x1008, 0x1000},             // "hbin", its size
    {0x1020, 0xFFFFFFA0}, {0x1024, 0x002C6B6E},         // a used cell: "nk", root, ASCII name
    {0x1040, 0xFFFFFFFF}, {0x1044, 0xFFFFFFFF},         // no subkeys
    {0x104C, 0xFFFFFFFF}, {0x1054, 0xFFFFFFFF},         // no values, no class
    {0x1050, 0x80}, {0x106C, 4}, {0x1070, 0x544F4F52},  // its sk cell, its name "ROOT"
    {0x1080, 0xFFFFFFD0}, {0x1084, 0x6B73},             // a used cell: "sk"
    {0x1088, 0x80}, {0x108C, 0x80}, {0x1090, 1},        // its own neighbours, one key uses it
    {0x1094, 20}, {0x1098, 0x80000001},                 // an empty self-relative descriptor
    {0x10B0, 0x1000 - 0xB0},                            // a free cell to the end of the hbin
};
// clang-format on

Bytes EmptyHive() {
    Bytes b(0x2000, 0);
    for (const auto& [at, word] : kEmptyHive)
        Put32(b, at, word);
    uint32_t sum = 0; // the base block's checksum: the XOR of its first 127 words
    for (size_t at = 0; at < 0x1FC; at += 4)
        sum ^= static_cast<uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
    Put32(b, 0x1FC, sum);
    return b;
}

struct HiveClose {
    void operator()(hive_h* h) const { hivex_close(h); }
};

hive_node_h AddPath(hive_h* h, const std::string& path) {
    hive_node_h node = hivex_root(h);
    size_t start = 0;
    while (node != 0 && start < path.size()) {
        const size_t end = std::min(path.find('\\', start), path.size());
        const std::string part = path.substr(start, end - start);
        const hive_node_h child = hivex_node_get_child(h, node, part.c_str());
        node = child != 0 ? child : hivex_node_add_child(h, node, part.c_str());
        start = end + 1;
    }
    return node;
}

} // namespace

Bytes Utf16Data(const std::u16string& text, bool terminator) {
    Bytes data;
    for (const char16_t unit : text) {
        data.push_back(static_cast<unsigned char>(unit & 0xFF));
        data.push_back(static_cast<unsigned char>(unit >> 8));
    }
    if (terminator) data.insert(data.end(), 2, 0);
    return data;
}

Bytes FileTimeData(uint64_t filetime) {
    Bytes data(8);
    for (int i = 0; i < 8; ++i)
        data[static_cast<size_t>(i)] = static_cast<unsigned char>(filetime >> (8 * i));
    return data;
}

bool WriteHive(const std::string& path, const std::vector<HiveValue>& values, std::string& error) {
    const Bytes empty = EmptyHive();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(empty.data()),
               static_cast<std::streamsize>(empty.size()));
    return AddToHive(path, values, error);
}

bool AddToHive(const std::string& path, const std::vector<HiveValue>& values, std::string& error) {
    std::unique_ptr<hive_h, HiveClose> h(hivex_open(path.c_str(), HIVEX_OPEN_WRITE));
    bool ok = h != nullptr;
    for (const HiveValue& v : values) {
        const hive_node_h node = ok ? AddPath(h.get(), v.key) : 0;
        ok = node != 0;
        if (!ok || v.name.empty()) continue;
        hive_set_value value = {const_cast<char*>(v.name.c_str()), hive_t_REG_NONE, v.data.size(),
                                const_cast<char*>(reinterpret_cast<const char*>(v.data.data()))};
        std::memcpy(&value.t, &v.type, sizeof value.t); // any number, as a hive may hold

        ok = hivex_node_set_value(h.get(), node, &value, 0) == 0;
    }
    if (ok && hivex_commit(h.get(), nullptr, 0) == 0) return true;
    error = std::string("hivex: ") + std::strerror(errno);
    return false;
}
