/* Registry helper for the end-to-end tests and `make run`: seeds and reads back HKLM keys with
 * exact bytes, in a chosen registry view.
 *   regtool dump VIEW KEY               every value: NAME<TAB>TYPE<TAB>BYTECOUNT<TAB>HEXBYTES
 *   regtool setbin VIEW KEY NAME FILE   a REG_BINARY value holding the bytes of FILE
 *   regtool setsz VIEW KEY NAME TEXT    a REG_SZ value holding TEXT and its terminating zero
 *   regtool delete VIEW KEY             the key and everything under it (absent is fine)
 *   regtool delvalue VIEW KEY NAME      one value (absent is fine)
 * VIEW is 32 or 64; KEY is a path under HKEY_LOCAL_MACHINE. Exit 0 on success, 1 when the key
 * to dump does not exist, 2 on any other failure. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static REGSAM ViewFlag(const char* view) {
    return strcmp(view, "32") == 0 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

static int Fail(const char* what, LONG error) {
    fprintf(stderr, "regtool: %s failed (error %ld)\n", what, (long)error);
    return 2;
}

static int Dump(REGSAM view, const char* path) {
    HKEY key;
    DWORD index;
    LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, &key);
    if (error == ERROR_FILE_NOT_FOUND) return 1;
    if (error != ERROR_SUCCESS) return Fail("RegOpenKeyExA", error);
    for (index = 0;; ++index) {
        char name[16384];
        static BYTE data[1 << 20];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0, i;
        error = RegEnumValueA(key, index, name, &nameSize, NULL, &type, data, &dataSize);
        if (error == ERROR_NO_MORE_ITEMS) break;
        if (error != ERROR_SUCCESS) return Fail("RegEnumValueA", error);
        printf("%s\t%lu\t%lu\t", name, (unsigned long)type, (unsigned long)dataSize);
        for (i = 0; i < dataSize; ++i)
            printf("%02X", data[i]);
        putchar('\n');
    }
    RegCloseKey(key);
    return 0;
}

static int SetValue(REGSAM view, const char* path, const char* name, DWORD type, const BYTE* data,
                    DWORD size) {
    HKEY key;
    LONG error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_ALL_ACCESS | view, NULL,
                                 &key, NULL);
    if (error != ERROR_SUCCESS) return Fail("RegCreateKeyExA", error);
    error = RegSetValueExA(key, name, 0, type, data, size);
    RegCloseKey(key);
    return error == ERROR_SUCCESS ? 0 : Fail("RegSetValueExA", error);
}

static int SetBinary(REGSAM view, const char* path, const char* name, const char* file) {
    FILE* in = fopen(file, "rb");
    BYTE* data;
    long size;
    int result;
    if (in == NULL) return Fail("reading the table file", 0);
    fseek(in, 0, SEEK_END);
    size = ftell(in);
    fseek(in, 0, SEEK_SET);
    data = (BYTE*)malloc(size > 0 ? (size_t)size : 1);
    if (data == NULL || (size > 0 && fread(data, 1, (size_t)size, in) != (size_t)size)) {
        fclose(in);
        return Fail("reading the table file", 0);
    }
    fclose(in);
    result = SetValue(view, path, name, REG_BINARY, data, (DWORD)size);
    free(data);
    return result;
}

static int Delete(REGSAM view, const char* path) {
    LONG error = RegDeleteTreeA(HKEY_LOCAL_MACHINE, path);
    HKEY key;
    (void)view;
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
        return Fail("RegDeleteTreeA", error);
    /* RegDeleteTree leaves the key itself in some versions; remove it in the chosen view. */
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        error = RegDeleteKeyExA(HKEY_LOCAL_MACHINE, path, view, 0);
        if (error != ERROR_SUCCESS) return Fail("RegDeleteKeyExA", error);
    }
    return 0;
}

static int DeleteValue(REGSAM view, const char* path, const char* name) {
    HKEY key;
    LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE | view, &key);
    if (error == ERROR_FILE_NOT_FOUND) return 0;
    if (error != ERROR_SUCCESS) return Fail("RegOpenKeyExA", error);
    error = RegDeleteValueA(key, name);
    RegCloseKey(key);
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND ? 0
                                                                   : Fail("RegDeleteValueA", error);
}

int main(int argc, char** argv) {
    REGSAM view;
    if (argc < 4) {
        fputs("usage: regtool dump|setbin|setsz|delete|delvalue 32|64 KEY [NAME [DATA]]\n", stderr);
        return 2;
    }
    view = ViewFlag(argv[2]);
    if (strcmp(argv[1], "dump") == 0) return Dump(view, argv[3]);
    if (strcmp(argv[1], "delete") == 0) return Delete(view, argv[3]);
    if (strcmp(argv[1], "delvalue") == 0 && argc == 5) return DeleteValue(view, argv[3], argv[4]);
    if (strcmp(argv[1], "setbin") == 0 && argc == 6)
        return SetBinary(view, argv[3], argv[4], argv[5]);
    if (strcmp(argv[1], "setsz") == 0 && argc == 6)
        return SetValue(view, argv[3], argv[4], REG_SZ, (const BYTE*)argv[5],
                        (DWORD)strlen(argv[5]) + 1);
    fputs("regtool: unknown command\n", stderr);
    return 2;
}
