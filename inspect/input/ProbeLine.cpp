#include "input/ProbeLine.h"

#include <nlohmann/json.hpp>
#ifdef VESK_SIMDJSON
#include <simdjson.h>
#endif

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

using Json = nlohmann::json;

constexpr std::array<std::string_view, 4> kModelNames = {"manufacturer", "product", "family",
                                                         "sku"};

// A status a probe line may carry. `no-output` is the report's own word for a device that sent
// no line, never a line's.
std::optional<ProbeStatus> LineStatus(std::string_view name) {
    for (int i = 0; i < kProbeStatuses; ++i) {
        const auto status = static_cast<ProbeStatus>(i);
        if (name == ProbeStatusName(status) && status != ProbeStatus::NoOutput) return status;
    }
    return std::nullopt;
}

// Reads a line as a stream of parser events, into the record's members, without building the
// JSON's tree: a report reads a hundred thousand lines. Members it does not know are skipped,
// at any depth; a known member of the wrong type refuses the line.
class ProbeReader {
  public:
    ProbeReader(ProbeRecord& record, size_t length) : m_record(record), m_length(length) {}

    bool IsObject() const { return m_object; }

    bool Finish(std::string& reason) {
        if (!m_reason.empty()) {
            reason = m_reason;
            return false;
        }
        if (!m_version) {
            reason = "not a probe line";
            return false;
        }
        if (*m_version != 1) {
            reason = "probe schema " + std::to_string(*m_version) + " is not known";
            return false;
        }
        m_record.machine = m_machine.value_or("");
        m_record.error = m_error.value_or("");
        m_record.manufacturer = m_model[0].value_or("");
        m_record.product = m_model[1].value_or("");
        const std::optional<ProbeStatus> status = m_status ? LineStatus(*m_status) : std::nullopt;
        if (status) {
            m_record.status = *status;
            return true;
        }
        reason = m_status ? "unknown status" : "no status";
        return false;
    }

    // The parser's events.
    bool null() { return Value(Kind::Null); }
    bool boolean(bool) { return Value(Kind::Other); }
    bool number_integer(Json::number_integer_t value) { return Number(value); }
    bool number_unsigned(Json::number_unsigned_t value) {
        return Number(static_cast<long long>(std::min<Json::number_unsigned_t>(value, 1000)));
    }
    bool number_float(Json::number_float_t, const std::string&) { return Value(Kind::Other); }
    bool binary(Json::binary_t&) { return Value(Kind::Other); }
    bool string(std::string& text) {
        if (m_slot == Slot::Text) *m_text = std::move(text);
        return Value(Kind::Text);
    }
    bool start_object(size_t) {
        if (m_depth == 0) m_object = true;
        if (m_slot == Slot::Parent) m_parent = m_pending;
        const bool ok = Value(Kind::Object);
        ++m_depth;
        return ok;
    }
    bool end_object() {
        if (--m_depth == 1) m_parent = Parent::None;
        return true;
    }
    bool start_array(size_t) {
        const bool ok = Value(Kind::Other);
        ++m_depth;
        return ok;
    }
    bool end_array() {
        --m_depth;
        return true;
    }
    bool key(std::string& name) {
        m_slot = Slot::Ignored;
        if (m_depth == 1)
            TopKey(name);
        else if (m_depth == 2 && m_parent != Parent::None)
            InnerKey(name);
        return Once();
    }
    // A line that ends inside a value or an object was cut on its way (by a length limit).
    bool parse_error(size_t position, const std::string&, const nlohmann::detail::exception&) {
        m_reason = position > m_length ? "cut short" : "not a probe line";
        return false;
    }

  private:
    enum class Slot { Ignored, Version, Text, Parent };
    enum class Parent { None, Stored, Expected, Model, Unit };
    enum class Kind { Null, Text, Object, Other };

    void TopKey(const std::string& name) {
        m_name = name;
        std::optional<std::string>* texts[] = {&m_machine, &m_status, &m_unused, &m_error,
                                               &m_record.time};
        const char* textNames[] = {"machine", "status", "source", "error", "time"};
        for (size_t i = 0; i < 5; ++i)
            if (name == textNames[i]) Expect(Slot::Text, texts[i], i);
        if (name == "probe") Expect(Slot::Version, nullptr, 5);
        const Parent parents[] = {Parent::Stored, Parent::Expected, Parent::Model, Parent::Unit};
        const char* parentNames[] = {"stored", "expected", "model", "unit"};
        for (size_t i = 0; i < 4; ++i)
            if (name == parentNames[i]) {
                Expect(Slot::Parent, nullptr, 6 + i);
                m_pending = parents[i];
            }
    }

    void InnerKey(const std::string& name) {
        const char* parentNames[] = {"", "stored.", "expected.", "model.", "unit."};
        const size_t parent = static_cast<size_t>(m_parent);
        m_name = parentNames[parent] + name;
        const size_t bit = 10 + 4 * parent; // four bits a parent
        if (m_parent == Parent::Model) {
            for (size_t i = 0; i < kModelNames.size(); ++i)
                if (name == kModelNames[i]) Expect(Slot::Text, &m_model[i], bit + i);
            return;
        }
        if (m_parent == Parent::Unit) {
            if (name == "serial") Expect(Slot::Text, &m_record.serial, bit);
            if (name == "uuid") Expect(Slot::Text, &m_record.uuid, bit + 1);
            return;
        }
        ProbeValues& values = m_parent == Parent::Stored ? m_record.stored : m_record.expected;
        for (size_t i = 0; i < values.size(); ++i)
            if (name == kProbeValueNames[i]) Expect(Slot::Text, &values[i], bit + i);
    }

    void Expect(Slot slot, std::optional<std::string>* text, size_t bit) {
        m_slot = slot;
        m_text = text;
        m_bit = bit;
    }

    // A member the line is read by, given twice, would leave it to chance which one counts.
    bool Once() {
        if (m_slot == Slot::Ignored) return true;
        const unsigned long long bit = 1ull << m_bit;
        if (m_seen & bit) m_reason = m_name + " is given twice";
        m_seen |= bit;
        return m_reason.empty();
    }

    bool Number(long long value) {
        if (m_slot == Slot::Version) m_version = value;
        return Value(m_slot == Slot::Version ? Kind::Null : Kind::Other);
    }

    // A value for the member just named: refuses the line when it has the wrong type.
    bool Value(Kind kind) {
        const Slot slot = m_slot;
        m_slot = Slot::Ignored;
        if (kind == Kind::Null || slot == Slot::Ignored) return true;
        if (slot == Slot::Text && kind != Kind::Text) m_reason = m_name + " is not a text";
        if (slot == Slot::Parent && kind != Kind::Object) m_reason = m_name + " is not an object";
        if (slot == Slot::Version) m_reason = "not a probe line";
        return m_reason.empty();
    }

    ProbeRecord& m_record;
    size_t m_length;
    unsigned long long m_seen = 0; // the members read, by bit
    size_t m_bit = 0;
    int m_depth = 0;
    bool m_object = false;
    Slot m_slot = Slot::Ignored;
    Parent m_parent = Parent::None;
    Parent m_pending = Parent::None;
    std::optional<std::string>* m_text = nullptr;
    std::string m_name;
    std::optional<long long> m_version;
    std::optional<std::string> m_machine, m_status, m_error;
    std::optional<std::string> m_unused;               // read for its type, not kept: "source"
    std::array<std::optional<std::string>, 4> m_model; // family and sku: read, not kept
    std::string m_reason;
};

} // namespace

#ifdef VESK_SIMDJSON
namespace {

// The fast path for the lines of a fleet, nearly all of them plainly probe lines of schema 1: the
// line is parsed whole, and strictly, into a document, and its members are taken from there. It
// takes only a line the reference reader reads without complaint; any other (not JSON, a member
// of the wrong type or given twice, another schema or status, past the parser's own limits) is
// left to the reference reader, which says why. So both give the same record for every line.
class FastReader {
  public:
    FastReader() : m_buffer(new char[kProbeLineReadLimit + simdjson::SIMDJSON_PADDING]) {}

    // Fills `record` in place, so that its texts keep their buffers from line to line.
    bool Read(std::string_view line, ProbeRecord& record) {
        if (line.size() > kProbeLineReadLimit) return false;
        std::memcpy(m_buffer.get(), line.data(), line.size());
        simdjson::dom::object top;
        if (m_parser.parse(m_buffer.get(), line.size(), false).get(top)) return false;
        // The texts as the document holds them, until the line is known to be taken.
        Texts texts;
        uint32_t seen = 0;
        bool version = false;
        for (const simdjson::dom::key_value_pair member : top) {
            const int bit = TopBit(member.key);
            if (bit < 0) continue;
            if (seen & 1u << bit) return false;
            seen |= 1u << bit;
            bool ok = true;
            if (bit < 5) {
                ok = Text(member.value, texts.top[bit]);
            } else if (bit == 5) {
                int64_t number = 0;
                ok = version = member.value.is_int64() && !member.value.get(number) && number == 1;
            } else {
                ok = Members(member.value, bit, texts);
            }
            if (!ok) return false;
        }
        const std::optional<ProbeStatus> status =
            texts.top[1] ? LineStatus(*texts.top[1]) : std::nullopt;
        if (!version || !status) return false;
        Fill(record, texts);
        record.status = *status;
        return true;
    }

  private:
    using Element = simdjson::dom::element;

    using View = std::optional<std::string_view>;
    // machine, status, source, error, time; the values stored and expected; the model's
    // manufacturer, product, family and sku; the unit's serial number and UUID.
    struct Texts {
        std::array<View, 5> top;
        std::array<View, 3> stored, expected;
        std::array<View, 4> model;
        std::array<View, 2> unit;
    };

    static int TopBit(std::string_view name) {
        static constexpr std::string_view kNames[] = {"machine", "status", "source", "error",
                                                      "time",    "probe",  "stored", "expected",
                                                      "model",   "unit"};
        for (size_t i = 0; i < std::size(kNames); ++i)
            if (Same(name, kNames[i])) return static_cast<int>(i);
        return -1;
    }

    // Most names differ in length or first letter: those are told apart without a call.
    static bool Same(std::string_view name, std::string_view known) {
        return name.size() == known.size() && !name.empty() && name[0] == known[0] && name == known;
    }

    // A text or null (absent); anything else is not taken.
    static bool Text(Element value, View& into) {
        if (value.is_null()) return true;
        std::string_view text;
        if (value.get(text)) return false;
        into = text;
        return true;
    }

    // An object of texts by the names given, or null.
    template <size_t N>
    static bool Members(Element value, const std::array<std::string_view, N>& names,
                        std::array<View, N>& into) {
        if (value.is_null()) return true;
        simdjson::dom::object object;
        if (value.get(object)) return false;
        uint32_t seen = 0;
        for (const simdjson::dom::key_value_pair member : object)
            for (size_t i = 0; i < N; ++i) {
                if (!Same(member.key, names[i])) continue;
                if (seen & 1u << i || !Text(member.value, into[i])) return false;
                seen |= 1u << i;
            }
        return true;
    }

    // "stored", "expected", "model" or "unit", by its bit.
    static bool Members(Element value, int bit, Texts& texts) {
        static constexpr std::array<std::string_view, 2> kUnit = {"serial", "uuid"};
        if (bit == 6) return Members(value, kProbeValueNames, texts.stored);
        if (bit == 7) return Members(value, kProbeValueNames, texts.expected);
        if (bit == 8) return Members(value, kModelNames, texts.model);
        return Members(value, kUnit, texts.unit);
    }

    static void Assign(std::optional<std::string>& into, const View& text) {
        if (!text)
            into.reset();
        else if (into)
            into->assign(*text);
        else
            into.emplace(*text);
    }

    // The record as a reference reader leaves it, its texts assigned rather than made anew.
    static void Fill(ProbeRecord& record, const Texts& texts) {
        record.machine.assign(texts.top[0].value_or(""));
        record.error.assign(texts.top[3].value_or(""));
        Assign(record.time, texts.top[4]);
        for (size_t i = 0; i < record.stored.size(); ++i) {
            Assign(record.stored[i], texts.stored[i]);
            Assign(record.expected[i], texts.expected[i]);
        }
        record.manufacturer.assign(texts.model[0].value_or(""));
        record.product.assign(texts.model[1].value_or(""));
        Assign(record.serial, texts.unit[0]);
        Assign(record.uuid, texts.unit[1]);
        record.device.clear();
        record.deviceId.clear();
        record.detection.clear();
        record.updated.reset();
        record.read = 0;
    }

    simdjson::dom::parser m_parser;
    std::unique_ptr<char[]> m_buffer;
};

} // namespace
#endif

bool ParseProbeLineReference(std::string_view line, ProbeRecord& record, std::string& reason) {
    if (line.size() > kProbeLineReadLimit) {
        reason = "longer than " + std::to_string(kProbeLineReadLimit) + " bytes";
        return false;
    }
    record = ProbeRecord();
    ProbeReader reader(record, line.size());
    const bool parsed = Json::sax_parse(line.begin(), line.end(), &reader);
    if (parsed && !reader.IsObject()) {
        reason = "not a probe line";
        return false;
    }
    return reader.Finish(reason);
}

bool ParseProbeLine(std::string_view line, ProbeRecord& record, std::string& reason) {
#ifdef VESK_SIMDJSON
    // One reader for the thread: the parser keeps its buffers from line to line.
    static thread_local FastReader fast;
    if (fast.Read(line, record)) return true;
#endif
    return ParseProbeLineReference(line, record, reason);
}
