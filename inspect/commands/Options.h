// The command line as the runners take it.
#pragma once
#include "input/TableInput.h"
#include "live/Live.h"

#include <string>
#include <vector>

struct Options {
    bool explain = false;
    bool json = false;
    std::string source; // empty: the default, VeskInfo's own choice
    bool audit = false;
    std::string stored; // the export --audit names; empty: the live registry
    bool probe = false;
    bool repair = false;
    int codePage = 1252;
    std::string field;
    std::string save;
    std::string report;    // --report's OUT.html, or "-"
    std::string dateOrder; // --date-order: "dmy", "mdy", or empty (each file settles it)
    std::vector<std::string> inputs;

    TableSource Source() const {
        return source == "registry" ? TableSource::Registry : TableSource::Wmi;
    }
    bool Live() const { return inputs.empty() && HaveLiveSources(); }

    // "--audit --probe STORED.reg TABLE": the export is the first input.
    void TakeStoredFromInputs() {
        if (!audit || !stored.empty() || inputs.empty()) return;
        stored = inputs.front();
        inputs.erase(inputs.begin());
    }

    // True when no argument is an option: then every argument is an input, as the parser would
    // find too. Setting the parser up is about a third of the work of a run on one table.
    static bool OnlyInputs(const std::vector<std::string>& arguments) {
        for (const std::string& argument : arguments)
            if (argument.size() > 1 && argument[0] == '-') return false;
        return true;
    }
};
