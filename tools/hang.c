/* A GUI program that never ends, put in VeskInfo.exe's place by the scenario of a repair that
   must give up on it: it starts a copy of itself (argument "child"), and both append a byte to
   hang-parent.beat or hang-child.beat beside the executable every 100 ms, so that the test sees
   whether either still runs. Test code only. */
#include <windows.h>

#include <string.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    const char* role = strstr(commandLine, "child") != NULL ? "child" : "parent";
    char self[MAX_PATH], beat[MAX_PATH + 32], line[MAX_PATH + 16] = "\"";
    const DWORD length = GetModuleFileNameA(NULL, self, MAX_PATH);
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    (void)instance, (void)previous, (void)show;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (length == 0 || length >= MAX_PATH || strrchr(self, '\\') == NULL) return 1;
    lstrcpyA(beat, self);
    lstrcpyA(strrchr(beat, '\\') + 1, role[0] == 'c' ? "hang-child.beat" : "hang-parent.beat");
    if (role[0] == 'p') {
        lstrcatA(lstrcatA(line, self), "\" child");
        if (CreateProcessA(self, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    for (;;) {
        DWORD written = 0;
        HANDLE file = CreateFileA(beat, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            WriteFile(file, "*", 1, &written, NULL);
            CloseHandle(file);
        }
        Sleep(100);
    }
}
