// --repair: the probe, and where running VeskInfo mends what it found, the VeskInfo.exe beside
// the inspector, then the probe again. Where no table source answers (or the probe fails),
// VeskInfo would store three empty values over good ones, and where the table gives the
// fall-backs for a value that is stored, a worse identity: then it is never started. It gets a
// bounded time, so that a VeskInfo that hangs cannot keep the script of device management
// running.
#include "commands/Commands.h"

#include "platform/Platform.h"

#include <iostream>

namespace {

const char kVeskInfo[] = "VeskInfo.exe";
constexpr unsigned kVeskInfoSeconds = 120;

// The probe as --audit --probe runs it on this machine: its line, and its exit status (0 match,
// 1 what running VeskInfo mends, 2 no table, an error, or before the repair a refusal).
int Probe(bool repairing) {
    Options probe;
    probe.audit = true;
    probe.probe = true;
    probe.repair = repairing;
    return RunAudit(probe);
}

} // namespace

int RunRepair(const Options& o) {
    if (!HaveLiveSources())
        return BadUse("--repair repairs the machine it runs on: run veskinfo-inspect.exe there");
    if (!o.inputs.empty()) return BadUse("--repair repairs this machine: name no input");
    if (o.audit || o.json || o.explain || !o.save.empty() || !o.source.empty() ||
        !o.field.empty() || !o.report.empty())
        return BadUse("--repair takes no other option");
    const int first = Probe(true);
    if (first != 1) return first; // a match needs nothing; otherwise nothing is safe to do
    const std::string program = PathBesideProgram(kVeskInfo);
    int exitCode = 0;
    std::string error;
    if (program.empty())
        return ProbeError(ComputerName(), std::string("cannot tell this program's folder, where ") +
                                              kVeskInfo + " should be");
    switch (RunProgram(program, kVeskInfoSeconds, exitCode, error)) {
    case RunOutcome::NotStarted:
        return ProbeError(ComputerName(), program + ": " + error + "; nothing was changed");
    case RunOutcome::TimedOut:
        return ProbeError(ComputerName(), "VeskInfo did not finish in " +
                                              std::to_string(kVeskInfoSeconds) +
                                              " s; nothing else was changed");
    case RunOutcome::Exited:
        break;
    }
    if (exitCode != 0)
        std::cerr << kProgram << ": " << program << " exited with " << exitCode << "\n";
    // The second line is the last: what device management keeps. 0: it now matches.
    return Probe(false) == 0 ? 0 : 1;
}
