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
    // The device-management name, the probe's own where it is another, the status, the device
    // id, the unit, the time; for a device without output, its detection state and error.
    void Machine(ProbeRecord&& record) override {
        std::string name = record.device.empty() ? record.machine : record.device;
        if (!record.device.empty() && !record.machine.empty() && record.machine != record.device)
            name += "/" + record.machine;
        got.push_back(name + "=" + ProbeStatusName(record.status) +
                      (record.deviceId.empty() ? "" : " #" + record.deviceId) +
                      (record.uuid ? " " + *record.uuid : "") +
                      (record.updated ? " @" + TimeText(*record.updated) : "") +
                      (record.status == ProbeStatus::NoOutput
                           ? " (" + record.detection + ": " + record.error + ")"
                           : ""));
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
     {"PC,1/PC, \"1\"=match", "PC-2=no-output (: )", "5:PC-3:not a probe line"},
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
     {"PC-1=match @2026-12-09T08:15:00Z", "4:PC-3:text after the closing quote of field 2",
      "5:PC-4:10001 fields where the header has 3", "PC-5=match",
      "PC \"2\"/PC-2=match @2026-12-09T20:15:00Z"}, // in doubt until the file is read
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
     {"PC-1=differs #m @2026-12-09T08:15:00Z", "PC-2/DESKTOP-2=match #m",
      "4:PC-3:postRemediationDetectionScriptOutput is given twice",
      "5:PC-4:nested more than 64 deep", "6::a run that is no object", "PC-5=match #m"},
     ""},
    {"a Graph page cut short",
     "page.json",
     "{\"value\":[" + Run("PC-1", JsonText(Probe("PC-1"))) + ",\n" +
         Run("PC-2", JsonText(Probe("PC-2"))).substr(0, 60),
     "Graph page",
     2,
     {"PC-1=match #m", "2:PC-2:the page is cut short (line 2)"},
     ""},
    {"a Graph page with a text longer than the reader holds: the page ends there",
     "page.json",
     "{\"value\":[" + Run("PC-1", JsonText(Probe("PC-1"))) + ",\n" +
         Run("PC-2", "\"" + std::string(3 * kGraphTokenLimit, 'x') + "\"") + "]}",
     "Graph page",
     2,
     {"PC-1=match #m", "2:PC-2:a text longer than 65536 bytes (line 2)"},
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

// A remediation's run on one device as Graph answers deviceRunStates?$expand=managedDevice:
// every member it carries, the managed device with its own.
std::string GraphRun(const std::string& id, const std::string& name, const char* detection,
                     const char* remediation, const std::string& pre, const std::string& preError,
                     const std::string& post) {
    const auto text = [](const std::string& t) { return t.empty() ? "null" : JsonText(t); };
    const std::string time = "\"2026-12-09T06:12:44.5133333Z\"";
    return R"({"id":"7f3c2b1a-0d4e-4c8b-9a6f-1e2d3c4b5a69:)" + id + R"(","detectionState":")" +
           detection + R"(","lastStateUpdateDateTime":)" + time +
           R"(,"expectedStateUpdateDateTime":null,"lastSyncDateTime":)" + time +
           R"(,"preRemediationDetectionScriptOutput":)" + text(pre) +
           R"(,"preRemediationDetectionScriptError":)" + text(preError) +
           R"(,"remediationState":")" + remediation + R"(","remediationScriptError":null,)" +
           R"("postRemediationDetectionScriptOutput":)" + text(post) +
           R"(,"postRemediationDetectionScriptError":null,"managedDevice":{"id":")" + id +
           R"(","userId":"","deviceName":")" + name +
           R"(","managedDeviceOwnerType":"company","operatingSystem":"Windows",)"
           R"("complianceState":"compliant","managementAgent":"mdm","osVersion":"10.0.19045.5247",)"
           R"("azureADDeviceId":"5e0c6d1b-2f3a-4b7c-8d9e-0a1b2c3d4e5f","model":"Vesk Desk 7400",)"
           R"("manufacturer":"Vesk Computer Corporation","serialNumber":"VD7-0042-X"}})";
}

std::string Unit(const std::string& status, const std::string& uuid) {
    return R"({"probe":1,"machine":"PC","status":")" + status +
           R"(","unit":{"serial":"S","uuid":")" + uuid + R"("}})";
}

const char kPolicy[] = "File C:\\Program Files (x86)\\Vesk Computer Corporation\\VeskInfo\\"
                       "Detect-VeskInfo.ps1 cannot be loaded because running scripts is disabled "
                       "on this system.";

// Which output is the device's, and a device whose detection gave none.
TEST(FleetInput, ReadsDeviceStates) {
    const std::string page =
        R"({"@odata.context":"https://graph.microsoft.com/beta/$metadata#deviceManagement/)"
        R"(deviceHealthScripts('7f3c2b1a-0d4e-4c8b-9a6f-1e2d3c4b5a69')/deviceRunStates)"
        R"x((managedDevice())","value":[)x" +
        GraphRun("a1", "PC-1", "fail", "success", Unit("differs", "U1"), "", Unit("match", "U1")) +
        "," +
        GraphRun("a2", "PC-2", "success", "skipped", Unit("match", "U2"), "",
                 Unit("differs", "U2")) +
        "," + GraphRun("a3", "PC-3", "scriptError", "unknown", "", kPolicy, "") +
        R"(],"@odata.nextLink":"https://graph.microsoft.com/beta/deviceManagement/)"
        R"(deviceHealthScripts/7f3c2b1a-0d4e-4c8b-9a6f-1e2d3c4b5a69/deviceRunStates?)"
        R"($expand=managedDevice&$skiptoken=Mg"})";
    // The export job's columns: the device's id, the states, both outputs with their errors.
    const std::string job =
        "DeviceId,DeviceName,UPN,DetectionStatus,RemediationStatus,"
        "PreRemediationDetectionScriptOutput,PreRemediationDetectionScriptError,"
        "PostRemediationDetectionScriptOutput,PostRemediationDetectionScriptError,ModifiedTime\r\n"
        "b1,PC-4,,fail,remediationFailed," +
        Quoted(Unit("differs", "U4")) + ",," + Quoted(Unit("missing", "U4")) +
        ",,2026-12-09T09:15:00.000+01:00\r\n"
        "b2,PC-5,,scriptError,scriptError,," +
        Quoted("Access to the path is denied.") + ",,,2026-12-09 06:00:00 +01:00\r\n";
    const std::string portal = "Device name,Last run,Pre-remediation detection output,"
                               "Detection status\r\n"
                               "PC-6,\"12/9/2026, 6:00:00 AM\",,Failed\r\n";
    struct {
        const char* name;
        std::string text;
        std::vector<std::string> got;
    } cases[] = {
        {"page.json",
         page,
         {"PC-1/PC=match #a1 U1 @2026-12-09T06:12:44Z",
          "PC-2/PC=match #a2 U2 @2026-12-09T06:12:44Z",
          std::string("PC-3=no-output #a3 @2026-12-09T06:12:44Z (scriptError: ") +
              "File C:\\Program Files (x86)\\Vesk Computer Corporation\\VeskInfo\\"
              "Detect-VeskInfo.ps1 cannot be loaded because running scripts is disabled on this "
              "system.)"}},
        {"job.csv",
         job,
         {"PC-4/PC=missing #b1 U4 @2026-12-09T08:15:00Z",
          "PC-5=no-output #b2 @2026-12-09T05:00:00Z (scriptError: Access to the path is denied.)"}},
        {"portal.csv", portal, {"PC-6=no-output @2026-12-09T06:00:00Z (Failed: )"}},
        {"probes.txt",
         Unit("match", "U7").insert(1, R"("time":"2026-12-09T06:00:00+01:00",)") + "\n" +
             Unit("match", "U8").insert(1, R"("time":5,)"),
         {"PC=match U7 @2026-12-09T05:00:00Z", "2::time is not a text"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sink sink;
        TextSource source(c.text);
        const InputSummary summary = ReadFleetInput(c.name, source, sink);
        EXPECT_EQ(summary.error, "");
        EXPECT_EQ(sink.got, c.got);
    }
}

TEST(FleetInput, ReadsTimesAsWritten) {
    struct {
        const char* text;
        const char* monthFirst; // "" where it is no date read that way
        const char* dayFirst;
    } cases[] = {
        {"2026-12-09T08:15:00Z", "2026-12-09T08:15:00Z", "2026-12-09T08:15:00Z"},
        {"2026-12-09T08:15:00.1234567Z", "2026-12-09T08:15:00Z", "2026-12-09T08:15:00Z"},
        {"2026-12-09T09:15:00+01:00", "2026-12-09T08:15:00Z", "2026-12-09T08:15:00Z"},
        {"2026-12-09 06:00:00 +01:00", "2026-12-09T05:00:00Z", "2026-12-09T05:00:00Z"},
        {"2026-12-09 08:15", "2026-12-09T08:15:00Z", "2026-12-09T08:15:00Z"},
        {"12/9/2026, 6:00:00 AM", "2026-12-09T06:00:00Z", "2026-09-12T06:00:00Z"},
        {"12/9/2026 12:15:00 AM", "2026-12-09T00:15:00Z", "2026-09-12T00:15:00Z"},
        {"09/12/2026 06:00", "2026-09-12T06:00:00Z", "2026-12-09T06:00:00Z"},
        {"13/12/2026 18:00", "", "2026-12-13T18:00:00Z"},
        {"2/29/2028 1:00 PM", "2028-02-29T13:00:00Z", ""},
        {"2/29/2026 1:00 PM", "", ""},
        {"2026-13-09T08:15:00Z", "", ""},
        {"12/9/2026 13:15:00 PM", "", ""},
        {"12/9/26 1:15:00 PM", "", ""},
        {"2026-12-09T08:15:00Z junk", "", ""},
    };
    for (const auto& c : cases) {
        const TimeReading time = ReadTime(c.text);
        const auto shown = [](std::optional<long long> t) { return t ? TimeText(*t) : ""; };
        EXPECT_EQ(shown(time.monthFirst), c.monthFirst) << c.text;
        EXPECT_EQ(shown(time.dayFirst), c.dayFirst) << c.text;
    }
}

// A file's times settle its order of day and month, also from a row read after the ones they
// settle; --date-order settles it for the run; what stays in doubt is counted, never guessed.
TEST(FleetInput, SettlesDayAndMonthByFile) {
    const auto csv = [](std::vector<const char*> times) {
        std::string text = "deviceName,ModifiedTime,preRemediationDetectionScriptOutput\n";
        for (size_t i = 0; i < times.size(); ++i)
            text += "PC-" + std::to_string(i + 1) + "," + times[i] + "," +
                    Quoted(Probe("PC-" + std::to_string(i + 1))) + "\n";
        return text;
    };
    struct {
        const char* what;
        std::string text;
        DateOrder order;
        std::vector<std::string> got;
        size_t notRead, inDoubt;
        std::string first; // line and text of the first time not read
    } cases[] = {
        {"in doubt, nothing settles it",
         csv({"2026-12-08T10:00:00Z", "09/12/2026 06:00", "9/9/2026 06:00", "12/31/2026 x"}),
         DateOrder::Unsettled,
         {"PC-1=match @2026-12-08T10:00:00Z", "PC-3=match @2026-09-09T06:00:00Z", "PC-4=match",
          "PC-2=match"},
         2,
         1,
         "3 09/12/2026 06:00"},
        {"--date-order dmy",
         csv({"09/12/2026 06:00"}),
         DateOrder::DayFirst,
         {"PC-1=match @2026-12-09T06:00:00Z"},
         0,
         0,
         "0 "},
        {"--date-order mdy, and a time that is no date that way",
         csv({"09/12/2026 06:00", "13/12/2026 06:00"}),
         DateOrder::MonthFirst,
         {"PC-1=match @2026-09-12T06:00:00Z", "PC-2=match"},
         1,
         0,
         "3 13/12/2026 06:00"},
        {"a day above 12 read later settles the file",
         csv({"09/12/2026 06:00", "09/12/2026 06:00", "13/12/2026 06:00"}),
         DateOrder::Unsettled,
         {"PC-3=match @2026-12-13T06:00:00Z", "PC-1=match @2026-12-09T06:00:00Z",
          "PC-2=match @2026-12-09T06:00:00Z"},
         0,
         0,
         "0 "},
        {"AM and PM: the portal's US export, month first",
         csv({"12/9/2026 6:00:00 AM", "09/12/2026 06:00"}),
         DateOrder::Unsettled,
         {"PC-1=match @2026-12-09T06:00:00Z", "PC-2=match @2026-09-12T06:00:00Z"},
         0,
         0,
         "0 "},
        {"the file shows both orders: in doubt",
         csv({"13/12/2026 06:00", "12/13/2026 06:00", "09/12/2026 06:00"}),
         DateOrder::Unsettled,
         {"PC-1=match @2026-12-13T06:00:00Z", "PC-2=match @2026-12-13T06:00:00Z", "PC-3=match"},
         1,
         1,
         "4 09/12/2026 06:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Sink sink;
        TextSource source(c.text);
        const InputSummary summary = ReadFleetInput("x.csv", source, sink, c.order);
        EXPECT_EQ(sink.got, c.got);
        EXPECT_EQ(summary.timesNotRead, c.notRead);
        EXPECT_EQ(summary.timesInDoubt, c.inDoubt);
        EXPECT_EQ(std::to_string(summary.firstTimeLine) + " " + summary.firstTime, c.first);
    }
}

} // namespace
