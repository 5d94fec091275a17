// advapi32 registry subset over an in-memory tree. Key and value names compare
// case-insensitively; handles are tracked so tests can prove that every key was closed.
#include "control.h"

#include <windows.h>

#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>

namespace winsim {
namespace {

struct Value {
    DWORD type = REG_NONE;
    std::vector<unsigned char> data;
};

struct Key {
    std::map<std::string, std::unique_ptr<Key>> children; // by lower-case name
    std::map<std::string, Value> values;                  // by lower-case name
};

using KeyPath = std::vector<std::string>; // lower-case, starting with the root's name

struct OpenKey {
    KeyPath path;
    REGSAM access = 0;
};

struct RegistryState {
    Key machine; // children are the roots
    std::map<HKEY, OpenKey> handles;
    uintptr_t nextHandle = 0x1000;
};

RegistryState& registry() {
    static RegistryState s;
    return s;
}

const ResetHook resetRegistry([] { registry() = RegistryState{}; });

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

const char* RootName(HKEY key) {
    if (key == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
    if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
    if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    if (key == HKEY_USERS) return "HKEY_USERS";
    return nullptr;
}

std::string HandleText(HKEY key) {
    const char* root = RootName(key);
    return root ? root : detail::Hex(reinterpret_cast<uintptr_t>(key));
}

// Splits "a\b\c" into its lower-case names. A leading or doubled backslash is a bad path;
// a trailing one is tolerated, as Windows does.
bool SplitPath(const char* subKey, KeyPath& names) {
    if (subKey == nullptr) return true;
    std::string text = subKey;
    if (!text.empty() && text.back() == '\\') text.pop_back();
    if (text.empty()) return true;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\\', start);
        const std::string name = text.substr(start, end - start);
        if (name.empty()) return false;
        names.push_back(Lower(name));
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

Key* Find(const KeyPath& path) {
    Key* key = &registry().machine;
    for (const std::string& name : path) {
        auto it = key->children.find(name);
        if (it == key->children.end()) return nullptr;
        key = it->second.get();
    }
    return key;
}

Key& Create(const KeyPath& path) {
    Key* key = &registry().machine;
    for (const std::string& name : path) {
        std::unique_ptr<Key>& child = key->children[name];
        if (!child) child = std::make_unique<Key>();
        key = child.get();
    }
    return *key;
}

// The key a handle stands for; predefined roots are always open with every right.
LONG Resolve(HKEY key, OpenKey& open) {
    if (const char* root = RootName(key)) {
        open = OpenKey{{Lower(root)}, KEY_ALL_ACCESS};
        Create(open.path);
        return ERROR_SUCCESS;
    }
    auto it = registry().handles.find(key);
    if (it == registry().handles.end()) return ERROR_INVALID_HANDLE;
    open = it->second;
    return ERROR_SUCCESS;
}

// Resolves `key` plus `subKey` into a full path.
LONG Locate(HKEY key, const char* subKey, OpenKey& open) {
    const LONG status = Resolve(key, open);
    if (status != ERROR_SUCCESS) return status;
    if (!SplitPath(subKey, open.path)) return ERROR_BAD_PATHNAME;
    return ERROR_SUCCESS;
}

HKEY NewHandle(const KeyPath& path, REGSAM access) {
    RegistryState& s = registry();
    HKEY handle = reinterpret_cast<HKEY>(s.nextHandle);
    s.nextHandle += 4;
    s.handles[handle] = OpenKey{path, access};
    return handle;
}

// The key behind an open handle, if the handle carries `right`.
LONG KeyFor(HKEY handle, REGSAM right, Key*& key) {
    OpenKey open;
    const LONG status = Resolve(handle, open);
    if (status != ERROR_SUCCESS) return status;
    if ((open.access & right) != right) return ERROR_ACCESS_DENIED;
    key = Find(open.path);
    return key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

bool ParseControlPath(const std::string& keyPath, KeyPath& path) {
    static const std::map<std::string, std::string> abbreviations = {{"hklm", "hkey_local_machine"},
                                                                     {"hkcu", "hkey_current_user"},
                                                                     {"hkcr", "hkey_classes_root"},
                                                                     {"hku", "hkey_users"}};
    if (!SplitPath(keyPath.c_str(), path) || path.empty()) return false;
    auto it = abbreviations.find(path.front());
    if (it != abbreviations.end()) path.front() = it->second;
    return true;
}

KeyPath ControlPath(const std::string& keyPath) {
    KeyPath path;
    if (!ParseControlPath(keyPath, path)) throw std::invalid_argument("bad key path " + keyPath);
    return path;
}

} // namespace

void SeedRegistryKey(const std::string& keyPath) {
    Create(ControlPath(keyPath));
}

void SeedRegistryValue(const std::string& keyPath, const std::string& valueName, unsigned long type,
                       const std::vector<unsigned char>& data) {
    Create(ControlPath(keyPath)).values[Lower(valueName)] = Value{static_cast<DWORD>(type), data};
}

void SeedRegistryValue(const std::string& keyPath, const std::string& valueName, unsigned long type,
                       const std::string& bytes) {
    SeedRegistryValue(keyPath, valueName, type,
                      std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

bool RegistryKeyExists(const std::string& keyPath) {
    return Find(ControlPath(keyPath)) != nullptr;
}

std::optional<RegistryValue> ReadRegistryValue(const std::string& keyPath,
                                               const std::string& valueName) {
    const Key* key = Find(ControlPath(keyPath));
    if (key == nullptr) return std::nullopt;
    auto it = key->values.find(Lower(valueName));
    if (it == key->values.end()) return std::nullopt;
    return RegistryValue{it->second.type, it->second.data};
}

void DeleteRegistryKey(const std::string& keyPath) {
    KeyPath path = ControlPath(keyPath);
    const std::string name = path.back();
    path.pop_back();
    if (Key* parent = Find(path)) parent->children.erase(name);
}

void DeleteRegistryValue(const std::string& keyPath, const std::string& valueName) {
    if (Key* key = Find(ControlPath(keyPath))) key->values.erase(Lower(valueName));
}

size_t OpenRegistryKeyCount() {
    return registry().handles.size();
}

} // namespace winsim

using winsim::detail::Enter;
using winsim::detail::Hex;
using winsim::detail::Text;

namespace {

// An injected failure of an open or create call leaves no handle behind.
LONG InjectedOpenResult(PHKEY result, long injected) {
    if (result) *result = nullptr;
    return static_cast<LONG>(injected);
}

// Shared start of opening and creating a key: the result starts out null, then the path under
// the root (or the open key) is resolved.
LONG LocateForOpen(HKEY key, LPCSTR subKey, PHKEY result, winsim::OpenKey& open) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    return winsim::Locate(key, subKey, open);
}

} // namespace

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    long injected = 0;
    if (Enter("RegOpenKeyExA",
              {winsim::HandleText(key), Text(subKey), std::to_string(options), Hex(access)},
              &injected))
        return InjectedOpenResult(result, injected);
    winsim::OpenKey open;
    const LONG status = LocateForOpen(key, subKey, result, open);
    if (status != ERROR_SUCCESS) return status;
    if (winsim::Find(open.path) == nullptr) return ERROR_FILE_NOT_FOUND;
    *result = winsim::NewHandle(open.path, access & ~(KEY_WOW64_64KEY | KEY_WOW64_32KEY));
    return ERROR_SUCCESS;
}

// As documented, an empty subkey gives back the caller's own handle; otherwise every missing
// key on the path is created and the new handle carries every right.
LONG WINAPI RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    long injected = 0;
    if (Enter("RegCreateKeyA", {winsim::HandleText(key), Text(subKey)}, &injected))
        return InjectedOpenResult(result, injected);
    winsim::OpenKey open;
    const LONG status = LocateForOpen(key, subKey, result, open);
    if (status != ERROR_SUCCESS) return status;
    if (subKey == nullptr || *subKey == '\0') {
        *result = key;
        return ERROR_SUCCESS;
    }
    winsim::Create(open.path);
    *result = winsim::NewHandle(open.path, KEY_ALL_ACCESS);
    return ERROR_SUCCESS;
}

// Windows NT stores the terminating zero of a string value even when the count leaves it out,
// as long as the byte after the data is zero; the call log keeps the count the program passed.
LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD dataSize) {
    long injected = 0;
    if (Enter("RegSetValueExA",
              {winsim::HandleText(key), Text(valueName), std::to_string(reserved),
               std::to_string(type), std::to_string(dataSize)},
              &injected))
        return static_cast<LONG>(injected);
    winsim::Key* target = nullptr;
    const LONG status = winsim::KeyFor(key, KEY_SET_VALUE, target);
    if (status != ERROR_SUCCESS) return status;
    if (dataSize != 0 && data == nullptr) return ERROR_NOACCESS;
    DWORD stored = dataSize;
    if (winsim::IsStringType(type) && stored != 0 && data[stored - 1] != 0 && data[stored] == 0)
        ++stored;
    winsim::Value value;
    value.type = type;
    if (stored != 0) value.data.assign(data, data + stored);
    target->values[winsim::Lower(valueName ? valueName : "")] = std::move(value);
    return ERROR_SUCCESS;
}

// Without a buffer only the size is reported; a buffer too small gives ERROR_MORE_DATA and the
// size needed. A string value that does not end in a zero gets one appended when the buffer has
// room for it, as Windows NT does; the count returned never includes that zero.
LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD dataSize) {
    long injected = 0;
    if (Enter("RegQueryValueExA",
              {winsim::HandleText(key), Text(valueName), data ? "buffer" : "(null)",
               dataSize ? std::to_string(*dataSize) : "(null)"},
              &injected))
        return static_cast<LONG>(injected);
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr))
        return ERROR_INVALID_PARAMETER;
    winsim::Key* source = nullptr;
    const LONG status = winsim::KeyFor(key, KEY_QUERY_VALUE, source);
    if (status != ERROR_SUCCESS) return status;
    auto it = source->values.find(winsim::Lower(valueName ? valueName : ""));
    if (it == source->values.end()) return ERROR_FILE_NOT_FOUND;
    const winsim::Value& value = it->second;
    const DWORD size = static_cast<DWORD>(value.data.size());
    if (type) *type = value.type;
    if (data != nullptr) {
        if (size > *dataSize) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        if (size != 0) std::memcpy(data, value.data.data(), size);
        if (winsim::IsStringType(value.type) && size != 0 && size < *dataSize &&
            data[size - 1] != 0)
            data[size] = 0;
    }
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY key) {
    long injected = 0;
    if (Enter("RegCloseKey", {winsim::HandleText(key)}, &injected))
        return static_cast<LONG>(injected);
    if (winsim::RootName(key)) return ERROR_SUCCESS;
    return winsim::registry().handles.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
