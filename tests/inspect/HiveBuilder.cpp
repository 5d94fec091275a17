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
void Put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}

// The base block, one 4 KiB hbin with the root key (nk, at 0x20) and its security cell (sk, at
// 0x80), and the rest of the hbin as one free cell.
Bytes EmptyHive() {
    Bytes b(0x2000, 0);
    std::memcpy(&b[0], "regf", 4);
    Put32(b, 0x04, 1); // sequence numbers equal: the hive was written completely
    Put32(b, 0x08, 1);
    Put32(b, 0x14, 1); // version 1.3
    Put32(b, 0x18, 3);
    Put32(b, 0x20, 1);    // direct memory load format
    Put32(b, 0x24, 0x20); // root cell
    Put32(b, 0x28, 0x1000);
    Put32(b, 0x2C, 1);
    uint32_t sum = 0;
    for (size_t at = 0; at < 0x1FC; at += 4)
        sum ^= static_cast<uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
    Put32(b, 0x1FC, sum);
    const size_t bin = 0x1000;
    std::memcpy(&b[bin], "hbin", 4);
    Put32(b, bin + 8, 0x1000);
    const size_t nk = bin + 0x20;
    Put32(b, nk, static_cast<uint32_t>(-0x60)); // allocated cell of 0x60 bytes
    std::memcpy(&b[nk + 4], "nk", 2);
    Put16(b, nk + 6, 0x2C); // hive entry, cannot be deleted, ASCII name
    for (const size_t field : {0x1C, 0x20, 0x28, 0x30})
        Put32(b, nk + 4 + field, 0xFFFFFFFF); // no subkeys, values or class
    Put32(b, nk + 4 + 0x2C, 0x80);            // security cell
    Put16(b, nk + 4 + 0x48, 4);
    std::memcpy(&b[nk + 4 + 0x4C], "ROOT", 4);
    const size_t sk = bin + 0x80;
    Put32(b, sk, static_cast<uint32_t>(-0x30));
    std::memcpy(&b[sk + 4], "sk", 2);
    Put32(b, sk + 8, 0x80); // the only security cell: its own neighbours
    Put32(b, sk + 12, 0x80);
    Put32(b, sk + 16, 1);  // one key refers to it
    Put32(b, sk + 20, 20); // a self-relative descriptor with no owner, group or lists
    b[sk + 24] = 1;
    Put16(b, sk + 26, 0x8000);
    Put32(b, bin + 0xB0, 0x1000 - 0xB0); // free cell to the end of the hbin
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

bool WriteHive(const std::string& path, const std::vector<HiveValue>& values, std::string& error) {
    const Bytes empty = EmptyHive();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(empty.data()),
               static_cast<std::streamsize>(empty.size()));
    std::unique_ptr<hive_h, HiveClose> h(hivex_open(path.c_str(), HIVEX_OPEN_WRITE));
    bool ok = h != nullptr;
    for (const HiveValue& v : values) {
        const hive_node_h node = ok ? AddPath(h.get(), v.key) : 0;
        ok = node != 0;
        if (!ok || v.name.empty()) continue;
        hive_set_value value = {const_cast<char*>(v.name.c_str()), static_cast<hive_type>(v.type),
                                v.data.size(),
                                const_cast<char*>(reinterpret_cast<const char*>(v.data.data()))};
        ok = hivex_node_set_value(h.get(), node, &value, 0) == 0;
    }
    if (ok && hivex_commit(h.get(), nullptr, 0) == 0) return true;
    error = std::string("hivex: ") + std::strerror(errno);
    return false;
}
