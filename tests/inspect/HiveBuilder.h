// Small registry hive files for the tests: the minimal empty hive written byte by byte (hivex
// cannot create one from nothing), then keys and values added through hivex.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct HiveValue {
    std::string key;  // from the root, parts joined by '\'
    std::string name; // empty: the key alone
    int type = 1;
    std::vector<unsigned char> data;
};

// A REG_SZ as Windows stores it: `text` in UTF-16LE, with a terminator or without.
std::vector<unsigned char> Utf16Data(const std::u16string& text, bool terminator);

// A FILETIME as a REG_BINARY holds it: 8 bytes, little-endian.
std::vector<unsigned char> FileTimeData(uint64_t filetime);

// Writes the hive `values` describe to `path`. False with `error` when hivex refuses.
bool WriteHive(const std::string& path, const std::vector<HiveValue>& values, std::string& error);

// Adds `values` to the hive at `path` (a value of the same name is replaced), as a running
// Windows changes its registry: hivex keeps what is there and writes the file anew.
bool AddToHive(const std::string& path, const std::vector<HiveValue>& values, std::string& error);
