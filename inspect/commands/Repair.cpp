// --repair: the probe, and where running VeskInfo mends what it found, the VeskInfo.exe beside
// the inspector, then the probe again. Where no table source answers (or the probe fails),
// VeskInfo would store three empty values over good ones: then it is never started.
#include "commands/Commands.h"

#include "platform/Platform.h"

#include <iostream>

namespace {

const char kVeskInfo[] = "VeskInfo.exe";

// The probe as --audit --probe runs it on this machine: its line, and its exit status (0 match,
// 1 what running VeskInfo mends, 2 no table or an error).
int Probe() {
    Options probe;
    probe.audit = true;
    probe.probe = true;
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
    const int first = Probe();
    if (first != 1) return first; // a match needs nothing; without a table nothing is safe to do
    const std::string program = PathBesideProgram(kVeskInfo);
    int exitCode = 0;
    std::string error;
    if (program.empty())
        return ProbeError(ComputerName(), std::string("cannot tell this program's folder, where ") +
                                              kVeskInfo + " should be");
    if (!RunProgram(program, exitCode, error))
        return ProbeError(ComputerName(), program + ": " + error + "; nothing was changed");
    if (exitCode != 0)
        std::cerr << kProgram << ": " << program << " exited with " << exitCode << "\n";
    // The second line is the last: what device management keeps. 0: it now matches.
    return Probe() == 0 ? 0 : 1;
}
