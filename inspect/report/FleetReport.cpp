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
const char kNoInspector[] = "the inspector is not installed: deploy the VeskInfo installer "
                            "package (MSI) to this machine as a required app";
constexpr std::array<const char*, 3> kValueLabels = {"manufacturer", "system identifier",
                                                     "regulatory identifier"};

} // namespace

const std::string& ShownName(const ProbeRecord& record) {
    return record.device.empty() ? record.machine : record.device;
}

std::string_view ShownName(const FleetRecord& record) {
    return record.device.empty() ? record.machine : record.device;
}

std::string OtherName(const FleetRecord& record) {
    return std::string(record.device.empty() || record.machine == record.device ? ""
                                                                                : record.machine);
}

std::string ModelName(const ModelTally& model) {
    if (!model.known) return "(model not read)";
    if (model.manufacturer.empty()) return model.product;
    return model.product.empty() ? model.manufacturer : model.manufacturer + " " + model.product;
}

std::string ModelName(const FleetRecord& record) {
    ModelTally model;
    model.manufacturer = *record.manufacturer;
    model.product = *record.product;
    model.known = !model.manufacturer.empty() || !model.product.empty();
    return ModelName(model);
}

void ForEachReasonPart(const FleetRecord& record,
                       const std::function<void(std::string_view, ReasonPart)>& part) {
    bool first = true;
    const std::string_view error = std::string_view(*record.error).substr(0, 2 * kValueShown);
    const auto fixed = [&](std::string_view text) { part(text, ReasonPart::Fixed); };
    const auto begin = [&]() {
        if (!first) fixed("; ");
        first = false;
    };
    const auto quoted = [&](const std::string* value) {
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
        if (error.empty())
            fixed("the probe failed");
        else
            part(error, ReasonPart::Text);
        break;
    case ProbeStatus::NoInspector:
        begin();
        fixed(kNoInspector);
        if (!error.empty()) {
            fixed(" (");
            part(error, ReasonPart::Text);
            fixed(")");
        }
        break;
    case ProbeStatus::NoOutput:
        begin();
        fixed("the detection gave no output");
        if (!record.detection->empty()) {
            fixed(" (detection state ");
            part(*record.detection, ReasonPart::Text);
            fixed(")");
        }
        if (!error.empty()) {
            fixed(": ");
            part(error, ReasonPart::Text);
        }
        break;
    }
    if (first) fixed(ProbeStatusName(record.status));
}

std::string RepeatedMachines(const FleetTally& tally) {
    return std::to_string(tally.repeated) + (tally.repeated == 1 ? " machine" : " machines") +
           " reported more than once; the newest record kept (" + std::to_string(tally.records) +
           " records read)";
}

std::string JoinedDevices(const FleetTally& tally) {
    constexpr std::array<const char*, kJoinKeys> names = {"device id", "UUID", "serial number",
                                                          "name"};
    std::string text = "Joined from several records: " + std::to_string(tally.repeated) +
                       (tally.repeated == 1 ? " device" : " devices");
    for (int key = 0; key < kJoinKeys; ++key)
        text += (key ? ", by " : "; by ") + std::string(names[key]) + " " +
                std::to_string(tally.joinedBy[key]);
    return text;
}

std::string TimesNotRead(const FleetTally& tally) {
    size_t count = 0, inDoubt = 0;
    const InputSummary* first = nullptr;
    for (const InputSummary& input : tally.inputs) {
        count += input.timesNotRead;
        inDoubt += input.timesInDoubt;
        if (!first && input.timesNotRead) first = &input;
    }
    if (!first) return "";
    std::string text = "Times not read: " + std::to_string(count) + " (first: " + first->name +
                       ":" + std::to_string(first->firstTimeLine) + " '" + first->firstTime + "')";
    if (inDoubt)
        text += "; " + std::to_string(inDoubt) +
                " with day and month in doubt: --date-order dmy or mdy settles them";
    return text;
}

std::string NoInspectorAdvice(const FleetTally& tally) {
    const size_t count = tally.statuses[static_cast<int>(ProbeStatus::NoInspector)];
    if (count == 0) return "";
    return std::to_string(count) + (count == 1 ? " machine has" : " machines have") +
           " VeskInfo without the inspector: deploy the VeskInfo installer package (MSI) to them "
           "as a required app, which installs the inspector beside VeskInfo";
}

std::string ActionReason(const FleetRecord& record) {
    std::string reason;
    ForEachReasonPart(record, [&reason](std::string_view text, ReasonPart) { reason += text; });
    return reason;
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

void WriteName(std::ostream& out, const FleetRecord& record) {
    const std::string name(ShownName(record)), other = OtherName(record);
    out << (name.empty() ? "(no name)" : Line(name));
    if (!other.empty()) out << " (probe: " << Line(other) << ")";
}

void WriteActions(std::ostream& out, const FleetTally& tally) {
    if (tally.actions.empty()) return;
    out << "Machines that need action, the first " << kActionsInText << ":\n";
    for (size_t i = 0; i < tally.actions.size() && i < kActionsInText; ++i) {
        const FleetRecord& record = tally.Record(tally.devices[tally.actions[i]]);
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

void WriteShared(std::ostream& out, const FleetTally& tally) {
    if (tally.sharedUuids.empty()) return;
    out << "Shared UUIDs: " << tally.sharedUuids.size()
        << " (each names no one machine: the machines behind it are told apart by device id, "
           "serial number or name)\n";
    for (size_t i = 0; i < tally.sharedUuids.size() && i < kSharedInText; ++i) {
        const SharedUuid& shared = tally.sharedUuids[i];
        out << "  " << Id(shared.uuid) << ": " << shared.devices
            << (shared.devices == 1 ? " machine (" : " machines (") << shared.why << ")\n";
    }
    if (tally.sharedUuids.size() > kSharedInText)
        out << "  and " << tally.sharedUuids.size() - kSharedInText << " more\n";
}

} // namespace

void WriteFleetText(std::ostream& out, const FleetTally& tally) {
    out << kReportTextStart << tally.machines << "\n";
    for (int i = 0; i < kProbeStatuses; ++i)
        out << "  " << ProbeStatusName(static_cast<ProbeStatus>(i)) << ": " << tally.statuses[i]
            << "\n";
    out << "Need action: " << tally.NeedingAction() << "\n";
    if (!NoInspectorAdvice(tally).empty()) out << NoInspectorAdvice(tally) << "\n";
    if (tally.repeated) out << RepeatedMachines(tally) << "\n" << JoinedDevices(tally) << "\n";
    WriteShared(out, tally);
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
                << ", refused " << input.refused
                << (input.timesNotRead ? ", times not read " + std::to_string(input.timesNotRead)
                                       : "")
                << "\n";
    }
    if (!TimesNotRead(tally).empty()) out << Line(TimesNotRead(tally)) << "\n";
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
                   DateOrder order, const std::string& version, std::ostream& out,
                   std::ostream& err) {
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
            summary = ReadFleetInput(item.path, source, tally, order);
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
    std::vector<unsigned char> bytes;
    if (Named(report, ".csv")) {
        bytes = FleetCsv(tally);
    } else {
        const std::string html = FleetHtml(tally, version);
        bytes.assign(html.begin(), html.end());
    }
    std::string error;
    if (!WriteFileBytes(report, bytes, error)) {
        err << program << report << ": " << error << "\n";
        return kBadInput;
    }
    err << program << tally.machines << " machines (" << tally.records << " records), "
        << tally.NeedingAction() << " need action, " << tally.FlaggedModels().size()
        << " models flagged, " << tally.refusedLines << " lines refused: " << report << "\n";
    return status;
}
