// The walk over the raw SMBIOS structure table. Every byte is checked against the table's
// length before it is read: a structure that needs a byte outside the table ends the walk.
#include "smbios/SystemIdentity.h"
#include "smbios/WalkObserver.h"

#include "trace/AnsiText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

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

enum class Marked { No, Yes, WithoutBracket };

// The characters between `marker` and the next "]" (or the end of the text) become `out`.
Marked TakeMarkedText(const char* text, const char* marker, char* out, size_t size) {
    // The character-aware search is slow; it can only find what a byte-wise search finds.
    if (std::string_view(text).find(marker) == std::string_view::npos) return Marked::No;
    const char* found = AnsiFind(text, marker);
    if (found == nullptr) return Marked::No;
    const char* begin = found + std::strlen(marker);
    const char* end = AnsiFind(found, "]");
    const Marked marked = end != nullptr ? Marked::Yes : Marked::WithoutBracket;
    if (end == nullptr) end = begin + std::strlen(begin);
    CopyRange(begin, end, out, size);
    return marked;
}

class TableWalk {
  public:
    TableWalk(const BYTE* table, int length, IdentityCandidates& candidates, WalkObserver* observer)
        : m_table(table), m_length(length > 0 ? length : 0), m_candidates(candidates),
          m_observer(observer) {}

    int Run() {
        int64_t offset = 0;
        while (offset + 1 < m_length) {
            const BYTE type = m_table[offset];
            const BYTE length = m_table[offset + 1];
            if (m_observer) m_observer->OnStructure(Int(offset), type, length, Handle(offset));
            if (!Structure(offset, type, length)) return 0;
            const int64_t next = NextStructure(offset + length);
            if (next < 0) {
                Report(WalkAnomaly::UnterminatedStructure, offset);
                break;
            }
            offset = next;
        }
        return 1;
    }

  private:
    // One string of a structure where it lies in the table, cut to the 127 characters the walk
    // uses. Most strings are only stepped over, so a string is copied only when it is used.
    struct Piece {
        const char* chars;
        size_t length;
    };

    // A string copied out of the table and terminated.
    struct Text {
        explicit Text(const Piece& piece) {
            CopyRange(piece.chars, piece.chars + piece.length, chars, sizeof chars);
        }
        char chars[kStringBufferSize];
    };

    static int Int(int64_t value) { return static_cast<int>(value); }

    bool ByteAt(int64_t position, BYTE& value) const {
        if (position < 0 || position >= m_length) return false;
        value = m_table[position];
        return true;
    }

    int Handle(int64_t offset) const {
        BYTE length = 0, low = 0, high = 0;
        if (!ByteAt(offset + 1, length) || length < 4) return -1;
        if (!ByteAt(offset + 2, low) || !ByteAt(offset + 3, high)) return -1;
        return low | high << 8;
    }

    void Report(WalkAnomaly anomaly, int64_t offset, int number = 0) const {
        if (m_observer) m_observer->OnAnomaly(anomaly, Int(offset), number);
    }

    // Ends the walk at a structure that needs a byte outside the table.
    bool Truncated(int64_t offset) const {
        Report(WalkAnomaly::TruncatedStructure, offset);
        return false;
    }

    void Candidate(ValueSource source, int64_t offset, int number, const char* text) const {
        if (m_observer) m_observer->OnCandidate(source, Int(offset), number, text);
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
        BYTE wanted = 0;
        if (!ByteAt(offset + 4, wanted)) return Truncated(offset);
        if (wanted == 0) return true;
        Piece manufacturer = {"", 0};
        int count = 0;
        const bool complete = ForEachString(offset, length, [&](int number, const Piece& piece) {
            count = number;
            if (number == wanted) manufacturer = piece;
        });
        if (!complete) return false;
        if (wanted > count) {
            Report(WalkAnomaly::StringNumberOutOfRange, offset, wanted);
            return false;
        }
        CopyRange(manufacturer.chars, manufacturer.chars + manufacturer.length,
                  m_candidates.manufacturer, sizeof m_candidates.manufacturer);
        Candidate(ValueSource::ManufacturerString, offset, wanted, m_candidates.manufacturer);
        return true;
    }

    bool OemStrings(int64_t offset, BYTE length) {
        BYTE present = 0;
        if (!ByteAt(offset + 5, present)) return Truncated(offset);
        if (present == 0) return true;
        return ForEachString(offset, length, [&](int number, const Piece& piece) {
            const Text text(piece);
            Marker(offset, number, text, "13[", ValueSource::OemRegulatoryId,
                   m_candidates.regulatory, sizeof m_candidates.regulatory);
            Marker(offset, number, text, "1[", ValueSource::OemSystemId, m_candidates.oemSystemId,
                   sizeof m_candidates.oemSystemId);
        });
    }

    void Marker(int64_t offset, int number, const Text& text, const char* marker,
                ValueSource source, char* out, size_t size) const {
        const Marked marked = TakeMarkedText(text.chars, marker, out, size);
        if (marked == Marked::No) return;
        Candidate(source, offset, number, out);
        if (marked == Marked::WithoutBracket)
            Report(WalkAnomaly::MarkerWithoutBracket, offset, number);
    }

    bool VeskSystemId(int64_t offset) {
        BYTE low = 0, high = 0;
        if (!ByteAt(offset + 8, low) || !ByteAt(offset + 9, high)) return Truncated(offset);
        std::snprintf(m_candidates.systemId208, sizeof m_candidates.systemId208, "%X%02X",
                      static_cast<unsigned>(high), static_cast<unsigned>(low));
        Candidate(ValueSource::Type208, offset, 0, m_candidates.systemId208);
        return true;
    }

    // Hands each string of the structure at `offset` to `use` as it is read, starting the test
    // on the last byte of its formatted area. False when the string area runs past the end of
    // the table; a string cut off there is not handed on.
    template <typename Use> bool ForEachString(int64_t offset, BYTE length, Use&& use) const {
        int64_t position = offset + length - 1;
        for (int number = 1;; ++number) {
            BYTE current = 0, next = 0;
            if (!ByteAt(position, current) || !ByteAt(position + 1, next)) return Truncated(offset);
            if (current == 0 && next == 0) return true;
            ++position;
            Piece piece;
            if (!ReadString(offset, number, position, piece)) return Truncated(offset);
            if (m_observer) m_observer->OnString(Int(offset), number, Text(piece).chars);
            use(number, piece);
        }
    }

    // Reads the zero-terminated string at `position`, cut to the string buffer's 127
    // characters, and leaves `position` on its zero byte.
    bool ReadString(int64_t offset, int number, int64_t& position, Piece& piece) const {
        const BYTE* begin = m_table + position;
        const void* zero = std::memchr(begin, 0, static_cast<size_t>(m_length - position));
        if (zero == nullptr) return false; // cut off by the end of the table
        const size_t length = static_cast<size_t>(static_cast<const BYTE*>(zero) - begin);
        if (length >= kStringBufferSize) Report(WalkAnomaly::OverLongString, offset, number);
        piece = {reinterpret_cast<const char*>(begin), std::min(length, kStringBufferSize - 1)};
        position += static_cast<int64_t>(length);
        return true;
    }

    // Offset of the structure after the two zero bytes found from `from` on, or -1. Testing
    // every second byte is enough to meet every pair: when byte k + 1 is not zero, neither a
    // pair at k nor one at k + 1 is possible.
    int64_t NextStructure(int64_t from) const {
        int64_t k = from;
        while (k + 1 < m_length) {
            if (m_table[k + 1] != 0)
                k += 2;
            else if (m_table[k] == 0)
                return k + 2;
            else
                ++k;
        }
        return -1;
    }

    const BYTE* m_table;
    int64_t m_length;
    IdentityCandidates& m_candidates;
    WalkObserver* m_observer;
};

} // namespace

int WalkSMBiosTable(const BYTE* table, int length, IdentityCandidates& candidates,
                    WalkObserver* observer) {
    if (table == nullptr) return 1;
    return TableWalk(table, length, candidates, observer).Run();
}
