// Builds raw SMBIOS structure tables for tests, byte by byte.
#pragma once
#include <string>
#include <vector>

#include <windows.h>

class TableBuilder {
  public:
    // Appends a structure: its formatted area as given, then its strings, each with its zero,
    // then the closing zero (a structure without strings gets the two zero bytes).
    TableBuilder& Add(const std::vector<BYTE>& formatted, const std::vector<std::string>& strings) {
        bytes_.insert(bytes_.end(), formatted.begin(), formatted.end());
        for (const std::string& text : strings) {
            bytes_.insert(bytes_.end(), text.begin(), text.end());
            bytes_.push_back(0);
        }
        if (strings.empty()) bytes_.push_back(0);
        bytes_.push_back(0);
        return *this;
    }
    // Appends bytes as they are.
    TableBuilder& Raw(const std::vector<BYTE>& raw) {
        bytes_.insert(bytes_.end(), raw.begin(), raw.end());
        return *this;
    }
    // A type-1 structure naming string `number` as the manufacturer.
    TableBuilder& System(BYTE number, const std::vector<std::string>& strings) {
        return Add({0x01, 0x08, 0x00, 0x01, number, 0x02, 0x03, 0x04}, strings);
    }
    // A type-11 structure with the OEM strings.
    TableBuilder& Oem(const std::vector<std::string>& strings) {
        return Add({0x0B, 0x05, 0x01, 0x00, static_cast<BYTE>(strings.size())}, strings);
    }
    // A type-208 structure carrying the system identifier bytes.
    TableBuilder& Vesk208(BYTE offset8, BYTE offset9) {
        return Add({0xD0, 0x0A, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, offset8, offset9}, {});
    }
    TableBuilder& End() { return Add({0x7F, 0x04, 0x03, 0x00}, {}); }

    const std::vector<BYTE>& Bytes() const { return bytes_; }

  private:
    std::vector<BYTE> bytes_;
};
