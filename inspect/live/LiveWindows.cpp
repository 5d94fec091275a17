// The machine's table sources and stored values on Windows. WMI and the registry copy are
// asked through the program's own sources (smbios/), so that the answer cannot drift from
// what VeskInfo does; the firmware table through GetSystemFirmwareTable.
#include "live/Live.h"

#include "platform/ScopedRegKey.h"
#include "smbios/TableBlock.h"

#include <windows.h>

#include <cstdio>

namespace {

const char kNeedsAdministrator[] = "needs administrator rights (run from an elevated prompt)";
constexpr DWORD kRsmb = 0x52534D42; // 'RSMB'
// Far beyond any text VeskInfo stores; a larger value is only said to be too large.
constexpr DWORD kMaxStoredValue = 1u << 20;

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", value);
    return text;
}

std::string SystemError(DWORD error) {
    if (error == ERROR_ACCESS_DENIED) return "access denied: " + std::string(kNeedsAdministrator);
    return "error " + std::to_string(error);
}

void TakeBytes(LiveTable& table, const BYTE* bytes, size_t length) {
    table.input.bytes.assign(bytes, bytes + length);
    table.input.read = true;
}

LiveTable AskWmi() {
    LiveTable table;
    table.input.name = "WMI (ROOT\\wmi, MSSmBios_RawSMBiosTables)";
    TableBlock block;
    int length = 0;
    HRESULT last = S_OK;
    if (GetSMBIOSFromWMI(block, length, &last) != 0 && block) {
        table.answered = true;
        TakeBytes(table, block.get(), static_cast<size_t>(length));
        table.input.wmi = table.input.registry = {0, table.input.bytes.size()};
        return table;
    }
    const unsigned long code = static_cast<unsigned long>(last);
    if (last == E_ACCESSDENIED || code == 0x80041003UL) // WBEM_E_ACCESS_DENIED
        table.problem = "refused (" + Hex(code) + "): " + kNeedsAdministrator;
    else if (FAILED(last))
        table.problem = "failed (" + Hex(code) + ")";
    else
        table.problem = "answered without a table";
    return table;
}

// Why the registry source found no table: the key's own answer.
std::string RegistryProblem(bool answered) {
    HKEY key = nullptr;
    const LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSMBiosDataKey, 0, KEY_READ, &key);
    if (error == ERROR_SUCCESS) {
        const ScopedRegKey closer(key);
        return answered ? "" : "the value \"SMBiosData\" is missing or empty";
    }
    if (error == ERROR_FILE_NOT_FOUND)
        return "no key: VeskInfo walks no table and stores the fall-backs";
    return "cannot open the key: " + SystemError(static_cast<DWORD>(error)) +
           "; VeskInfo walks no table and stores the fall-backs";
}

LiveTable AskRegistry() {
    LiveTable table;
    table.input.name = "registry (HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\"
                       "mssmbios\\Data, \"SMBiosData\")";
    TableBlock block;
    int length = 0;
    table.answered = GetSMBIOSFromRegistry(block, length) != 0;
    if (!block) {
        table.problem = RegistryProblem(table.answered);
        return table;
    }
    TakeBytes(table, block.get(), static_cast<size_t>(length));
    RecogniseRegistryValue(table.input);
    table.input.format = table.input.hasHeader ? InputFormat::Rsmb : InputFormat::Raw;
    return table;
}

LiveTable AskFirmware() {
    LiveTable table;
    table.input.name = "firmware (GetSystemFirmwareTable 'RSMB')";
    const UINT size = GetSystemFirmwareTable(kRsmb, 0, nullptr, 0);
    if (size == 0) {
        table.problem = "failed: " + SystemError(GetLastError());
        return table;
    }
    std::vector<unsigned char> bytes(size);
    const UINT filled = GetSystemFirmwareTable(kRsmb, 0, bytes.data(), size);
    if (filled == 0 || filled > size) {
        table.problem = "failed: " + SystemError(GetLastError());
        return table;
    }
    TakeBytes(table, bytes.data(), filled);
    std::string error;
    table.answered = RecogniseTable(table.input, false, error);
    table.problem = table.answered ? "" : error;
    return table;
}

// One stored value, as VeskInfo reads it back: through the ANSI call, up to the first zero.
void ReadStoredValue(HKEY key, const char* name, StoredValue& stored) {
    DWORD type = 0, size = 0;
    LONG error = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    if (error == ERROR_FILE_NOT_FOUND) return;
    stored.present = true;
    if (error != ERROR_SUCCESS) {
        stored.problem = "unreadable: " + SystemError(static_cast<DWORD>(error));
        return;
    }
    if (type != REG_SZ) {
        stored.problem = TypeProblem(static_cast<int>(type));
        return;
    }
    if (size > kMaxStoredValue) {
        stored.problem = "larger than 1 MiB";
        return;
    }
    std::vector<char> data(size + 1, '\0');
    DWORD filled = size;
    error =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &filled);
    if (error != ERROR_SUCCESS || filled > size) {
        stored.problem = "unreadable: " + SystemError(static_cast<DWORD>(error));
        return;
    }
    stored.text.assign(data.data(), strnlen(data.data(), filled));
}

LONG OpenSysInfo(REGSAM view, HKEY& key) {
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSysInfoSubkey, 0, KEY_READ | view, &key);
}

} // namespace

bool HaveLiveSources() {
    return true;
}

LiveTable AskLiveSource(LiveSource source) {
    LiveTable table = source == LiveSource::Wmi        ? AskWmi()
                      : source == LiveSource::Registry ? AskRegistry()
                                                       : AskFirmware();
    table.source = source;
    table.asked = true;
    return table;
}

bool ReadLiveStoredValues(LiveStoredValues& stored, std::string& error) {
    stored.codePage = static_cast<int>(GetACP());
    const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + kSysInfoSubkey;
    stored.values.key = key + " (32-bit view)";
    HKEY handle = nullptr;
    LONG result = OpenSysInfo(KEY_WOW64_32KEY, handle);
    if (result == ERROR_FILE_NOT_FOUND && OpenSysInfo(KEY_WOW64_64KEY, handle) == ERROR_SUCCESS) {
        result = ERROR_SUCCESS;
        stored.only64 = true;
        stored.values.key = key + " (64-bit view)";
    }
    if (result == ERROR_FILE_NOT_FOUND) return true;
    if (result != ERROR_SUCCESS) {
        error = key + ": cannot open: " + SystemError(static_cast<DWORD>(result));
        return false;
    }
    const ScopedRegKey closer(handle);
    for (const IdentityField field :
         {IdentityField::Manufacturer, IdentityField::SystemId, IdentityField::RegulatoryId})
        ReadStoredValue(handle, StoredValueName(field),
                        stored.values.values[static_cast<int>(field)]);
    return true;
}
