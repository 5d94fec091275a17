// The report's readers over whole files: probe lines and detection exports under both column
// namings, and what each refuses (a line, or the whole file) and why.
#include "input/FleetInput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Probe(const std::string& machine, const std::string& status = "match") {
    return R"({"probe":1,"machine":")" + machine + R"(","status":")" + status +
           R"(","stored":{"system_id":"A47","regulatory_id":null},"expected":{"system_id":"A47"},)"
           R"("model":{"manufacturer":"Vesk","product":"D7400"}})";
}

std::string Quoted(const std::string& text) { // as CSV quotes a field
    std::string out = "\"";
    for (const char c : text)
        out += c == '"' ? "\"\"" : std::string(1, c);
    return out + "\"";
}

const std::string kPortal =
    "Device name,Pre-remediation detection output,Post-remediation detection output\r\n";
const std::string kGraph = "deviceName,preRemediationDetectionScriptOutput,"
                           "postRemediationDetectionScriptOutput\n";

struct Sink : FleetSink {
    void Machine(const ProbeRecord& record) override {
        got.push_back(record.machine + "=" + ProbeStatusName(record.status));
    }
    void Refused(RefusedLine&& line) override {
        got.push_back(std::to_string(line.line) + ":" + line.device + ":" + line.reason);
    }
    std::vector<std::string> got;
};

struct Case {
    const char* what;
    std::string name;
    std::string text;
    const char* kind;
    size_t lines;
    std::vector<std::string> got; // machines and refused lines, in order
    std::string error;            // the start of the file's refusal
};

const Case kCases[] = {
    {"probe lines, a non-probe line, a blank line",
     "a.txt",
     Probe("PC-1") + "\nWARNING: slow\n\n" + Probe("PC-2", "differs") + "\r\n",
     "probe lines",
     3,
     {"PC-1=match", "2::not a probe line", "PC-2=differs"},
     ""},
    {"lines of the wrong shape",
     "b.log",
     R"({"probe":2,"status":"match"})"
     "\n"
     R"({"probe":1,"status":"fine"})"
     "\n"
     R"({"probe":1,"status":"match","stored":[1]})"
     "\n" +
         Probe("x") + ",\n" + std::string(9000, ' ') + "{}\n",
     "probe lines",
     5,
     {"1::probe schema 2 is not known", "2::unknown status", "3::stored is not an object",
      "4::not a probe line", "5::longer than 8192 bytes"},
     ""},
    {"portal export: BOM, quoted commas and quotes, post over pre, last line",
     "x.csv",
     "\xEF\xBB\xBF" + kPortal + "\"PC,1\"," + Quoted(Probe(R"(PC, \"1\")", "differs")) + "," +
         Quoted("WARNING: x\r\n" + Probe(R"(PC, \"1\")")) + "\r\nPC-2,,\r\nPC-3,\"oops\",\r\n",
     "CSV (portal columns)",
     3,
     {"PC, \"1\"=match", "4:PC-2:no detection output", "5:PC-3:not a probe line"},
     ""},
    {"Graph export: a name taken from the device, an open quote",
     "graph-export",
     kGraph + "PC-7," + Quoted(R"({"probe":1,"status":"not-run"})") + ",\nPC-8,\"{\n",
     "CSV (Graph columns)",
     2,
     {"PC-7=not-run", "3:PC-8:a quoted field is not closed"},
     ""},
    {"a CSV without the columns",
     "c.csv",
     "Device,Output\r\n1,2\r\n",
     "CSV",
     0,
     {},
     "needs a device-name and a detection-output column; its columns: \"Device\", \"Output\""},
    {"UTF-16 text",
     "d.csv",
     "\xFF\xFE"
     "D\0e\0",
     "",
     0,
     {},
     "UTF-16 text"},
    {"an archive", "e.zip", "PK\x03\x04....", "", 0, {}, "a zip archive"},
};

TEST(FleetInput, ReadsAndRefuses) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        Sink sink;
        TextSource source(c.text);
        const InputSummary summary = ReadFleetInput(c.name, source, sink);
        EXPECT_EQ(summary.kind, c.kind);
        EXPECT_EQ(summary.lines, c.lines);
        EXPECT_EQ(sink.got, c.got);
        EXPECT_EQ(summary.error.substr(0, c.error.size()), c.error);
        EXPECT_EQ(summary.error.empty(), c.error.empty());
    }
}

} // namespace
