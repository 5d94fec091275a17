// The report as one HTML file: its style and chart are inline, it loads nothing, and every text
// that came from a machine or a file is escaped, so that it shows as text and runs nothing.
#include "report/FleetReport.h"

#include <algorithm>
#include <sstream>

namespace {

constexpr std::array<const char*, kProbeStatuses> kColours = {
    "#2e7d32", "#c62828", "#ef6c00", "#6a1b9a", "#ad1457", "#455a64", "#212121"};
constexpr std::array<const char*, kProbeStatuses> kMeanings = {
    "the stored values are what the firmware gives",
    "a stored value differs from the firmware's",
    "some values are not stored",
    "no value is stored: VeskInfo has not run",
    "the values are only in the 64-bit registry view",
    "no table source answered",
    "the probe could not run"};
constexpr size_t kIdsShown = 10; // per model and kind

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
size_t Utf8Length(std::string_view text) {
    const unsigned char lead = static_cast<unsigned char>(text[0]);
    size_t length = lead < 0x80                   ? 1
                    : lead >= 0xC2 && lead < 0xE0 ? 2
                    : lead >= 0xE0 && lead < 0xF0 ? 3
                    : lead >= 0xF0 && lead < 0xF5 ? 4
                                                  : 0;
    if (length == 0 || length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 0;
    const unsigned char second = static_cast<unsigned char>(length > 1 ? text[1] : 0);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90))
        return 0; // overlong, a surrogate, or beyond U+10FFFF
    return length;
}

// Text as HTML: the five special characters as references, control bytes and bytes that are
// no UTF-8 as U+FFFD.
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

const char kStyle[] =
    "body{font-family:system-ui,sans-serif;margin:2em;color:#212121;max-width:75em}"
    "h1{font-size:1.6em}h2{font-size:1.25em;margin-top:1.8em}"
    "table{border-collapse:collapse;margin:.5em 0}"
    "th,td{border:1px solid #ccc;padding:.25em .6em;text-align:left;vertical-align:top}"
    "th{background:#f0f0f0}td.n{text-align:right;font-variant-numeric:tabular-nums}"
    "tr.flagged td{background:#fff3e0}.flag{color:#c62828;font-weight:bold}"
    ".summary{font-size:1.15em}.more{font-style:italic}"
    "code{font-size:1.05em;word-break:break-all}";

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
    if (tally.repeatedNames)
        out << "<p>Machine names met more than once: " << tally.repeatedNames
            << " (each line counts as a machine).</p>\n";
    out << "</section>\n";
}

void Ids(std::ostream& out, const std::map<std::string, size_t>& ids) {
    std::vector<std::pair<std::string, size_t>> order(ids.begin(), ids.end());
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    out << "<td>";
    for (size_t i = 0; i < order.size() && i < kIdsShown; ++i)
        out << (i ? "<br>" : "") << "<code>" << Html(order[i].first) << "</code> ("
            << order[i].second << ")";
    if (order.size() > kIdsShown)
        out << "<br><span class=\"more\">and " << order.size() - kIdsShown << " more</span>";
    out << "</td>";
}

void Models(std::ostream& out, const FleetTally& tally) {
    out << "<section id=\"models\"><h2>Models</h2>\n<p>A model is flagged when its machines carry "
           "more than one system or regulatory identifier, or the fall-back \"0\" or "
           "\"00000\".</p>\n<table><tr><th>Model</th><th>Machines</th>";
    for (int i = 0; i < kProbeStatuses; ++i)
        out << "<th>" << ProbeStatusName(static_cast<ProbeStatus>(i)) << "</th>";
    out << "<th>System identifiers</th><th>Regulatory identifiers</th></tr>\n";
    const std::vector<const ModelTally*> order = tally.ModelsInOrder();
    for (size_t m = 0; m < order.size() && m < kModelsShown; ++m) {
        const ModelTally& model = *order[m];
        out << (model.Flagged() ? "<tr class=\"flagged\"><td class=\"model\">"
                                : "<tr><td class=\"model\">")
            << Html(ModelName(model))
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

void Actions(std::ostream& out, const FleetTally& tally) {
    out << "<section id=\"actions\"><h2>Machines that need action</h2>\n<table><tr>"
           "<th>Machine</th><th>Model</th><th>Status</th><th>Reason</th></tr>\n";
    for (const ActionEntry& action : tally.actions)
        out << "<tr><td>" << Html(action.machine) << "</td><td>" << Html(action.model)
            << "</td><td>" << ProbeStatusName(action.status) << "</td><td>" << Html(action.reason)
            << "</td></tr>\n";
    out << "</table>\n";
    if (tally.actionsNotShown)
        out << "<p class=\"more\">and " << tally.actionsNotShown << " more machines</p>\n";
    out << "</section>\n";
}

void Inputs(std::ostream& out, const FleetTally& tally) {
    out << "<section id=\"inputs\"><h2>Inputs read</h2>\n<table><tr><th>Input</th><th>Kind</th>"
           "<th>Lines</th><th>Machines</th><th>Refused</th><th>Problem</th></tr>\n";
    for (const InputSummary& input : tally.inputs)
        out << "<tr><td>" << Html(input.name) << "</td><td>" << input.kind
            << "</td><td class=\"n\">" << input.lines << "</td><td class=\"n\">" << input.machines
            << "</td><td class=\"n\">" << input.refused << "</td><td>" << Html(input.error)
            << "</td></tr>\n";
    out << "</table>\n<h2 id=\"refused\">Lines refused: " << tally.refusedLines << "</h2>\n"
        << "<table><tr><th>Input</th><th>Line</th><th>Device</th><th>Reason</th>"
           "<th>Beginning</th></tr>\n";
    for (const RefusedLine& line : tally.refused)
        out << "<tr><td>" << Html(line.input) << "</td><td class=\"n\">" << line.line << "</td><td>"
            << Html(line.device) << "</td><td>" << Html(line.reason) << "</td><td><code>"
            << Html(line.excerpt) << "</code></td></tr>\n";
    out << "</table>\n";
    if (tally.refusedLines > tally.refused.size())
        out << "<p class=\"more\">and " << tally.refusedLines - tally.refused.size()
            << " more lines</p>\n";
    out << "</section>\n";
}

} // namespace

std::string FleetHtml(const FleetTally& tally, const std::string& version) {
    std::ostringstream out;
    out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width\">"
           "<title>VeskInfo fleet report</title><style>"
        << kStyle << "</style></head>\n<body>\n<h1>VeskInfo fleet report</h1>\n"
        << "<p class=\"summary\" id=\"summary\"><b>" << tally.machines << "</b> machines, <b>"
        << tally.NeedingAction() << "</b> need action, <b>" << tally.FlaggedModels().size()
        << "</b> of " << tally.models.size() << " models flagged, <b>" << tally.refusedLines
        << "</b> lines refused, from " << tally.inputs.size() << " inputs.</p>\n";
    Totals(out, tally);
    Models(out, tally);
    Actions(out, tally);
    Inputs(out, tally);
    out << "<p><small>Made by veskinfo-inspect " << Html(version) << ".</small></p>\n"
        << "</body></html>\n";
    return out.str();
}
