// The report's readers over whole files: probe lines, detection exports under the column
// namings, Graph pages, in UTF-8 and UTF-16, and what each refuses (a record, or the whole
// file) and why.
#include "input/FleetInput.h"
#include "input/GraphPage.h"

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

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text)
        out += c == '"' || c == '\\' ? std::string{'\\', c} : std::string(1, c);
    return out + "\"";
}

std::string Utf16(const std::string& ascii, bool bigEndian) { // with its byte-order mark
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char c : ascii)
        out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return out;
}

// A run of a Graph page: the device's name, the output after remediation, and `more` members.
std::string Run(const std::string& device, const std::string& post, const std::string& more = "") {
    return R"({"id":"r","managedDevice":{"id":"m","deviceName":")" + device +
           R"("},"postRemediationDetectionScriptOutput":)" + post + more + "}";
}

std::string Nested(size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

struct Sink : FleetSink {
    // The device-management name, the probe's own where it is another, the status, the unit.
    void Machine(ProbeRecord&& record) override {
        std::string name = record.device.empty() ? record.machine : record.device;
        if (!record.device.empty() && !record.machine.empty() && record.machine != record.device)
            name += "/" + record.machine;
        got.push_back(name + "=" + ProbeStatusName(record.status) +
                      (record.uuid ? " " + *record.uuid : "") +
                      (record.updated ? " @" + std::to_string(*record.updated) : ""));
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
     {"PC,1/PC, \"1\"=match", "4:PC-2:no detection output", "5:PC-3:not a probe line"},
     ""},
    {"Graph export: a name taken from the device, an open quote",
     "graph-export",
     kGraph + "PC-7," + Quoted(R"({"probe":1,"status":"not-run"})") + ",\nPC-8,\"{\n",
     "CSV (Graph columns)",
     2,
     {"PC-7=not-run", "3:PC-8:a quoted field is not closed"},
     ""},
    {"export job's columns in UTF-16: a time stamp; quotes inside a field; bad records",
     "job.txt",
     Utf16("DeviceName,PostRemediationDetectionScriptOutput,ModifiedDateTime\r\n"
           "PC-1," +
               Quoted(Probe("PC-1")) + ",2026-12-09T08:15:00Z\r\n" + "PC \"2\"," +
               Quoted(Probe("PC-2")) + ",12/9/2026 8:15:00 PM\r\n" + "PC-3,\"x\"y,\r\n" + "PC-4" +
               std::string(10000, ',') + "\r\n" + "PC-5," + Quoted(Probe("PC-5")) + ",\r\n",
           false),
     "CSV (Graph columns), UTF-16",
     5,
     {"PC-1=match @1796804100", "PC \"2\"/PC-2=match @1796847300",
      "4:PC-3:text after the closing quote of field 2",
      "5:PC-4:10001 fields where the header has 3", "PC-5=match"},
     ""},
    {"UTF-16 big-endian probe lines; a byte-order mark inside; a zero byte; lines cut and doubled",
     "be.txt",
     Utf16(Probe("PC-1") + "\n", true) + std::string("\xFE\xFF") +
         Utf16(Probe("PC-2") + "\n{\"probe\":1,\"status\":\"match\",\"machine\":\"a\\u20", true)
             .substr(2),
     "probe lines, UTF-16",
     3,
     {"PC-1=match", "2::a byte-order mark inside the file (files joined?)", "3::cut short"},
     ""},
    {"probe lines: a unit, duplicate members, a zero byte",
     "u.txt",
     R"({"probe":1,"machine":"A","status":"match","unit":{"serial":"S1","uuid":"4C4C-01"}})"
     "\n"
     R"({"probe":1,"machine":"B","status":"match","unit":null,"status":"differs"})"
     "\n" +
         std::string("{\"probe\":1,\0}\n", 14) +
         R"({"probe":1,"machine":"C","status":"match","unit":{"uuid":"1","uuid":"2"}})",
     "probe lines",
     4,
     {"A=match 4C4C-01", "2::status is given twice", "3::holds a zero byte (UTF-16 read as bytes?)",
      "4::unit.uuid is given twice"},
     ""},
    {"a Graph page: names, time stamps, runs that cannot be read",
     "page-1",
     "{\"@odata.context\":\"x\",\"value\":[\n" +
         Run("PC-1", JsonText(Probe("PC-1", "differs")),
             R"(,"lastStateUpdateDateTime":"2026-12-09T09:15:00+01:00")") +
         ",\n" + Run("PC-2", JsonText(Probe("DESKTOP-2")), R"(,"deviceName":1)") + ",\n" +
         Run("PC-3", "null", R"(,"postRemediationDetectionScriptOutput":"x")") + ",\n" +
         Run("PC-4", "null", ",\"extra\":" + Nested(10000)) + ",\n7,\n" +
         Run("PC-5", "null",
             R"(,"preRemediationDetectionScriptOutput":)" + JsonText(Probe("PC-5"))) +
         "],\"@odata.nextLink\":\"https://x\"}",
     "Graph page",
     6,
     {"PC-1=differs @1796804100", "PC-2/DESKTOP-2=match",
      "4:PC-3:postRemediationDetectionScriptOutput is given twice",
      "5:PC-4:nested more than 64 deep", "6::a run that is no object", "PC-5=match"},
     ""},
    {"a Graph page cut short",
     "page.json",
     "{\"value\":[" + Run("PC-1", JsonText(Probe("PC-1"))) + ",\n" +
         Run("PC-2", JsonText(Probe("PC-2"))).substr(0, 60),
     "Graph page",
     2,
     {"PC-1=match", "2:PC-2:the page is cut short (line 2)"},
     ""},
    {"a Graph page with a text longer than the reader holds: the page ends there",
     "page.json",
     "{\"value\":[" + Run("PC-1", JsonText(Probe("PC-1"))) + ",\n" +
         Run("PC-2", "\"" + std::string(3 * kGraphTokenLimit, 'x') + "\"") + "]}",
     "Graph page",
     2,
     {"PC-1=match", "2:PC-2:a text longer than 65536 bytes (line 2)"},
     ""},
    {"a Graph page whose value is no array",
     "p.json",
     "{\n\"value\":{}}",
     "Graph page",
     0,
     {},
     "line 2: \"value\" is not an array"},
    {"a report of this program",
     "old.html",
     "<!DOCTYPE html>\n<html><head>" + std::string(kReportGenerator),
     "a report of veskinfo-inspect: skipped",
     0,
     {},
     ""},
    {"a CSV without the columns",
     "c.csv",
     "Device,Output\r\n1,2\r\n",
     "CSV",
     0,
     {},
     "needs a device-name and a detection-output column; its columns: \"Device\", \"Output\""},
    {"UTF-16 without a byte-order mark",
     "d.csv",
     std::string("D\0e\0v\0", 6),
     "",
     0,
     {},
     "UTF-16 text without a byte-order mark"},
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
