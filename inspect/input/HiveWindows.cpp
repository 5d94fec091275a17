// The Windows build reads the live registry (--audit alone); hive files are read by the Linux
// inspector, which links hivex.
#include "input/Hive.h"

namespace {

const char kLinuxOnly[] = "registry hive files are read by the Linux inspector (on Windows, "
                          "--audit alone reads this machine's registry)";

} // namespace

bool ReadHiveStoredValues(const std::string&, const CodePage&, StoredValues&, bool&, HiveRecovery&,
                          std::string& error) {
    error = kLinuxOnly;
    return false;
}

bool ReadSystemHive(const std::string&, SystemHive&, std::string& error) {
    error = kLinuxOnly;
    return false;
}

bool ReadHiveTable(const std::string&, TableInput&, std::string& error) {
    error = kLinuxOnly;
    return false;
}
