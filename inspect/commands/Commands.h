// One runner per mode of the inspector, and what several of them share. Each runner writes its
// answer to standard output, its messages to standard error, and returns the exit status.
#pragma once
#include "commands/Options.h"
#include "inspection/Audit.h"
#include "inspection/Depot.h"
#include "inspection/Inspection.h"
#include "inspection/LiveMachine.h"
#include "report/Probe.h"

#include <optional>
#include <string>

extern const char kProgram[];

// A usage error, or an input that could not be read: the message on standard error; kBadInput.
int BadUse(const std::string& message);
int BadInput(const std::string& name, const std::string& message);

// The status of a walk, with the reason on standard error when it was cut short.
int WalkStatus(const TableInput& input, const Inspection& inspection);
// The walk of the other source, when it walks other bytes.
std::optional<Inspection> InspectOther(const TableInput& input, TableSource source);
// --explain's account of one table, after the values.
void Explain(const TableInput& input, TableSource source, const Inspection& shown,
             const std::optional<Inspection>& other);

// Show: one table, a file's or this machine's.
int RunShow(const Options& o);
// Where no live table source answers, VeskInfo stores three empty values.
int NoLiveTable(const Options& o, const LiveMachine& machine);

// --save: the table walked, as an rsmb file; false (the message written) when it cannot be.
bool Save(const Options& o, const TableInput& input, TableSource source,
          const LiveMachine* machine);

// What an audit compares: the stored values and the walk of a table.
struct AuditSubject {
    std::string storedName; // the export, or "registry"
    int codePage = 0;
    const StoredValues* stored = nullptr;
    const TableInput* table = nullptr;
    TableSource source = TableSource::Wmi;
    Inspection shown;
    std::optional<Inspection> other;
    const LiveMachine* machine = nullptr;
    // An installed Windows read from its hives: the depot's findings, for --json's "depot"
    // object and the probe's "last_board"; null for any other audit.
    const DepotFindings* depot = nullptr;
};

// The subject of an audit of stored values read from a file against the table `table`, walked
// as --source asks; `other` is left to the caller.
AuditSubject FileAuditSubject(const Options& o, const std::string& storedName,
                              const StoredValues& stored, const TableInput& table);

// Audit: the stored values of an export, of an installed Windows (hives), or (Windows) of this
// machine, against a table.
int RunAudit(const Options& o);
// The audit's lines (or JSON, or explanation) and its status; `only64`: the values were read
// from the 64-bit view, which the note kOnly64 says.
int ReportAudit(const Options& o, const AuditSubject& subject, bool only64);
// The audit's exit status: kMismatch where a value differs or the values are only in the 64-bit
// view, else the walk's.
int AuditStatus(const AuditResult& audit, const AuditSubject& subject, bool only64);
extern const char kOnly64[];

// An installed Windows read from its disk: --audit names a SOFTWARE hive or a Windows folder.
bool IsInstallation(const std::string& stored);
int RunInstallationAudit(const Options& o);

// Probe: the audit as one line; `machine` names it in the line. `repairing`: the probe before a
// repair, which refuses (exit status 2, the line's "error" saying why) a status that running
// VeskInfo would mend where it would store a worse identity (WorseIdentity).
int ReportProbe(const std::string& machine, const AuditSubject& subject, bool only64,
                bool repairing = false);
// The line of status "error", and the message on standard error as without --probe.
int ProbeError(const std::string& machine, const std::string& message);

// Repair (Windows): the probe; where running VeskInfo mends what it found, the VeskInfo.exe
// beside the inspector, then the probe again, its line last.
int RunRepair(const Options& o);

// Batch: several inputs, or a directory: one record per input.
bool IsBatch(const Options& o);
int RunBatchOf(const Options& o);

// Report: a fleet's probe lines.
int RunReport(const Options& o);
