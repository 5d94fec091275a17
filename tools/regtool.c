/* Registry helper for the end-to-end tests and `make run`: seeds and reads back registry keys
 * with exact bytes, in a chosen registry view. One run carries out several commands, separated
 * by ";" arguments, in order, so that a test starts one Windows process where it needs many.
 *   regtool COMMAND [; COMMAND]...
 * where COMMAND is one of
 *   dump VIEW KEY               "key VIEW KEY" then every value as
 *                               value<TAB>NAME<TAB>TYPE<TAB>BYTECOUNT<TAB>HEXBYTES,
 *                               or "absent VIEW KEY" when the key does not exist
 *   setbin VIEW KEY NAME FILE   a REG_BINARY value holding the bytes of FILE
 *   setsz VIEW KEY NAME TEXT    a REG_SZ value holding TEXT and its terminating zero
 *   delete VIEW KEY             the key and everything under it (absent is fine)
 *   delvalue VIEW KEY NAME      one value (absent is fine)
 * VIEW is 32 or 64; KEY is a path under HKEY_LOCAL_MACHINE, or under HKEY_CURRENT_USER when it
 * begins with "HKCU\"; an empty NAME is the key's default value. Exit 0 when every command
 * succeeded; 2 at the first that failed, whose commands after it are not carried out. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static REGSAM ViewFlag(const char* view) {
    return strcmp(view, "32") == 0 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

/* The root the path names, and the path below it. */
static HKEY Root(const char** path) {
    if (strncmp(*path, "HKCU\\", 5) == 0) {
        *path += 5;
        return HKEY_CURRENT_USER;
    }
    return HKEY_LOCAL_MACHINE;
}

static int Fail(const char* what, LONG error) {
    fprintf(stderr, "regtool: %s failed (error %ld)\n", what, (long)error);
    return 2;
}

static int Dump(const char* viewName, REGSAM view, const char* path) {
    HKEY key;
    DWORD index;
    HKEY root = Root(&path);
    LONG error = RegOpenKeyExA(root, path, 0, KEY_READ | view, &key);
    if (error == ERROR_FILE_NOT_FOUND) {
        printf("absent %s %s\n", viewName, path);
        return 0;
    }
    if (error != ERROR_SUCCESS) return Fail("RegOpenKeyExA", error);
    printf("key %s %s\n", viewName, path);
    for (index = 0;; ++index) {
        char name[16384];
        static BYTE data[1 << 20];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0, i;
        error = RegEnumValueA(key, index, name, &nameSize, NULL, &type, data, &dataSize);
        if (error == ERROR_NO_MORE_ITEMS) break;
        if (error != ERROR_SUCCESS) {
            RegCloseKey(key);
            return Fail("RegEnumValueA", error);
        }
        printf("value\t%s\t%lu\t%lu\t", name, (unsigned long)type, (unsigned long)dataSize);
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
    HKEY root = Root(&path);
    LONG error = RegCreateKeyExA(root, path, 0, NULL, 0, KEY_ALL_ACCESS | view, NULL, &key, NULL);
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
    HKEY root = Root(&path);
    LONG error = RegDeleteTreeA(root, path);
    HKEY key;
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
        return Fail("RegDeleteTreeA", error);
    /* RegDeleteTree leaves the key itself in some versions; remove it in the chosen view. */
    if (RegOpenKeyExA(root, path, 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        error = RegDeleteKeyExA(root, path, view, 0);
        if (error != ERROR_SUCCESS) return Fail("RegDeleteKeyExA", error);
    }
    return 0;
}

static int DeleteValue(REGSAM view, const char* path, const char* name) {
    HKEY key;
    HKEY root = Root(&path);
    LONG error = RegOpenKeyExA(root, path, 0, KEY_SET_VALUE | view, &key);
    if (error == ERROR_FILE_NOT_FOUND) return 0;
    if (error != ERROR_SUCCESS) return Fail("RegOpenKeyExA", error);
    error = RegDeleteValueA(key, name);
    RegCloseKey(key);
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND ? 0
                                                                   : Fail("RegDeleteValueA", error);
}

/* One command of `argc` arguments (the command's name first); 2 for an unknown one. */
static int Command(int argc, char** argv) {
    REGSAM view;
    if (argc < 3) return Fail("a command without its view and key", 0);
    view = ViewFlag(argv[1]);
    if (strcmp(argv[0], "dump") == 0 && argc == 3) return Dump(argv[1], view, argv[2]);
    if (strcmp(argv[0], "delete") == 0 && argc == 3) return Delete(view, argv[2]);
    if (strcmp(argv[0], "delvalue") == 0 && argc == 4) return DeleteValue(view, argv[2], argv[3]);
    if (strcmp(argv[0], "setbin") == 0 && argc == 5)
        return SetBinary(view, argv[2], argv[3], argv[4]);
    if (strcmp(argv[0], "setsz") == 0 && argc == 5)
        return SetValue(view, argv[2], argv[3], REG_SZ, (const BYTE*)argv[4],
                        (DWORD)strlen(argv[4]) + 1);
    fprintf(stderr, "regtool: unknown command or wrong arguments: %s\n", argv[0]);
    return 2;
}

int main(int argc, char** argv) {
    int first = 1, last;
    if (argc < 2) {
        fputs("usage: regtool dump|setbin|setsz|delete|delvalue 32|64 KEY [NAME [DATA]] [; ...]\n",
              stderr);
        return 2;
    }
    while (first < argc) {
        int result;
        for (last = first; last < argc && strcmp(argv[last], ";") != 0; ++last)
            ;
        result = Command(last - first, argv + first);
        if (result != 0) return result;
        first = last + 1;
    }
    return 0;
}
