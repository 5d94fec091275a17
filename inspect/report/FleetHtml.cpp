// The report as one HTML file: its style and chart are inline, it loads nothing, and every text
// that came from a machine or a file is escaped, so that it shows as text and runs nothing, and
// isolated, so that it cannot reorder what is around it.
#include "report/FleetReport.h"

#include "report/FleetShow.h"

#include <algorithm>
#include <sstream>

namespace {

constexpr std::array<const char*, kProbeStatuses> kColours = {"#2e7d32", "#c62828", "#ef6c00",
                                                              "#6a1b9a", "#ad1457", "#455a64",
                                                              "#212121", "#00838f", "#795548"};
constexpr std::array<const char*, kProbeStatuses> kMeanings = {
    "the stored values are what the firmware gives",
    "a stored value differs from the firmware's",
    "some values are not stored",
    "no value is stored: VeskInfo has not run",
    "the values are only in the 64-bit registry view",
    "no table source answered",
    "the probe could not run",
    "VeskInfo is there, the inspector is not: deploy the installer package (MSI) as a required app",
    "the detection gave no output: its script did not start, or stopped before its line"};
constexpr size_t kIdsShown = 10; // per model and kind

// Text as HTML: the five special characters as references, control bytes and bytes that are
// no UTF-8 as U+FFFD (the texts of the report itself and the pieces Shown leaves unmarked).
class Html {
  public:
    explicit Html(std::string_view text) : m_text(text) {}
    friend std::ostream& operator<<(std::ostream& out, const Html& html) {
        std::string_view text = html.m_text;
        while (!text.empty()) {
            const char c = text[0];
            const size_t length = Utf8Length(text);
            if (c == '&')
                out << "&amp;";
            else if (c == '<')
                out << "&lt;";
            else if (c == '>')
                out << "&gt;";
            else if (c == '"')
                out << "&quot;";
            else if (c == '\'')
                out << "&#39;";
            else if (length == 0 ||
                     (length == 1 && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)))
                out << "\xEF\xBF\xBD";
            else
                out << text.substr(0, length);
            text.remove_prefix(std::max<size_t>(length, 1));
        }
        return out;
    }

  private:
    std::string_view m_text;
};

// A text from a machine or a file as HTML: isolated, with its marked pieces as code points.
class HtmlShown {
  public:
    HtmlShown(std::string_view text, Shown kind) : m_text(text), m_kind(kind) {}
    friend std::ostream& operator<<(std::ostream& out, const HtmlShown& shown) {
        out << "<bdi>";
        ForEachShown(shown.m_text, shown.m_kind, [&out](std::string_view piece, bool marked) {
            if (marked)
                out << "<span class=\"cp\">" << piece << "</span>";
            else
                out << Html(piece);
        });
        return out << "</bdi>";
    }

  private:
    std::string_view m_text;
    Shown m_kind;
};

HtmlShown Text(std::string_view text) {
    return HtmlShown(text, Shown::Text);
}

HtmlShown Id(std::string_view text) {
    return HtmlShown(text, Shown::Identifier);
}

const char kStyle[] =
    "body{font-family:system-ui,sans-serif;margin:2em;color:#212121;max-width:75em}"
    "h1{font-size:1.6em}h2{font-size:1.25em;margin-top:1.8em}"
    "table{border-collapse:collapse;margin:.5em 0}"
    "th,td{border:1px solid #ccc;padding:.25em .6em;text-align:left;vertical-align:top}"
    "th{background:#f0f0f0}td.n{text-align:right;font-variant-numeric:tabular-nums}"
    "tr.flagged td{background:#fff3e0}.flag{color:#c62828;font-weight:bold}"
    ".summary{font-size:1.15em}.more{font-style:italic}"
    "code{font-size:1.05em;word-break:break-all}bdi{overflow-wrap:anywhere}td.machine{width:25%}"
    ".cp{font:.75em monospace;color:#6a1b9a;border:1px solid #6a1b9a;border-radius:3px;"
    "padding:0 2px;margin:0 1px;white-space:nowrap}.other{color:#555;font-size:.9em}";

void Chart(std::ostream& out, const FleetTally& tally) {
    const size_t most =
        std::max<size_t>(1, *std::max_element(tally.statuses.begin(), tally.statuses.end()));
    const int rowHeight = 26, barWidth = 440;
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"640\" height=\""
        << rowHeight * kProbeStatuses + 4 << "\" role=\"img\" aria-label=\"Machines by status\">";
    for (int i = 0; i < kProbeStatuses; ++i) {
        const int y = i * rowHeight + 2;
        // A status that has machines gets a bar that can be seen, however few they are.
        const size_t count = tally.statuses[i];
        const size_t width = count == 0 ? 0 : std::max<size_t>(3, count * barWidth / most);
        out << "<text x=\"0\" y=\"" << y + 17 << "\" font-size=\"14\">"
            << ProbeStatusName(static_cast<ProbeStatus>(i)) << "</text>"
            << "<rect x=\"110\" y=\"" << y << "\" width=\"" << width << "\" height=\""
            << rowHeight - 6 << "\" fill=\"" << kColours[i] << "\"/>"
            << "<text x=\"" << 116 + width << "\" y=\"" << y + 17 << "\" font-size=\"14\">"
            << tally.statuses[i] << "</text>";
    }
    out << "</svg>\n";
}

void Totals(std::ostream& out, const FleetTally& tally) {
    out << "<section id=\"totals\"><h2>Machines by status</h2>\n";
    Chart(out, tally);
    out << "<table><tr><th>Status</th><th>Machines</th><th>Meaning</th></tr>\n";
    for (int i = 0; i < kProbeStatuses; ++i) {
        const char* name = ProbeStatusName(static_cast<ProbeStatus>(i));
        out << "<tr data-status=\"" << name << "\"><td>" << name << "</td><td class=\"n count\">"
            << tally.statuses[i] << "</td><td>" << kMeanings[i] << "</td></tr>\n";
    }
    out << "<tr data-status=\"all\"><th>all</th><th class=\"n count\">" << tally.machines
        << "</th><th></th></tr></table>\n";
    if (!NoInspectorAdvice(tally).empty())
        out << "<p id=\"no-inspector\"><b>" << NoInspectorAdvice(tally) << ".</b></p>\n";
    if (tally.repeated)
        out << "<p id=\"repeated\">" << RepeatedMachines(tally) << ".<br>" << JoinedDevices(tally)
            << ".</p>\n";
    out << "</section>\n";
}

void Shared(std::ostream& out, const FleetTally& tally) {
    if (tally.sharedUuids.empty()) return;
    out << "<section id=\"shared\"><h2>Shared UUIDs: " << tally.sharedUuids.size()
        << "</h2>\n<p>Each of these UUIDs names no one machine: firmware placeholders, a byte "
           "repeated, or boards cloned with one UUID. The machines behind each are told apart by "
           "device id, serial number or name; device management may take them for one device "
           "as well.</p>\n<table><tr><th>UUID</th><th>Machines</th><th>Why</th></tr>\n";
    for (size_t i = 0; i < tally.sharedUuids.size() && i < kSharedShown; ++i) {
        const SharedUuid& shared = tally.sharedUuids[i];
        out << "<tr><td><code>" << Id(shared.uuid) << "</code></td><td class=\"n\">"
            << shared.devices << "</td><td>" << Html(shared.why) << "</td></tr>\n";
    }
    out << "</table>\n";
    if (tally.sharedUuids.size() > kSharedShown)
        out << "<p class=\"more\">and " << tally.sharedUuids.size() - kSharedShown
            << " more UUIDs</p>\n";
    out << "</section>\n";
}

void Ids(std::ostream& out, const std::map<std::string, size_t>& ids) {
    std::vector<std::pair<std::string, size_t>> order(ids.begin(), ids.end());
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    out << "<td>";
    for (size_t i = 0; i < order.size() && i < kIdsShown; ++i)
        out << (i ? "<br>" : "") << "<code>" << Id(order[i].first) << "</code> (" << order[i].second
            << ")";
    if (order.size() > kIdsShown)
        out << "<br><span class=\"more\">and " << order.size() - kIdsShown << " more</span>";
    out << "</td>";
}

void Models(std::ostream& out, const FleetTally& tally) {
    out << "<section id=\"models\"><h2>Models</h2>\n<p>A model is flagged when its machines carry "
           "the fall-back \"0\" or \"00000\", or more than one system or regulatory "
           "identifier. Characters that could pass for others are shown as their code points, "
           "boxed: <span class=\"cp\">U+0020</span> a space at either "
           "end.</p>\n<table><tr><th>Model</th><th>Machines</th>";
    for (int i = 0; i < kProbeStatuses; ++i)
        out << "<th>" << ProbeStatusName(static_cast<ProbeStatus>(i)) << "</th>";
    out << "<th>System identifiers</th><th>Regulatory identifiers</th></tr>\n";
    const std::vector<const ModelTally*> order = tally.ModelsInOrder();
    for (size_t m = 0; m < order.size() && m < kModelsShown; ++m) {
        const ModelTally& model = *order[m];
        out << (model.Flagged() ? "<tr class=\"flagged\"><td class=\"model\">"
                                : "<tr><td class=\"model\">")
            << Text(ModelName(model))
            << (model.Flagged() ? " <span class=\"flag\">flagged</span>" : "") << "</td>"
            << "<td class=\"n\">" << model.machines << "</td>";
        for (const size_t count : model.statuses)
            out << "<td class=\"n\">" << count << "</td>";
        Ids(out, model.systemIds);
        Ids(out, model.regulatoryIds);
        out << "</tr>\n";
    }
    out << "</table>\n";
    if (order.size() > kModelsShown)
        out << "<p class=\"more\">and " << order.size() - kModelsShown << " more models</p>\n";
    out << "</section>\n";
}

void Reason(std::ostream& out, const FleetRecord& record) {
    ForEachReasonPart(record, [&out](std::string_view text, ReasonPart part) {
        if (part == ReasonPart::Fixed)
            out << Html(text);
        else if (part == ReasonPart::Identifier)
            out << "<code>" << Id(text) << "</code>";
        else
            out << Text(text);
    });
}

void Machine(std::ostream& out, const FleetRecord& record) {
    const std::string name(ShownName(record)), other = OtherName(record);
    out << "<td class=\"machine\">" << Text(name);
    if (!other.empty()) out << " <span class=\"other\">(probe: " << Text(other) << ")</span>";
    out << "</td><td>";
    if (record.serial) out << "<code>" << Id(*record.serial) << "</code>";
    if (record.serial && record.uuid) out << "<br>";
    if (record.uuid) out << "<code>" << Id(*record.uuid) << "</code>";
    out << "</td>";
}

void Actions(std::ostream& out, const FleetTally& tally) {
    out << "<section id=\"actions\"><h2>Machines that need action</h2>\n<table><tr>"
           "<th>Machine</th><th>Serial number, UUID</th><th>Model</th><th>Status</th>"
           "<th>Reason</th></tr>\n";
    for (const size_t index : tally.actions) {
        const FleetRecord& record = tally.Record(tally.devices[index]);
        out << "<tr>";
        Machine(out, record);
        out << "<td>" << Text(ModelName(record)) << "</td><td>" << ProbeStatusName(record.status)
            << "</td><td>";
        Reason(out, record);
        out << "</td></tr>\n";
    }
    out << "</table>\n";
    if (tally.actionsNotShown)
        out << "<p class=\"more\">and " << tally.actionsNotShown << " more machines</p>\n";
    out << "</section>\n";
}

void Inputs(std::ostream& out, const FleetTally& tally) {
    out << "<section id=\"inputs\"><h2>Inputs read</h2>\n<table><tr><th>Input</th><th>Kind</th>"
           "<th>Lines</th><th>Machines</th><th>Refused</th><th>Times not read</th>"
           "<th>Problem</th></tr>\n";
    for (const InputSummary& input : tally.inputs)
        out << "<tr><td>" << Text(input.name) << "</td><td>" << input.kind
            << "</td><td class=\"n\">" << input.lines << "</td><td class=\"n\">" << input.machines
            << "</td><td class=\"n\">" << input.refused << "</td><td class=\"n\">"
            << input.timesNotRead << "</td><td>" << Text(input.error) << "</td></tr>\n";
    out << "</table>\n";
    if (!TimesNotRead(tally).empty())
        out << "<p id=\"times\">" << Text(TimesNotRead(tally)) << ".</p>\n";
    out << "<h2 id=\"refused\">Lines refused: " << tally.refusedLines << "</h2>\n"
        << "<table><tr><th>Input</th><th>Line</th><th>Device</th><th>Reason</th>"
           "<th>Beginning</th></tr>\n";
    for (const RefusedLine& line : tally.refused)
        out << "<tr><td>" << Text(line.input) << "</td><td class=\"n\">" << line.line << "</td><td>"
            << Text(line.device) << "</td><td>" << Text(line.reason) << "</td><td><code>"
            << Text(line.excerpt) << "</code></td></tr>\n";
    out << "</table>\n";
    if (tally.refusedLines > tally.refused.size())
        out << "<p class=\"more\">and " << tally.refusedLines - tally.refused.size()
            << " more lines</p>\n";
    out << "</section>\n";
}

} // namespace

std::string FleetHtml(const FleetTally& tally, const std::string& version) {
    std::ostringstream out;
    out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">" << kReportGenerator
        << "<meta name=\"viewport\" content=\"width=device-width\">"
           "<title>VeskInfo fleet report</title><style>"
        << kStyle << "</style></head>\n<body>\n<h1>VeskInfo fleet report</h1>\n"
        << "<p class=\"summary\" id=\"summary\"><b>" << tally.machines << "</b> machines ("
        << tally.records << " records), <b>" << tally.NeedingAction() << "</b> need action, <b>"
        << tally.FlaggedModels().size() << "</b> of " << tally.models.size()
        << " models flagged, <b>" << tally.refusedLines << "</b> lines refused, from "
        << tally.inputs.size() << " inputs.</p>\n";
    Totals(out, tally);
    Models(out, tally);
    Shared(out, tally);
    Actions(out, tally);
    Inputs(out, tally);
    out << "<p><small>Made by veskinfo-inspect " << Html(version) << ".</small></p>\n"
        << "</body></html>\n";
    return out.str();
}
