#include "inspection/Depot.h"

#include "input/RegExport.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

bool SameBoard(const HardwareBoard& a, const HardwareBoard& b) {
    return a.hasUuid && b.hasUuid ? std::memcmp(a.uuid, b.uuid, 16) == 0
                                  : EqualNoCase(a.name, b.name);
}

// LastConfig's board: its subkey where there is one, else what LastConfig itself says.
std::optional<HardwareBoard> LastBoard(const HardwareConfig& config) {
    if (!config.lastConfig) return std::nullopt;
    HardwareBoard named;
    named.name = *config.lastConfig;
    named.hasUuid = ParseGuid(named.name, named.uuid);
    for (const HardwareBoard& board : config.boards)
        if (SameBoard(board, named)) return board;
    return named;
}

std::vector<DepotBoard> Boards(const HardwareConfig& config, const unsigned char* now) {
    std::vector<DepotBoard> boards;
    for (const HardwareBoard& board : config.boards)
        boards.push_back(
            {board, now != nullptr && board.hasUuid && std::memcmp(board.uuid, now, 16) == 0});
    // Newest first; a board without a last use after every board with one.
    const auto key = [](const DepotBoard& b) {
        return std::make_pair(b.board.lastUse.has_value(), b.board.lastUse.value_or(0));
    };
    std::stable_sort(boards.begin(), boards.end(),
                     [&](const DepotBoard& a, const DepotBoard& b) { return key(a) > key(b); });
    return boards;
}

bool MakerIs(const StoredValues& stored, const HardwareBoard& board, const CodePage* codePage) {
    const StoredValue& maker = stored.ValueOf(IdentityField::Manufacturer);
    const std::optional<std::string>& boards = board.Text(BoardText::Manufacturer);
    std::string converted;
    return maker.present && maker.problem.empty() && boards && codePage != nullptr &&
           codePage->FromUtf8(*boards, converted) && converted == maker.text;
}

NoBoard WhyNoBoard(const DepotInput& input, const DepotFindings& findings, bool haveUuid) {
    if (input.system == nullptr) return NoBoard::NoSystemHive;
    if (!input.system->hardware.present) return NoBoard::NoHardwareConfig;
    if (!findings.lastBoard || !findings.lastBoard->hasUuid) return NoBoard::NoLastConfig;
    return haveUuid ? NoBoard::None : NoBoard::NoUuidNow;
}

DepotVerdict Verdict(const DepotInput& input, const DepotFindings& findings) {
    if (findings.dirty >= 0) return DepotVerdict::Unsure;
    if (input.only64) return DepotVerdict::Only64;
    if (findings.noBoard == NoBoard::None && !findings.lastIsThis) return DepotVerdict::OtherBoard;
    if (findings.now.allMatch) return DepotVerdict::Match;
    return findings.noBoard == NoBoard::None ? DepotVerdict::RunVeskInfo : DepotVerdict::Differs;
}

} // namespace

const char* DepotVerdictCode(DepotVerdict verdict) {
    switch (verdict) {
    case DepotVerdict::Match:
        return "match";
    case DepotVerdict::RunVeskInfo:
        return "run-veskinfo";
    case DepotVerdict::OtherBoard:
        return "other-board";
    case DepotVerdict::Differs:
        return "differs";
    case DepotVerdict::Only64:
        return "only-64-bit";
    case DepotVerdict::Unsure:
        break;
    }
    return "unsure";
}

DepotFindings AuditDepot(const DepotInput& input) {
    DepotFindings findings;
    findings.now = Audit(*input.stored, *input.now, nullptr, input.source);
    if (input.registryCopy != nullptr)
        findings.registryCopy = Audit(*input.stored, *input.registryCopy, nullptr, input.source);
    findings.hives = input.hives;
    findings.folder = input.folder;
    for (size_t i = findings.hives.size(); i-- > 0;)
        if (findings.hives[i].recovery.state == HiveState::Dirty)
            findings.dirty = static_cast<int>(i);
    unsigned char uuid[16];
    const bool haveUuid = SystemUuid(*input.now, input.table, input.length, uuid);
    if (input.system != nullptr) {
        findings.lastBoard = LastBoard(input.system->hardware);
        findings.boards = Boards(input.system->hardware, haveUuid ? uuid : nullptr);
    }
    findings.noBoard = WhyNoBoard(input, findings, haveUuid);
    if (findings.lastBoard) {
        findings.lastIsThis = haveUuid && findings.lastBoard->hasUuid &&
                              std::memcmp(findings.lastBoard->uuid, uuid, 16) == 0;
        findings.makerIsLastBoard = MakerIs(*input.stored, *findings.lastBoard, input.codePage);
    }
    findings.verdict = Verdict(input, findings);
    return findings;
}
