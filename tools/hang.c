/* A GUI program that never ends, for the scenario that puts it in VeskInfo.exe's place: it starts
   a copy of itself (with the argument "child"), and both append a byte to a file beside the
   executable every 100 ms, hang-parent.beat and hang-child.beat, so that a test sees whether
   either is still running. Test code only. */
#include <windows.h>

#include <string.h>

static void Beat(const char* role) {
    char path[MAX_PATH + 32];
    const DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    char* folder = length > 0 && length < MAX_PATH ? strrchr(path, '\\') : NULL;
    if (folder == NULL) return;
    lstrcpyA(folder + 1, "hang-");
    lstrcatA(folder, role);
    lstrcatA(folder, ".beat");
    for (;;) {
        HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD written = 0;
        if (file != INVALID_HANDLE_VALUE) {
            WriteFile(file, "*", 1, &written, NULL);
            CloseHandle(file);
        }
        Sleep(100);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)instance;
    (void)previous;
    (void)show;
    if (strstr(commandLine, "child") == NULL) {
        char self[MAX_PATH];
        char line[MAX_PATH + 16] = "\"";
        STARTUPINFOA startup;
        PROCESS_INFORMATION process;
        const DWORD length = GetModuleFileNameA(NULL, self, MAX_PATH);
        memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        if (length > 0 && length < MAX_PATH) {
            lstrcatA(line, self);
            lstrcatA(line, "\" child");
            if (CreateProcessA(self, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
                CloseHandle(process.hThread);
                CloseHandle(process.hProcess);
            }
        }
        Beat("parent");
    }
    Beat("child");
    return 0;
}
