// The walk over the raw SMBIOS structure table. Every byte is checked against the table's
// length before it is read: a structure that needs a byte outside the table ends the walk.
#include "smbios/SystemIdentity.h"

#include "trace/AnsiText.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr BYTE kTypeSystemInformation = 1;
constexpr BYTE kTypeOemStrings = 11;
constexpr BYTE kTypeVeskSystemId = 208;
constexpr size_t kStringBufferSize = 128; // one string of a structure, with its zero

// Copies at most size - 1 bytes of [begin, end) into `out` and terminates it.
void CopyRange(const char* begin, const char* end, char* out, size_t size) {
    size_t count = static_cast<size_t>(end - begin);
    if (count > size - 1) count = size - 1;
    std::memcpy(out, begin, count);
    out[count] = '\0';
}

// The characters between `marker` and the next "]" (or the end of the text) become `out`.
void TakeMarkedText(const char* text, const char* marker, char* out, size_t size) {
    const char* found = AnsiFind(text, marker);
    if (found == nullptr) return;
    const char* begin = found + std::strlen(marker);
    const char* end = AnsiFind(found, "]");
    if (end == nullptr) end = begin + std::strlen(begin);
    CopyRange(begin, end, out, size);
}

class TableWalk {
  public:
    TableWalk(const BYTE* table, int length, IdentityCandidates& candidates)
        : m_table(table), m_length(length > 0 ? length : 0), m_candidates(candidates) {}

    int Run() {
        int64_t offset = 0;
        while (offset + 1 < m_length) {
            const BYTE type = m_table[offset];
            const BYTE length = m_table[offset + 1];
            if (!Structure(offset, type, length)) return 0;
            offset = NextStructure(offset + length);
            if (offset < 0) break;
        }
        return 1;
    }

  private:
    bool ByteAt(int64_t position, BYTE& value) const {
        if (position < 0 || position >= m_length) return false;
        value = m_table[position];
        return true;
    }

    bool Structure(int64_t offset, BYTE type, BYTE length) {
        switch (type) {
        case kTypeSystemInformation:
            return SystemInformation(offset, length);
        case kTypeOemStrings:
            return OemStrings(offset, length);
        case kTypeVeskSystemId:
            return VeskSystemId(offset);
        default:
            return true;
        }
    }

    bool SystemInformation(int64_t offset, BYTE length) {
        BYTE number = 0;
        if (!ByteAt(offset + 4, number)) return false;
        if (number == 0) return true;
        std::vector<std::string> strings;
        if (!CollectStrings(offset, length, strings)) return false;
        if (number > strings.size()) return false; // string number out of range
        const std::string& manufacturer = strings[number - 1];
        CopyRange(manufacturer.data(), manufacturer.data() + manufacturer.size(),
                  m_candidates.manufacturer, sizeof m_candidates.manufacturer);
        return true;
    }

    bool OemStrings(int64_t offset, BYTE length) {
        BYTE present = 0;
        if (!ByteAt(offset + 5, present)) return false;
        if (present == 0) return true;
        std::vector<std::string> strings;
        const bool complete = CollectStrings(offset, length, strings);
        for (const std::string& text : strings) {
            TakeMarkedText(text.c_str(), "13[", m_candidates.regulatory,
                           sizeof m_candidates.regulatory);
            TakeMarkedText(text.c_str(), "1[", m_candidates.oemSystemId,
                           sizeof m_candidates.oemSystemId);
        }
        return complete;
    }

    bool VeskSystemId(int64_t offset) {
        BYTE low = 0, high = 0;
        if (!ByteAt(offset + 8, low) || !ByteAt(offset + 9, high)) return false;
        std::snprintf(m_candidates.systemId208, sizeof m_candidates.systemId208, "%X%02X",
                      static_cast<unsigned>(high), static_cast<unsigned>(low));
        return true;
    }

    // The strings of the structure at `offset`, starting the test on the last byte of its
    // formatted area. False when the string area runs past the end of the table.
    bool CollectStrings(int64_t offset, BYTE length, std::vector<std::string>& strings) const {
        int64_t position = offset + length - 1;
        for (;;) {
            BYTE current = 0, next = 0;
            if (!ByteAt(position, current) || !ByteAt(position + 1, next)) return false;
            if (current == 0 && next == 0) return true;
            ++position;
            std::string text;
            if (!ReadString(position, text)) return false;
            strings.push_back(std::move(text));
        }
    }

    // Reads the zero-terminated string at `position`, cut to the string buffer's 127
    // characters, and leaves `position` on its zero byte.
    bool ReadString(int64_t& position, std::string& text) const {
        const BYTE* begin = m_table + position;
        const void* zero = std::memchr(begin, 0, static_cast<size_t>(m_length - position));
        if (zero == nullptr) return false; // cut off by the end of the table
        const size_t length = static_cast<size_t>(static_cast<const BYTE*>(zero) - begin);
        text.assign(reinterpret_cast<const char*>(begin),
                    length < kStringBufferSize ? length : kStringBufferSize - 1);
        position += static_cast<int64_t>(length);
        return true;
    }

    // Offset of the structure after the two zero bytes found from `from` on, or -1.
    int64_t NextStructure(int64_t from) const {
        for (int64_t k = from; k + 1 < m_length; ++k)
            if (m_table[k] == 0 && m_table[k + 1] == 0) return k + 2;
        return -1;
    }

    const BYTE* m_table;
    int64_t m_length;
    IdentityCandidates& m_candidates;
};

} // namespace

int WalkSMBiosTable(const BYTE* table, int length, IdentityCandidates& candidates) {
    if (table == nullptr) return 1;
    return TableWalk(table, length, candidates).Run();
}
