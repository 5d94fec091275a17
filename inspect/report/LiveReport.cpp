#include "report/LiveReport.h"

#include "report/Report.h"

#include <algorithm>
#include <vector>

namespace {

int IndexOf(LiveSource source) {
    return static_cast<int>(source);
}

bool Answered(const LiveMachine& machine, LiveSource source) {
    return machine.Table(source).answered;
}

// The sources whose walks differ for `field`, or an empty list when all agree.
std::vector<LiveSource> Differing(const LiveMachine& machine, IdentityField field) {
    std::vector<LiveSource> answered;
    for (const LiveSource source : kLiveSources)
        if (Answered(machine, source)) answered.push_back(source);
    const auto text = [&](LiveSource source) {
        return std::string(ValueText(machine.walks[IndexOf(source)], field));
    };
    const bool same = std::all_of(answered.begin(), answered.end(), [&](LiveSource source) {
        return text(source) == text(answered.front());
    });
    return same ? std::vector<LiveSource>() : answered;
}

std::string SourceLine(const LiveMachine& machine, LiveSource source) {
    const LiveTable& table = machine.Table(source);
    std::string line = std::string(LiveSourceName(source)) + ": ";
    if (!table.answered) return line + table.problem;
    if (!table.problem.empty())
        line += table.problem;
    else
        line += std::to_string(table.input.bytes.size()) + " bytes";
    const Inspection& walk = machine.walks[IndexOf(source)];
    for (const IdentityField field : kFields)
        line += " " + Quoted(ValueText(walk, field));
    return line + (walk.result ? "" : " (walk cut short)");
}

} // namespace

void PrintLiveSources(std::ostream& out, const LiveMachine& machine) {
    out << "Sources of this machine:\n";
    for (const LiveSource source : kLiveSources)
        if (machine.Table(source).asked) out << "  " << SourceLine(machine, source) << "\n";
    out << "VeskInfo uses: "
        << (machine.veskinfoUses < 0 ? "none (no source answered: it stores three empty values)"
                                     : LiveSourceName(kLiveSources[machine.veskinfoUses]))
        << "\n";
    bool any = false;
    for (const IdentityField field : kFields) {
        const std::vector<LiveSource> differing = Differing(machine, field);
        if (differing.empty()) continue;
        if (!any) out << "Identities differ:\n";
        any = true;
        out << "  " << FieldName(field) << ":";
        for (const LiveSource source : differing)
            out << " " << LiveSourceName(source) << " "
                << Quoted(ValueText(machine.walks[IndexOf(source)], field));
        out << "\n";
    }
    if (!any) out << "Identities differ: no (the sources that answered give the same values)\n";
}

Json LiveJson(const LiveMachine& machine) {
    Json sources = Json::array();
    for (const LiveSource source : kLiveSources) {
        const LiveTable& table = machine.Table(source);
        if (!table.asked) continue;
        Json entry = {{"source", LiveSourceName(source)},
                      {"answered", table.answered},
                      {"bytes", table.input.bytes.size()},
                      {"problem", table.problem.empty() ? Json(nullptr) : JsonText(table.problem)}};
        if (table.answered) {
            const Inspection& walk = machine.walks[IndexOf(source)];
            entry["walk_completed"] = walk.result != 0;
            for (const IdentityField field : kFields)
                entry[JsonFieldName(field)] = JsonText(ValueText(walk, field));
        }
        sources.push_back(std::move(entry));
    }
    Json differences = Json::object();
    for (const IdentityField field : kFields) {
        const std::vector<LiveSource> differing = Differing(machine, field);
        if (differing.empty()) continue;
        Json& texts = differences[JsonFieldName(field)] = Json::object();
        for (const LiveSource source : differing)
            texts[LiveSourceName(source)] =
                JsonText(ValueText(machine.walks[IndexOf(source)], field));
    }
    return {{"sources", std::move(sources)},
            {"veskinfo_uses", machine.veskinfoUses < 0
                                  ? Json(nullptr)
                                  : Json(LiveSourceName(kLiveSources[machine.veskinfoUses]))},
            {"differences", std::move(differences)}};
}

std::vector<unsigned char> RsmbFileOf(const TableInput& input, TableSource part,
                                      const RsmbHeader* version) {
    if (input.hasHeader) {
        const size_t used = std::min(input.bytes.size(), kRsmbHeaderSize + input.header.length);
        return std::vector<unsigned char>(input.bytes.begin(), input.bytes.begin() + used);
    }
    RsmbHeader header;
    header.major = 3;
    if (version != nullptr) {
        header = *version;
    } else if (input.hasEntryPoint && input.dump.entryPoint.major >= 2 &&
               input.dump.entryPoint.major <= 3) {
        header.major = input.dump.entryPoint.major;
        header.minor = input.dump.entryPoint.minor;
    }
    const uint32_t length = static_cast<uint32_t>(input.Length(part));
    std::vector<unsigned char> file = {0,
                                       static_cast<unsigned char>(header.major),
                                       static_cast<unsigned char>(header.minor),
                                       static_cast<unsigned char>(header.dmiRevision),
                                       static_cast<unsigned char>(length),
                                       static_cast<unsigned char>(length >> 8),
                                       static_cast<unsigned char>(length >> 16),
                                       static_cast<unsigned char>(length >> 24)};
    const unsigned char* table = input.Table(part);
    file.insert(file.end(), table, table + input.Length(part));
    return file;
}
