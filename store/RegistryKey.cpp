#include "store/RegistryKey.h"

#include "platform/ScopedRegKey.h"

#include <cstring>

namespace {

// 0x2001F. No registry-view flag: the program reads back from the same (32-bit) view that
// RegCreateKeyA wrote to.
constexpr REGSAM kReadAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

} // namespace

int CRegistryKey::WriteString(HKEY root, LPCSTR subKey, LPCSTR valueName, LPCSTR text) {
    if (RegCreateKeyA(root, subKey, &m_hKey) != ERROR_SUCCESS) return 0;
    const ScopedRegKey closer(m_hKey);
    const LONG written =
        RegSetValueExA(m_hKey, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>(lstrlenA(text)));
    return written == ERROR_SUCCESS ? 1 : 0;
}

int CRegistryKey::ReadString(HKEY root, LPCSTR subKey, LPCSTR valueName,
                             char (&out)[kIdentityTextSize]) {
    if (RegOpenKeyExA(root, subKey, 0, kReadAccess, &m_hKey) != ERROR_SUCCESS) return 0;
    const ScopedRegKey closer(m_hKey);
    m_valueBuffer[0] = 0;
    m_valueSize = sizeof m_valueBuffer;
    if (RegQueryValueExA(m_hKey, valueName, nullptr, nullptr, m_valueBuffer, &m_valueSize) !=
        ERROR_SUCCESS)
        return 0;
    return CopyValueText(out);
}

// Only the bytes this query returned count: the values are stored without a terminating zero,
// so anything after them in the shared buffer is left over from an earlier, longer value.
int CRegistryKey::CopyValueText(char (&out)[kIdentityTextSize]) const {
    const size_t returned = m_valueSize < sizeof m_valueBuffer ? m_valueSize : sizeof m_valueBuffer;
    const void* zero = std::memchr(m_valueBuffer, 0, returned);
    const size_t length =
        zero ? static_cast<size_t>(static_cast<const BYTE*>(zero) - m_valueBuffer) : returned;
    if (length >= sizeof out) return 0; // no room for the terminating zero
    std::memcpy(out, m_valueBuffer, length);
    out[length] = '\0';
    return 1;
}
