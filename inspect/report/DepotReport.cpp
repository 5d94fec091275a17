#include "report/DepotReport.h"

#include "report/AuditReport.h"
#include "report/Report.h"

#include <algorithm>

namespace {

std::string Mark(const AuditLine& line) {
    return Quoted(line.expected) + (line.match ? " =" : "");
}

void Row(std::ostream& out, const std::vector<std::string>& cells,
         const std::vector<size_t>& widths) {
    for (size_t i = 0; i < cells.size(); ++i) {
        out << cells[i];
        if (i + 1 < cells.size()) out << std::string(widths[i] - cells[i].size() + 2, ' ');
    }
    out << "\n";
}

// "MAKER PRODUCT", as far as the board names them.
std::string BoardName(const HardwareBoard& board) {
    std::string name = board.Text(BoardText::Manufacturer).value_or("");
    const std::string product = board.Text(BoardText::Product).value_or("");
    if (!product.empty()) name += (name.empty() ? "" : " ") + product;
    return name.empty() ? "a board that names no maker" : name;
}

const char* NoBoardText(NoBoard why) {
    switch (why) {
    case NoBoard::NoSystemHive:
        return "no SYSTEM hive was read";
    case NoBoard::NoHardwareConfig:
        return "its SYSTEM hive has no HardwareConfig key, which Windows 7 and older do not keep";
    case NoBoard::NoLastConfig:
        return "HardwareConfig names no board of the last start (no LastConfig GUID)";
    case NoBoard::NoUuidNow:
        return "the table now has no UUID to compare with";
    case NoBoard::None:
        break;
    }
    return "";
}

// Where no board record was used: the verdict as the registry copy of the table gives it.
std::string DiffersText(const DepotFindings& findings) {
    std::string text;
    if (!findings.registryCopy)
        text = "the installation does not carry the identity of the board now in the machine";
    else if (findings.registryCopy->allMatch)
        text = "the installation carries the identity of the board it last started on, not of "
               "this one: run VeskInfo (or the repair) on the next start";
    else
        text = "the installation carries the identity of neither";
    return text + " (no board record: " + NoBoardText(findings.noBoard) + ")";
}

std::string OtherBoardText(const DepotFindings& findings) {
    const HardwareBoard& board = *findings.lastBoard;
    return "the installation last started on " + BoardName(board) + " (UUID " + BoardUuid(board) +
           ", last use " + LastUseText(board) +
           "), not on this board; it has not started here yet, and the stored manufacturer is " +
           (findings.makerIsLastBoard ? "" : "not ") + "that board's";
}

std::string HiveLine(const DepotHive& hive) {
    return hive.name + ": " + hive.path + ": " + HiveRecoveryText(hive.recovery);
}

void PrintSources(std::ostream& out, const DepotFindings& findings, const DepotSources& sources) {
    out << "Stored: " << sources.stored << "\nNow: " << sources.now
        << " (the table of the board in the machine)\nLast start: ";
    if (findings.lastBoard) {
        const HardwareBoard& board = *findings.lastBoard;
        out << "board " << BoardUuid(board) << " (" << sources.system
            << ", HardwareConfig\\LastConfig): " << BoardName(board) << ", BIOS "
            << board.BiosVersion().value_or("(not named)") << ", last use " << LastUseText(board);
    } else if (!sources.systemProblem.empty())
        out << "(none): " << sources.systemProblem;
    else
        out << "(no board record): " << NoBoardText(findings.noBoard);
    out << "\n";
    for (const DepotHive& hive : findings.hives)
        out << "Hive " << HiveLine(hive) << "\n";
}

void PrintTable(std::ostream& out, const DepotFindings& findings, const std::string& copyProblem) {
    std::vector<std::vector<std::string>> rows = {{"", "stored", "now", "last start"}};
    if (findings.registryCopy) rows[0].push_back("registry copy");
    for (int i = 0; i < 3; ++i) {
        const AuditLine& now = findings.now.lines[i];
        std::string last = "(not kept)";
        if (!findings.lastBoard)
            last = "(no board)";
        else if (now.field == IdentityField::Manufacturer)
            last = findings.lastBoard->Text(BoardText::Manufacturer)
                       ? Quoted(*findings.lastBoard->Text(BoardText::Manufacturer)) +
                             (findings.makerIsLastBoard ? " =" : "")
                       : "(none)";
        rows.push_back({StoredValueName(now.field), StoredText(*now.stored), Mark(now), last});
        if (findings.registryCopy) rows.back().push_back(Mark(findings.registryCopy->lines[i]));
    }
    std::vector<size_t> widths(rows[0].size(), 0);
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    for (const auto& row : rows)
        Row(out, row, widths);
    out << "(= the stored value)\n";
    if (!copyProblem.empty()) out << "Registry copy of the table: none: " << copyProblem << "\n";
}

void PrintBoards(std::ostream& out, const DepotFindings& findings) {
    if (findings.boards.empty()) {
        out << "\nBoards this installation started on: none kept"
            << (findings.noBoard == NoBoard::None
                    ? ""
                    : std::string(" (") + NoBoardText(findings.noBoard) + ")")
            << "\n";
        return;
    }
    out << "\nBoards this installation started on (HardwareConfig, newest last use first):\n";
    for (const DepotBoard& entry : findings.boards) {
        const HardwareBoard& board = entry.board;
        const bool last = findings.lastBoard && board.name == findings.lastBoard->name;
        out << (entry.thisBoard ? "* " : "  ") << BoardUuid(board) << "  last use "
            << LastUseText(board) << (entry.thisBoard ? "  (this board)" : "")
            << (last ? "  (the last start)" : "") << "\n   ";
        for (int i = 0; i < kBoardTexts; ++i)
            if (board.texts[i])
                out << " " << BoardTextName(static_cast<BoardText>(i)) << " "
                    << Quoted(*board.texts[i]);
        for (const std::string& version : board.systemBiosVersion)
            out << " SystemBiosVersion " << Quoted(version);
        out << "\n";
    }
}

Json Nullable(const std::optional<std::string>& text) {
    return text ? Json(*text) : Json(nullptr);
}

Json BoardJson(const HardwareBoard& board) {
    return {{"uuid", BoardUuid(board)},
            {"manufacturer", Nullable(board.Text(BoardText::Manufacturer))},
            {"product", Nullable(board.Text(BoardText::Product))},
            {"bios_version", Nullable(board.BiosVersion())},
            {"last_use", board.lastUse ? Json(FileTimeText(*board.lastUse)) : Json(nullptr)}};
}

} // namespace

// The subkey's name as it is where that is no GUID.
std::string BoardUuid(const HardwareBoard& board) {
    if (board.hasUuid) return GuidText(board.uuid);
    std::string name = board.name;
    if (name.size() >= 2 && name.front() == '{' && name.back() == '}')
        name = name.substr(1, name.size() - 2);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return name;
}

std::string LastUseText(const HardwareBoard& board) {
    return board.lastUse ? FileTimeText(*board.lastUse) : "unknown";
}

std::string DepotVerdictText(const DepotFindings& findings) {
    switch (findings.verdict) {
    case DepotVerdict::Match:
        return "the installation carries this board's identity";
    case DepotVerdict::RunVeskInfo:
        return "Windows has started on this board (last use " + LastUseText(*findings.lastBoard) +
               ") but the stored identity is not this board's: run VeskInfo or the repair on the "
               "next start";
    case DepotVerdict::OtherBoard:
        return OtherBoardText(findings);
    case DepotVerdict::Differs:
        return DiffersText(findings);
    case DepotVerdict::Only64:
        return "the installation carries no identity where VeskInfo keeps it (the values are only "
               "in the 64-bit view): run VeskInfo (or the repair) on the next start";
    case DepotVerdict::Unsure:
        break;
    }
    const DepotHive& hive = findings.hives[static_cast<size_t>(findings.dirty)];
    return "the " + hive.name + " hive is " + hive.recovery.reason +
           ", so its values may be older than Windows' own: the audit cannot tell";
}

void PrintDepot(std::ostream& out, const DepotFindings& findings, const DepotSources& sources) {
    PrintSources(out, findings, sources);
    out << "\n";
    PrintTable(out, findings, sources.copyProblem);
    PrintBoards(out, findings);
    out << "\nVerdict: " << DepotVerdictCode(findings.verdict) << ": " << DepotVerdictText(findings)
        << "\n";
}

Json DepotJson(const DepotFindings& findings) {
    Json hives = Json::array(), boards = Json::array();
    for (const DepotHive& hive : findings.hives) {
        const HiveRecovery& r = hive.recovery;
        hives.push_back({{"path", JsonText(hive.path)},
                         {"state", HiveStateName(r.state)},
                         {"log_entries", r.state == HiveState::Recovered ? r.applied : 0},
                         {"sequence", r.sequence},
                         {"reason", r.reason.empty() ? Json(nullptr) : Json(r.reason)}});
    }
    for (const DepotBoard& entry : findings.boards) {
        Json board = BoardJson(entry.board);
        board["this_board"] = entry.thisBoard;
        boards.push_back(std::move(board));
    }
    return {{"hives", hives},
            {"last_board", findings.lastBoard ? BoardJson(*findings.lastBoard) : Json(nullptr)},
            {"boards", boards},
            {"verdict", DepotVerdictCode(findings.verdict)},
            {"verdict_text", DepotVerdictText(findings)}};
}
