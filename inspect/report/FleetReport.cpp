#include "report/FleetReport.h"

#include "input/InputFiles.h"
#include "inspection/Status.h"
#include "platform/Platform.h"
#include "report/FleetShow.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <tuple>

namespace fs = std::filesystem;

namespace {

constexpr size_t kValueShown = 100; // bytes of a value quoted in a reason
constexpr std::array<const char*, 3> kValueLabels = {"manufacturer", "system identifier",
                                                     "regulatory identifier"};
const char kSystemFallback[] = "0";
const char kRegulatoryFallback[] = "00000";

// Serial numbers that firmware gives when nobody set one: many machines carry each.
constexpr std::array<const char*, 10> kPlaceholderSerials = {"to be filled by o.e.m.",
                                                             "default string",
                                                             "system serial number",
                                                             "not specified",
                                                             "not applicable",
                                                             "none",
                                                             "n/a",
                                                             "serial number",
                                                             "123456789",
                                                             "0123456789"};

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

bool UsableSerial(const std::optional<std::string>& serial) {
    if (!serial || serial->find_first_not_of(" 0") == std::string::npos) return false;
    const std::string lower = Lower(*serial);
    return std::find(kPlaceholderSerials.begin(), kPlaceholderSerials.end(), lower) ==
           kPlaceholderSerials.end();
}

// The identifier the machine carries: the firmware's, else the one stored.
const std::optional<std::string>& Carried(const ProbeRecord& record, int index) {
    return record.expected[index] ? record.expected[index] : record.stored[index];
}

void Count(std::map<std::string, size_t>& ids, const std::optional<std::string>& id) {
    if (id) ++ids[*id];
}

// The record read last replaces the one kept unless both carry a time stamp and it is older.
bool Replaces(const ProbeRecord& read, const ProbeRecord& kept) {
    return !read.updated || !kept.updated || *read.updated >= *kept.updated;
}

} // namespace

std::string MachineKey(const ProbeRecord& record) {
    // A UUID that names no unit (all zeros, all FF) is not written by the probe.
    if (record.uuid && !record.uuid->empty()) {
        std::string key = "U" + *record.uuid;
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return key;
    }
    if (UsableSerial(record.serial))
        return "S" + record.manufacturer + '\x1f' + record.product + '\x1f' + *record.serial;
    const std::string& name = ShownName(record);
    return name.empty() ? std::string() : "N" + name;
}

std::string ShownName(const ProbeRecord& record) {
    return record.device.empty() ? record.machine : record.device;
}

std::string OtherName(const ProbeRecord& record) {
    return record.device.empty() || record.machine == record.device ? "" : record.machine;
}

bool ModelTally::Flagged() const {
    return systemIds.count(kSystemFallback) || regulatoryIds.count(kRegulatoryFallback) ||
           (known && (systemIds.size() > 1 || regulatoryIds.size() > 1));
}

std::string ModelName(const ModelTally& model) {
    if (!model.known) return "(model not read)";
    if (model.manufacturer.empty()) return model.product;
    return model.product.empty() ? model.manufacturer : model.manufacturer + " " + model.product;
}

std::string ModelName(const ProbeRecord& record) {
    ModelTally model;
    model.manufacturer = record.manufacturer;
    model.product = record.product;
    model.known = !record.manufacturer.empty() || !record.product.empty();
    return ModelName(model);
}

void ForEachReasonPart(const ProbeRecord& record,
                       const std::function<void(std::string_view, ReasonPart)>& part) {
    bool first = true;
    const auto fixed = [&](std::string_view text) { part(text, ReasonPart::Fixed); };
    const auto begin = [&]() {
        if (!first) fixed("; ");
        first = false;
    };
    const auto quoted = [&](const std::optional<std::string>& value) {
        if (!value) return fixed("(none)");
        fixed("\"");
        part(std::string_view(*value).substr(0, kValueShown), ReasonPart::Identifier);
        fixed(value->size() > kValueShown ? "...\"" : "\"");
    };
    switch (record.status) {
    case ProbeStatus::Match:
        break;
    case ProbeStatus::Differs:
        for (size_t i = 0; i < kValueLabels.size(); ++i)
            if (record.stored[i] != record.expected[i]) {
                begin();
                fixed(kValueLabels[i]);
                fixed(" stored ");
                quoted(record.stored[i]);
                fixed(", firmware ");
                quoted(record.expected[i]);
            }
        break;
    case ProbeStatus::Missing:
        for (size_t i = 0; i < kValueLabels.size(); ++i)
            if (!record.stored[i]) {
                begin();
                fixed(kValueLabels[i]);
                fixed(" not stored");
            }
        break;
    case ProbeStatus::NotRun:
        begin();
        fixed("no value stored: VeskInfo has not run, or the values were deleted");
        break;
    case ProbeStatus::Only64Bit:
        begin();
        fixed("values only in the 64-bit registry view, where another tool wrote them");
        break;
    case ProbeStatus::NoTable:
        begin();
        fixed("no table source answered");
        break;
    case ProbeStatus::Error:
        begin();
        if (record.error.empty())
            fixed("the probe failed");
        else
            part(std::string_view(record.error).substr(0, 2 * kValueShown), ReasonPart::Text);
        break;
    }
    if (first) fixed(ProbeStatusName(record.status));
}

std::string RepeatedMachines(const FleetTally& tally) {
    return std::to_string(tally.repeated) + (tally.repeated == 1 ? " machine" : " machines") +
           " reported more than once; the newest record kept (" + std::to_string(tally.records) +
           " records read)";
}

std::string ActionReason(const ProbeRecord& record) {
    std::string reason;
    ForEachReasonPart(record, [&reason](std::string_view text, ReasonPart) { reason += text; });
    return reason;
}

void FleetTally::Machine(ProbeRecord&& record) {
    ++records;
    std::string key = MachineKey(record);
    if (key.empty()) key = "L" + std::to_string(m_unnamed++);
    const auto [at, added] = m_index.emplace(std::move(key), kept.size());
    if (added) {
        kept.push_back({std::move(record), 1});
    } else {
        MachineEntry& entry = kept[at->second];
        if (entry.records++ == 1) ++repeated;
        if (Replaces(record, entry.record)) entry.record = std::move(record);
    }
    // What no part of the report shows is not kept.
    ProbeRecord& stored = kept[at->second].record;
    stored.source.clear();
    stored.family.clear();
    stored.sku.clear();
}

void FleetTally::Refused(RefusedLine&& line) {
    if (refusedLines++ < kRefusedShown) refused.push_back(std::move(line));
}

void FleetTally::Finish() {
    machines = kept.size();
    statuses.fill(0);
    models.clear();
    actions.clear();
    actionsNotShown = 0;
    for (size_t i = 0; i < kept.size(); ++i) {
        const ProbeRecord& record = kept[i].record;
        ++statuses[static_cast<int>(record.status)];
        const bool known = !record.manufacturer.empty() || !record.product.empty();
        ModelTally& model =
            models[known ? record.manufacturer + '\x1f' + record.product : std::string()];
        if (model.machines++ == 0) {
            model.manufacturer = record.manufacturer;
            model.product = record.product;
            model.known = known;
        }
        ++model.statuses[static_cast<int>(record.status)];
        Count(model.systemIds, Carried(record, kProbeSystemId));
        Count(model.regulatoryIds, Carried(record, kProbeRegulatoryId));
        if (record.status == ProbeStatus::Match) continue;
        if (actions.size() == kActionsShown)
            ++actionsNotShown;
        else
            actions.push_back(i);
    }
}

std::vector<const ModelTally*> FleetTally::ModelsInOrder() const {
    std::vector<const ModelTally*> order;
    for (const auto& entry : models)
        order.push_back(&entry.second);
    std::sort(order.begin(), order.end(), [](const ModelTally* a, const ModelTally* b) {
        if (a->Flagged() != b->Flagged()) return a->Flagged();
        if (a->machines != b->machines) return a->machines > b->machines;
        return std::tie(a->manufacturer, a->product) < std::tie(b->manufacturer, b->product);
    });
    return order;
}

std::vector<const ModelTally*> FleetTally::FlaggedModels() const {
    std::vector<const ModelTally*> flagged = ModelsInOrder();
    flagged.erase(std::find_if(flagged.begin(), flagged.end(),
                               [](const ModelTally* model) { return !model->Flagged(); }),
                  flagged.end());
    return flagged;
}

namespace {

// Texts from the machines and files, on one line.
std::string Line(const std::string& text) {
    return ShowText(text, Shown::Text);
}

std::string Id(const std::string& text) {
    return ShowText(text, Shown::Identifier);
}

void WriteIds(std::ostream& out, const char* label, const std::map<std::string, size_t>& ids) {
    out << "; " << label << ":";
    const char* separator = " ";
    for (const auto& [id, count] : ids) {
        out << separator << "\"" << Id(id) << "\" (" << count << ")";
        separator = ", ";
    }
    if (ids.empty()) out << " none";
}

void WriteName(std::ostream& out, const ProbeRecord& record) {
    const std::string name = ShownName(record), other = OtherName(record);
    out << (name.empty() ? "(no name)" : Line(name));
    if (!other.empty()) out << " (probe: " << Line(other) << ")";
}

void WriteActions(std::ostream& out, const FleetTally& tally) {
    if (tally.actions.empty()) return;
    out << "Machines that need action, the first " << kActionsInText << ":\n";
    for (size_t i = 0; i < tally.actions.size() && i < kActionsInText; ++i) {
        const ProbeRecord& record = tally.kept[tally.actions[i]].record;
        out << "  ";
        WriteName(out, record);
        out << ": " << ProbeStatusName(record.status) << ": ";
        ForEachReasonPart(record, [&out](std::string_view text, ReasonPart part) {
            out << (part == ReasonPart::Fixed        ? std::string(text)
                    : part == ReasonPart::Identifier ? Id(std::string(text))
                                                     : Line(std::string(text)));
        });
        out << "\n";
    }
    const size_t more = tally.NeedingAction() - std::min(tally.NeedingAction(), kActionsInText);
    if (more) out << "  and " << more << " more\n";
}

} // namespace

void WriteFleetText(std::ostream& out, const FleetTally& tally) {
    out << kReportTextStart << tally.machines << "\n";
    for (int i = 0; i < kProbeStatuses; ++i)
        out << "  " << ProbeStatusName(static_cast<ProbeStatus>(i)) << ": " << tally.statuses[i]
            << "\n";
    out << "Need action: " << tally.NeedingAction() << "\n";
    if (tally.repeated) out << RepeatedMachines(tally) << "\n";
    const std::vector<const ModelTally*> flagged = tally.FlaggedModels();
    out << "Models: " << tally.models.size() << ", flagged: " << flagged.size() << "\n";
    for (const ModelTally* model : flagged) {
        out << "  " << Line(ModelName(*model)) << ": machines " << model->machines;
        WriteIds(out, "system identifiers", model->systemIds);
        WriteIds(out, "regulatory identifiers", model->regulatoryIds);
        out << "\n";
    }
    out << "Inputs: " << tally.inputs.size() << "\n";
    for (const InputSummary& input : tally.inputs) {
        out << "  " << Line(input.name) << ": ";
        if (!input.error.empty())
            out << "refused: " << Line(input.error) << "\n";
        else if (input.skipped)
            out << input.kind << "\n";
        else
            out << input.kind << "; lines " << input.lines << ", machines " << input.machines
                << ", refused " << input.refused << "\n";
    }
    out << "Lines refused: " << tally.refusedLines << "\n";
    for (const RefusedLine& line : tally.refused) {
        out << "  " << Line(line.input) << ":" << line.line;
        if (!line.device.empty()) out << " (" << Line(line.device) << ")";
        out << ": " << Line(line.reason);
        if (!line.excerpt.empty()) out << ": " << Line(line.excerpt);
        out << "\n";
    }
    if (tally.refusedLines > tally.refused.size())
        out << "  and " << tally.refusedLines - tally.refused.size() << " more\n";
    WriteActions(out, tally);
}

namespace {

// True when `a` and `b` name one file: the same file where both exist, else the same path.
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    const fs::path first = fs::u8path(a), second = fs::u8path(b);
    if (fs::equivalent(first, second, error)) return true;
    const fs::path one = fs::weakly_canonical(first, error);
    if (error) return false;
    const fs::path two = fs::weakly_canonical(second, error);
    return !error && one == two;
}

} // namespace

int RunFleetReport(const std::string& report, const std::vector<std::string>& arguments,
                   const std::string& version, std::ostream& out, std::ostream& err) {
    const char* program = "veskinfo-inspect: ";
    const std::vector<BatchItem> items = ExpandInputs(arguments);
    if (report != "-")
        for (const BatchItem& item : items)
            if (item.path != "-" && SameFile(report, item.path)) {
                err << program << Line(report) << ": the report would overwrite its input "
                    << Line(item.path) << "\n";
                return kBadInput;
            }
    int status = kCompleted;
    FleetTally tally;
    for (const BatchItem& item : items) {
        InputSummary summary;
        FileSource source;
        if (item.error.empty() && source.Open(item.path, summary.error)) {
            summary = ReadFleetInput(item.path, source, tally);
        } else {
            summary.name = item.path;
            if (!item.error.empty()) summary.error = item.error;
        }
        if (!summary.error.empty()) {
            err << program << Line(summary.name) << ": " << Line(summary.error) << "\n";
            status = kBadInput;
        }
        tally.Input(std::move(summary));
    }
    tally.Finish();
    if (tally.machines == 0) {
        err << program << "no machine was read from any input\n";
        status = kBadInput;
    }
    if (report == "-") {
        WriteFleetText(out, tally);
        out.flush();
        return status;
    }
    const std::string bytes = Named(report, ".csv") ? FleetCsv(tally) : FleetHtml(tally, version);
    std::string error;
    if (!WriteFileBytes(report, std::vector<unsigned char>(bytes.begin(), bytes.end()), error)) {
        err << program << report << ": " << error << "\n";
        return kBadInput;
    }
    err << program << tally.machines << " machines (" << tally.records << " records), "
        << tally.NeedingAction() << " need action, " << tally.FlaggedModels().size()
        << " models flagged, " << tally.refusedLines << " lines refused: " << report << "\n";
    return status;
}
