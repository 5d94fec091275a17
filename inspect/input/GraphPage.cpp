#include "input/GraphPage.h"

#include <nlohmann/json.hpp>

#include <istream>
#include <iterator>

namespace {

using Json = nlohmann::json;

// The source as a stream buffer for the parser, counting the lines it has taken.
class SourceBuffer : public std::streambuf {
  public:
    explicit SourceBuffer(ByteSource& source) : m_source(source) {
        setg(m_block, m_block, m_block);
    }

    size_t Line() {
        Count();
        return m_line;
    }

    // A parser event ended a token here: the next may take kGraphTokenLimit bytes.
    void Mark() { m_mark = m_base + static_cast<size_t>(gptr() - m_block); }
    // The input ended early because one token ran past kGraphTokenLimit bytes.
    bool Overlong() const { return m_overlong; }

  protected:
    int_type underflow() override {
        Count();
        m_base += static_cast<size_t>(egptr() - m_block);
        // The parser holds a token whole until it ends: end the input rather than hold more.
        if (m_base - m_mark > kGraphTokenLimit) {
            m_overlong = true;
            setg(m_block, m_block, m_block);
            return traits_type::eof();
        }
        const size_t count = m_source.Take(m_block, sizeof m_block);
        setg(m_block, m_block, m_block + count);
        m_counted = m_block;
        return count ? traits_type::to_int_type(m_block[0]) : traits_type::eof();
    }

  private:
    void Count() {
        for (const char* at = m_counted; at < gptr(); ++at)
            m_line += *at == '\n';
        m_counted = gptr();
    }

    ByteSource& m_source;
    char m_block[1 << 16];
    const char* m_counted = m_block;
    size_t m_line = 1;
    size_t m_base = 0; // bytes of the blocks before this one
    size_t m_mark = 0;
    bool m_overlong = false;
};

// Follows the page's parser events. Depth 1 is the page, 2 its "value" array, 3 a run, 4 the
// run's managed device.
class PageReader {
  public:
    PageReader(SourceBuffer& buffer, const std::function<void(GraphRun&&)>& run)
        : m_buffer(buffer), m_emit(run) {}

    std::string Finish() {
        if (!m_error.empty()) return m_error;
        if (!m_sawValue) return "a JSON file that is no Graph page: it has no \"value\" array";
        return "";
    }

    bool null() { return Scalar(nullptr); }
    bool boolean(bool) { return Scalar("a truth value"); }
    bool number_integer(Json::number_integer_t) { return Scalar("a number"); }
    bool number_unsigned(Json::number_unsigned_t) { return Scalar("a number"); }
    bool number_float(Json::number_float_t, const std::string&) { return Scalar("a number"); }
    bool binary(Json::binary_t&) { return Scalar("binary"); }
    bool string(std::string& text) {
        if (m_text && m_depth > 2) *m_text = std::move(text);
        return Scalar(m_text ? nullptr : "a text");
    }
    bool start_object(size_t) { return Open(true); }
    bool start_array(size_t) { return Open(false); }
    bool end_object() { return Close(); }
    bool end_array() { return Close(); }
    bool key(std::string& name) {
        m_buffer.Mark();
        m_text = nullptr;
        m_member = None;
        if (m_depth == 1 && name == "value") m_member = Value;
        if (m_depth == 3 && m_inRun) RunKey(name);
        if (m_depth == 4 && m_inDevice) DeviceKey(name);
        return true;
    }
    bool parse_error(size_t, const std::string&, const nlohmann::detail::exception& error) {
        const std::string what = error.what();
        const bool atEnd = m_buffer.sgetc() == std::char_traits<char>::eof();
        const bool cutShort = what.find("end of input") != std::string::npos ||
                              (atEnd && (what.find("missing closing quote") != std::string::npos ||
                                         what.find("invalid literal") != std::string::npos ||
                                         what.find("must be followed") != std::string::npos));
        const std::string problem =
            m_buffer.Overlong()
                ? "a text longer than " + std::to_string(kGraphTokenLimit) + " bytes"
            : cutShort ? "the page is cut short"
                       : "no JSON from here on";
        if (m_depth <= 1 && !m_sawValue) {
            m_error = "line " + std::to_string(m_buffer.Line()) + ": not a Graph page: " + problem;
            return false;
        }
        GraphRun broken;
        broken.line = m_inRun ? m_run.line : m_buffer.Line();
        broken.device = m_inRun ? m_run.device : "";
        broken.problem = problem + " (line " + std::to_string(m_buffer.Line()) + ")";
        m_emit(std::move(broken));
        return false;
    }

  private:
    enum Member { None, Value, Device };

    void RunKey(const std::string& name) {
        struct TextMember {
            const char* name;
            std::string GraphRun::*text;
        };
        static const TextMember kMembers[] = {
            {"preRemediationDetectionScriptOutput", &GraphRun::pre},
            {"postRemediationDetectionScriptOutput", &GraphRun::post},
            {"lastStateUpdateDateTime", &GraphRun::updated},
            {"preRemediationDetectionScriptError", &GraphRun::preError},
            {"postRemediationDetectionScriptError", &GraphRun::postError},
            {"detectionState", &GraphRun::detection},
            {"remediationState", &GraphRun::remediation},
        };
        for (unsigned i = 0; i < std::size(kMembers); ++i)
            if (name == kMembers[i].name) Text(&(m_run.*kMembers[i].text), i, name);
        if (name == "managedDevice") {
            m_member = Device;
            Once(std::size(kMembers), name);
        }
    }

    void DeviceKey(const std::string& name) {
        if (name == "deviceName") Text(&m_run.device, 16, name);
        if (name == "id") Text(&m_run.deviceId, 17, name);
    }

    void Text(std::string* into, unsigned bit, const std::string& name) {
        m_text = into;
        Once(bit, name);
    }

    // A member given twice would leave it to chance which one counts: the run is refused.
    void Once(unsigned bit, const std::string& name) {
        if (m_seen & 1u << bit && m_run.problem.empty()) m_run.problem = name + " is given twice";
        m_seen |= 1u << bit;
    }

    // A value that is no object or array. `kind` names it when it is not what was expected.
    bool Scalar(const char* kind) {
        m_buffer.Mark();
        const bool expected = m_text != nullptr;
        m_text = nullptr;
        if (m_depth == 1 && m_member == Value) return NotArray();
        if (m_depth == 2 && m_inValue) {
            GraphRun run;
            run.line = m_buffer.Line();
            run.problem = "a run that is no object";
            m_emit(std::move(run));
        }
        if (expected && kind && m_run.problem.empty()) m_run.problem = "a member is not a text";
        m_member = None;
        return true;
    }

    bool Open(bool object) {
        m_buffer.Mark();
        const bool text = m_text != nullptr;
        m_text = nullptr;
        if (m_depth == 0 && !object) {
            m_error = "a JSON array, not a Graph page";
            return false;
        }
        if (m_depth == 1 && m_member == Value) {
            if (object) return NotArray();
            m_inValue = m_sawValue = true;
        } else if (m_depth == 2 && m_inValue) {
            m_run = GraphRun();
            m_run.line = m_buffer.Line();
            m_inRun = object;
            m_seen = 0;
            if (!object) m_run.problem = "a run that is no object";
        } else if (m_depth == 3 && m_inRun && m_member == Device && object) {
            m_inDevice = true;
        }
        if (text && m_run.problem.empty()) m_run.problem = "a member is not a text";
        m_member = None;
        if (++m_depth > kGraphDepthLimit && m_run.problem.empty())
            m_run.problem = "nested more than " + std::to_string(kGraphDepthLimit) + " deep";
        return true;
    }

    bool Close() {
        m_buffer.Mark();
        --m_depth;
        if (m_depth == 3) m_inDevice = false;
        if (m_depth == 2 && m_inValue) {
            m_emit(std::move(m_run));
            m_run = GraphRun();
            m_inRun = false;
        }
        if (m_depth == 1) m_inValue = false;
        return true;
    }

    bool NotArray() {
        m_error = "line " + std::to_string(m_buffer.Line()) + ": \"value\" is not an array";
        return false;
    }

    SourceBuffer& m_buffer;
    const std::function<void(GraphRun&&)>& m_emit;
    int m_depth = 0;
    Member m_member = None;
    std::string* m_text = nullptr;
    bool m_sawValue = false, m_inValue = false, m_inRun = false, m_inDevice = false;
    unsigned m_seen = 0;
    GraphRun m_run;
    std::string m_error;
};

} // namespace

std::string ReadGraphPage(ByteSource& source, const std::function<void(GraphRun&&)>& run) {
    SourceBuffer buffer(source);
    std::istream stream(&buffer);
    PageReader reader(buffer, run);
    Json::sax_parse(stream, &reader);
    return reader.Finish();
}
