// The "SMBiosData" value in a registry export (.reg file) as the registry editor writes it:
// "REGEDIT4" (ANSI) or "Windows Registry Editor Version 5.00" (usually UTF-16 with a byte order
// mark), the value as hex: or hex(n): data, with backslash continuation lines.
#pragma once
#include <string>
#include <vector>

// True when `bytes` start (after any byte order mark) with a registry export header.
bool IsRegExport(const std::vector<unsigned char>& bytes);

// Decodes the first "SMBiosData" value of the export into `table`. On failure returns false
// with `error` saying what is wrong, in one line.
bool ParseRegExport(const std::vector<unsigned char>& bytes, std::vector<unsigned char>& table,
                    std::string& error);
