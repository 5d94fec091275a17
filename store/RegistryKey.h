// Writes and reads single-byte text values of the registry. Every key is opened and closed
// within the one operation that needs it.
#pragma once
#include "smbios/SystemIdentity.h"

#include <windows.h>

class CRegistryKey {
  public:
    // Stores `text` as a REG_SZ value of lstrlenA(text) bytes (no terminating zero counted),
    // creating the key and its parents as needed. 1 when the value was written, else 0.
    int WriteString(HKEY root, LPCSTR subKey, LPCSTR valueName, LPCSTR text);

    // Copies the value's text into `out` and terminates it. 1 when it was read, else 0 with
    // `out` untouched; a value whose text does not fit the field is a failed read.
    int ReadString(HKEY root, LPCSTR subKey, LPCSTR valueName, char (&out)[kIdentityTextSize]);

  private:
    HKEY m_hKey = nullptr;
    BYTE m_valueBuffer[kIdentityTextSize] = {}; // shared by every read through this object
    DWORD m_valueSize = 0;

    int CopyValueText(char (&out)[kIdentityTextSize]) const;
};
