// The report over a fleet's probe lines: totals by status, a table by model with the distinct
// identifiers its machines carry, the machines that need action, and the inputs and lines that
// gave no machine. As one HTML file that works offline, or as a text summary.
#pragma once
#include "input/FleetInput.h"

#include <array>
#include <map>
#include <ostream>
#include <string>
#include <unordered_map>
#include <unordered_set>
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

    // More than one identifier of either kind, or a fall-back among them.
    bool Flagged() const;
};

struct ActionEntry {
    std::string machine;
    std::string model;
    ProbeStatus status;
    std::string reason;
};

class FleetTally : public FleetSink {
  public:
    void Machine(const ProbeRecord& record) override;
    void Refused(RefusedLine&& refused) override;
    void Input(InputSummary&& summary) { inputs.push_back(std::move(summary)); }

    size_t Machines() const { return machines; }
    size_t NeedingAction() const { return machines - statuses[0]; }
    std::vector<const ModelTally*> FlaggedModels() const;
    // Flagged models first, then by the number of machines, then by name.
    std::vector<const ModelTally*> ModelsInOrder() const;

    size_t machines = 0;
    std::array<size_t, kProbeStatuses> statuses{};
    std::unordered_map<std::string, ModelTally> models; // by manufacturer and product
    std::vector<ActionEntry> actions;                   // the first kActionsShown
    size_t actionsNotShown = 0;
    std::vector<RefusedLine> refused; // the first kRefusedShown
    size_t refusedLines = 0;
    size_t repeatedNames = 0; // machines whose name was met before
    std::vector<InputSummary> inputs;

  private:
    std::unordered_set<std::string> m_names;
};

constexpr size_t kActionsShown = 500;
constexpr size_t kRefusedShown = 200;
constexpr size_t kModelsShown = 500;

// What a machine needs done, from its probe line.
std::string ActionReason(const ProbeRecord& record);
std::string ModelName(const ModelTally& model);

void WriteFleetText(std::ostream& out, const FleetTally& tally);
std::string FleetHtml(const FleetTally& tally, const std::string& version);

// --report OUT INPUT...: OUT "-" writes the text summary to `out`. Returns the exit status: 2
// when an input was refused whole or the report could not be written.
int RunFleetReport(const std::string& report, const std::vector<std::string>& arguments,
                   const std::string& version, std::ostream& out, std::ostream& err);
