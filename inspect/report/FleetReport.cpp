#include "report/FleetReport.h"

#include "input/InputFiles.h"
#include "inspection/Status.h"
#include "platform/Platform.h"
#include "report/Report.h"

#include <algorithm>
#include <tuple>

namespace {

constexpr size_t kValueShown = 100; // bytes of a value quoted in a reason
constexpr std::array<const char*, 3> kValueLabels = {"manufacturer", "system identifier",
                                                     "regulatory identifier"};
const char kSystemFallback[] = "0";
const char kRegulatoryFallback[] = "00000";

std::string Quoted(const std::optional<std::string>& value) {
    if (!value) return "(none)";
    if (value->size() <= kValueShown) return "\"" + *value + "\"";
    return "\"" + value->substr(0, kValueShown) + "...\"";
}

// The identifier the machine carries: the firmware's, else the one stored.
const std::optional<std::string>& Carried(const ProbeRecord& record, int index) {
    return record.expected[index] ? record.expected[index] : record.stored[index];
}

void Count(std::map<std::string, size_t>& ids, const std::optional<std::string>& id) {
    if (id) ++ids[*id];
}

} // namespace

bool ModelTally::Flagged() const {
    return known && (systemIds.size() > 1 || regulatoryIds.size() > 1 ||
                     systemIds.count(kSystemFallback) || regulatoryIds.count(kRegulatoryFallback));
}

std::string ModelName(const ModelTally& model) {
    if (!model.known) return "(model not read)";
    if (model.manufacturer.empty()) return model.product;
    return model.product.empty() ? model.manufacturer : model.manufacturer + " " + model.product;
}

std::string ActionReason(const ProbeRecord& record) {
    std::string reason;
    const auto add = [&reason](const std::string& part) {
        reason += (reason.empty() ? "" : "; ") + part;
    };
    switch (record.status) {
    case ProbeStatus::Match:
        break;
    case ProbeStatus::Differs:
        for (size_t i = 0; i < kValueLabels.size(); ++i)
            if (record.stored[i] != record.expected[i])
                add(std::string(kValueLabels[i]) + " stored " + Quoted(record.stored[i]) +
                    ", firmware " + Quoted(record.expected[i]));
        break;
    case ProbeStatus::Missing:
        for (size_t i = 0; i < kValueLabels.size(); ++i)
            if (!record.stored[i]) add(std::string(kValueLabels[i]) + " not stored");
        break;
    case ProbeStatus::NotRun:
        add("no value stored: VeskInfo has not run, or the values were deleted");
        break;
    case ProbeStatus::Only64Bit:
        add("values only in the 64-bit registry view, where another tool wrote them");
        break;
    case ProbeStatus::NoTable:
        add("no table source answered");
        break;
    case ProbeStatus::Error:
        add(record.error.empty() ? "the probe failed" : record.error.substr(0, 2 * kValueShown));
        break;
    }
    return reason.empty() ? ProbeStatusName(record.status) : reason;
}

void FleetTally::Machine(const ProbeRecord& record) {
    ++machines;
    ++statuses[static_cast<int>(record.status)];
    if (!record.machine.empty() && !m_names.insert(record.machine).second) ++repeatedNames;
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
    if (record.status == ProbeStatus::Match) return;
    if (actions.size() == kActionsShown) {
        ++actionsNotShown;
        return;
    }
    actions.push_back({record.machine, ModelName(model), record.status, ActionReason(record)});
}

void FleetTally::Refused(RefusedLine&& line) {
    if (refusedLines++ < kRefusedShown) refused.push_back(std::move(line));
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

// Texts from the machines, on one line: C escapes for control bytes.
std::string Line(const std::string& text) {
    return EscapeC(text);
}

void WriteIds(std::ostream& out, const char* label, const std::map<std::string, size_t>& ids) {
    out << "; " << label << ":";
    const char* separator = " ";
    for (const auto& [id, count] : ids) {
        out << separator << "\"" << Line(id) << "\" (" << count << ")";
        separator = ", ";
    }
    if (ids.empty()) out << " none";
}

} // namespace

void WriteFleetText(std::ostream& out, const FleetTally& tally) {
    out << "Machines: " << tally.machines << "\n";
    for (int i = 0; i < kProbeStatuses; ++i)
        out << "  " << ProbeStatusName(static_cast<ProbeStatus>(i)) << ": " << tally.statuses[i]
            << "\n";
    out << "Need action: " << tally.NeedingAction() << "\n";
    if (tally.repeatedNames)
        out << "Machine names met more than once: " << tally.repeatedNames << "\n";
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
        else
            out << input.kind << "; lines " << input.lines << ", machines " << input.machines
                << ", refused " << input.refused << "\n";
    }
    out << "Lines refused: " << tally.refusedLines << "\n";
    for (const RefusedLine& line : tally.refused) {
        out << "  " << Line(line.input) << ":" << line.line;
        if (!line.device.empty()) out << " (" << Line(line.device) << ")";
        out << ": " << line.reason;
        if (!line.excerpt.empty()) out << ": " << Line(line.excerpt);
        out << "\n";
    }
    if (tally.refusedLines > tally.refused.size())
        out << "  and " << tally.refusedLines - tally.refused.size() << " more\n";
}

int RunFleetReport(const std::string& report, const std::vector<std::string>& arguments,
                   const std::string& version, std::ostream& out, std::ostream& err) {
    const char* program = "veskinfo-inspect: ";
    int status = kCompleted;
    FleetTally tally;
    for (const BatchItem& item : ExpandInputs(arguments)) {
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
    if (report == "-") {
        WriteFleetText(out, tally);
        out.flush();
        return status;
    }
    const std::string html = FleetHtml(tally, version);
    std::string error;
    if (!WriteFileBytes(report, std::vector<unsigned char>(html.begin(), html.end()), error)) {
        err << program << report << ": " << error << "\n";
        return kBadInput;
    }
    err << program << tally.machines << " machines, " << tally.NeedingAction() << " need action, "
        << tally.FlaggedModels().size() << " models flagged, " << tally.refusedLines
        << " lines refused: " << report << "\n";
    return status;
}
