// The running machine's table sources asked together, as VeskInfo would ask them, and how the
// inspector shows what each gave.
#pragma once
#include "inspection/LiveMachine.h"
#include "report/JsonReport.h"

#include <ostream>
#include <string>
#include <vector>

// Which sources answered with what, which one VeskInfo uses, and where their identities differ.
void PrintLiveSources(std::ostream& out, const LiveMachine& machine);
Json LiveJson(const LiveMachine& machine);

// The table an input walks as an rsmb file: the header, then the table. An input that has a
// header keeps it; otherwise the version comes from `version` (the firmware's header), from the
// input's entry point, or is 3.0.
std::vector<unsigned char> RsmbFileOf(const TableInput& input, TableSource part,
                                      const RsmbHeader* version);
