// The stand-in's registry where Windows NT behaviour matters to the program: byte counts,
// terminating zeros, names, rights and handles.
#include "control.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

class WinsimRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { winsim::Reset(); }
    HKEY Create(const char* path) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &key), ERROR_SUCCESS);
        return key;
    }
};

TEST_F(WinsimRegistryTest, NamesAreCaseInsensitiveAndParentsAreCreated) {
    HKEY created = Create("SOFTWARE\\Maker\\App");
    ASSERT_EQ(
        RegSetValueExA(created, "Name", 0, REG_BINARY, reinterpret_cast<const BYTE*>("ab"), 2),
        ERROR_SUCCESS);
    EXPECT_TRUE(winsim::RegistryKeyExists("HKLM\\software\\maker"));
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\MAKER\\app", 0, KEY_READ, &opened),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(opened, "NAME", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(winsim::OpenRegistryKeyCount(), 2u);
    EXPECT_EQ(RegCloseKey(created), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(opened), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(opened), ERROR_INVALID_HANDLE);
    EXPECT_EQ(winsim::OpenRegistryKeyCount(), 0u);
    HKEY missing = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\other", 0, KEY_READ, &missing),
              ERROR_FILE_NOT_FOUND);
}

// A string count without the zero stores the zero too when it follows the data; the count of
// an empty string or of data not followed by a zero is kept.
TEST_F(WinsimRegistryTest, StringCountWithoutZeroStoresTheZeroAsNtDoes) {
    HKEY key = Create("SOFTWARE\\Maker");
    const char text[] = "Acme\0Z";
    RegSetValueExA(key, "a", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 4);
    RegSetValueExA(key, "b", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 0);
    RegSetValueExA(key, "c", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 3);
    RegSetValueExA(key, "d", 0, REG_BINARY, reinterpret_cast<const BYTE*>(text), 4);
    RegCloseKey(key);
    EXPECT_EQ(winsim::ReadRegistryValue("HKLM\\SOFTWARE\\Maker", "a")->data.size(), 5u);
    EXPECT_EQ(winsim::ReadRegistryValue("HKLM\\SOFTWARE\\Maker", "b")->data.size(), 0u);
    EXPECT_EQ(winsim::ReadRegistryValue("HKLM\\SOFTWARE\\Maker", "c")->data.size(), 3u);
    EXPECT_EQ(winsim::ReadRegistryValue("HKLM\\SOFTWARE\\Maker", "d")->data.size(), 4u);
    EXPECT_EQ(winsim::CallsTo("RegSetValueExA")[0].args[4], "4");
}

// A string value gets a zero after it when the buffer has room; other types never do.
TEST_F(WinsimRegistryTest, QueryReportsSizesAndAppendsZeroToStringsWithRoom) {
    winsim::SeedRegistryValue("HKLM\\K", "s", REG_SZ, "abc");
    winsim::SeedRegistryValue("HKLM\\K", "b", REG_BINARY, "abc");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    struct Case {
        const char* value;
        DWORD bufferSize;
        LONG status;
        DWORD size;
        const char* contents;
    };
    for (const Case& c : {Case{"s", 10, ERROR_SUCCESS, 3, "abc\0xxxxxx"},
                          Case{"s", 3, ERROR_SUCCESS, 3, "abcxxxxxxx"},
                          Case{"s", 2, ERROR_MORE_DATA, 3, "xxxxxxxxxx"},
                          Case{"b", 10, ERROR_SUCCESS, 3, "abcxxxxxxx"}}) {
        SCOPED_TRACE(std::string(c.value) + std::to_string(c.bufferSize));
        BYTE buffer[10];
        std::memset(buffer, 'x', sizeof buffer);
        DWORD size = c.bufferSize;
        DWORD type = 0;
        EXPECT_EQ(RegQueryValueExA(key, c.value, nullptr, &type, buffer, &size), c.status);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(std::memcmp(buffer, c.contents, sizeof buffer), 0);
        EXPECT_EQ(type, c.value[0] == 's' ? static_cast<DWORD>(REG_SZ) : REG_BINARY);
    }
    RegCloseKey(key);
}

TEST_F(WinsimRegistryTest, HandleWithoutTheRightIsDenied) {
    winsim::SeedRegistryValue("HKLM\\K", "v", REG_SZ, "abc");
    HKEY readOnly = nullptr, writeOnly = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, &readOnly);
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_SET_VALUE, &writeOnly);
    DWORD size = 0;
    EXPECT_EQ(RegSetValueExA(readOnly, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 1),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryValueExA(writeOnly, "v", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);
    RegCloseKey(readOnly);
    RegCloseKey(writeOnly);
}

} // namespace
