// The report over a fleet's probe lines: one record per machine (the newest of those read),
// totals by status, a table by model with the distinct identifiers its machines carry, the
// machines that need action, and the inputs and lines that gave no machine. As one HTML file
// that works offline, a text summary, or a CSV file of the machines.
#pragma once
#include "input/FleetInput.h"

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

// The machines of one model (manufacturer and product name).
struct ModelTally {
    std::string manufacturer;
    std::string product;
    size_t machines = 0;
    std::array<size_t, kProbeStatuses> statuses{};
    std::map<std::string, size_t> systemIds; // identifier -> machines carrying it
    std::map<std::string, size_t> regulatoryIds;
    bool known = true; // false for the machines whose model nobody read

    // A fall-back identifier among them, or (for a model that was read) more than one
    // identifier of either kind.
    bool Flagged() const;
};

// A machine: the record kept for it, and how many were read.
struct MachineEntry {
    ProbeRecord record;
    size_t records = 1;
};

// Reads records into one a machine, then counts them (Finish).
class FleetTally : public FleetSink {
  public:
    void Machine(ProbeRecord&& record) override;
    void Refused(RefusedLine&& refused) override;
    void Input(InputSummary&& summary) { inputs.push_back(std::move(summary)); }
    // Counts the machines kept: totals, models, the machines that need action.
    void Finish();

    size_t NeedingAction() const { return machines - statuses[0]; }
    std::vector<const ModelTally*> FlaggedModels() const;
    // Flagged models first, then by the number of machines, then by name.
    std::vector<const ModelTally*> ModelsInOrder() const;

    std::deque<MachineEntry> kept; // in the order first read
    size_t records = 0;            // machine records read, before merging
    size_t repeated = 0;           // machines with more than one record
    // Counted by Finish:
    size_t machines = 0;
    std::array<size_t, kProbeStatuses> statuses{};
    std::unordered_map<std::string, ModelTally> models; // by manufacturer and product
    std::vector<size_t> actions;                        // kept machines needing action, the first
    size_t actionsNotShown = 0;                         // kActionsShown
    std::vector<RefusedLine> refused;                   // the first kRefusedShown
    size_t refusedLines = 0;
    std::vector<InputSummary> inputs;

  private:
    std::unordered_map<std::string, size_t> m_index; // machine -> its place in `kept`
    size_t m_unnamed = 0;
};

constexpr size_t kActionsShown = 500;
constexpr size_t kActionsInText = 50;
constexpr size_t kRefusedShown = 200;
constexpr size_t kModelsShown = 500;

// What identifies a machine: its UUID; without one, its serial number with its model; without
// either, its device name (the device-management name, else the probe's). Empty: nothing does.
std::string MachineKey(const ProbeRecord& record);
// The name a machine is shown by, and the probe's own name when it is another.
std::string ShownName(const ProbeRecord& record);
std::string OtherName(const ProbeRecord& record);

// What a machine needs done, as pieces: fixed text, identifiers and other texts from the machine.
enum class ReasonPart { Fixed, Identifier, Text };
void ForEachReasonPart(const ProbeRecord& record,
                       const std::function<void(std::string_view, ReasonPart)>& part);
// The same as plain text, the machine's texts as they are.
std::string ActionReason(const ProbeRecord& record);
std::string ModelName(const ModelTally& model);
std::string ModelName(const ProbeRecord& record);

// "N machines reported more than once; the newest record kept (M records read)".
std::string RepeatedMachines(const FleetTally& tally);

void WriteFleetText(std::ostream& out, const FleetTally& tally);
std::string FleetHtml(const FleetTally& tally, const std::string& version);
std::string FleetCsv(const FleetTally& tally);

// --report OUT INPUT...: OUT "-" writes the text summary to `out`, a name ending in .csv the
// CSV file, any other the HTML file. Returns the exit status: 2 when the output would overwrite
// an input, an input was refused whole, no machine was read, or the report could not be written.
int RunFleetReport(const std::string& report, const std::vector<std::string>& arguments,
                   const std::string& version, std::ostream& out, std::ostream& err);
