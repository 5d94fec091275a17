// Closes an open registry key when the scope ends, on every path out of it (exceptions
// included), and clears the handle so that it is never closed twice.
#pragma once
#include <windows.h>

class ScopedRegKey {
  public:
    // Takes charge of `key`, which must hold a key that was opened successfully.
    explicit ScopedRegKey(HKEY& key) : m_key(key) {}
    ~ScopedRegKey() {
        RegCloseKey(m_key);
        m_key = nullptr;
    }
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;

  private:
    HKEY& m_key;
};
