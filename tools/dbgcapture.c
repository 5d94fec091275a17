/* Debugger-output capture: runs a program and prints every text it hands to the debugger
 * output, in order, one line each, escaped so that the exact bytes can be recovered:
 *   DBG <text>     printable ASCII as is, a backslash as \\, every other byte as \xHH
 *   EXIT <code>    the program's exit code (decimal, signed), which is also ours
 * Usage: dbgcapture [--monitor] PROGRAM [ARGUMENT...]   (arguments are passed on as they are)
 * By default the program runs as a debuggee and its texts arrive as debug events. With
 * --monitor it runs undebugged and the texts are read the way an output monitor reads them,
 * through the shared DBWIN buffer; that also works across bitnesses and where the debuggee's
 * exceptions cannot reach a debugger (32-bit code emulated under Wine). */
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void PrintEscaped(const unsigned char* text, size_t length) {
    size_t i;
    fputs("DBG ", stdout);
    for (i = 0; i < length; ++i) {
        if (text[i] == '\\')
            fputs("\\\\", stdout);
        else if (text[i] >= 0x20 && text[i] < 0x7F)
            putchar(text[i]);
        else
            printf("\\x%02X", text[i]);
    }
    putchar('\n');
}

static void PrintDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO* info) {
    size_t length = info->nDebugStringLength;
    unsigned char* text;
    SIZE_T read = 0;
    if (info->fUnicode) length *= 2;
    text = (unsigned char*)malloc(length + 1);
    if (text == NULL) return;
    if (ReadProcessMemory(process, info->lpDebugStringData, text, length, &read)) {
        /* The length counts the terminating zero, which is not part of the text. */
        if (read > 0 && text[read - 1] == 0) --read;
        PrintEscaped(text, read);
    } else {
        printf("ERR cannot read a debug string (error %lu)\n", GetLastError());
    }
    free(text);
}

/* The command line: the arguments quoted as the C runtime splits them. */
static char* BuildCommandLine(int argc, char** argv) {
    size_t size = 1;
    int i;
    char* line;
    for (i = 1; i < argc; ++i)
        size += 2 * strlen(argv[i]) + 3;
    line = (char*)calloc(size, 1);
    if (line == NULL) return NULL;
    for (i = 1; i < argc; ++i) {
        const char* p = argv[i];
        size_t backslashes = 0;
        if (i > 1) strcat(line, " ");
        strcat(line, "\"");
        for (; *p; ++p) {
            char c[2] = {*p, 0};
            if (*p == '\\') {
                ++backslashes;
            } else {
                if (*p == '"') {
                    while (backslashes--)
                        strcat(line, "\\");
                    strcat(line, "\\");
                }
                backslashes = 0;
            }
            strcat(line, c);
        }
        while (backslashes--)
            strcat(line, "\\");
        strcat(line, "\"");
    }
    return line;
}

/* The output-monitor protocol: the monitor owns the buffer and two events; a writer waits for
 * BUFFER_READY, writes its process id and text, and signals DATA_READY. */
static int Monitor(const char* program, char* commandLine) {
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    HANDLE mapping, bufferReady, dataReady;
    const unsigned char* buffer;
    DWORD exitCode = 0;
    int running = 1;

    mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 4096, "DBWIN_BUFFER");
    bufferReady = CreateEventA(NULL, FALSE, FALSE, "DBWIN_BUFFER_READY");
    dataReady = CreateEventA(NULL, FALSE, FALSE, "DBWIN_DATA_READY");
    if (mapping == NULL || bufferReady == NULL || dataReady == NULL ||
        GetLastError() == ERROR_ALREADY_EXISTS) {
        fprintf(stderr, "dbgcapture: cannot own the debug-output buffer (error %lu)\n",
                GetLastError());
        return 2;
    }
    buffer = (const unsigned char*)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 4096);
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (buffer == NULL || !CreateProcessA(program, commandLine, NULL, NULL, FALSE, 0, NULL, NULL,
                                          &startup, &process)) {
        fprintf(stderr, "dbgcapture: cannot start %s (error %lu)\n", program, GetLastError());
        return 2;
    }
    SetEvent(bufferReady);
    while (running) {
        HANDLE waits[2];
        DWORD which;
        waits[0] = dataReady;
        waits[1] = process.hProcess;
        which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (which == WAIT_OBJECT_0) {
            if (*(const DWORD*)buffer == process.dwProcessId)
                PrintEscaped(buffer + 4, strnlen((const char*)buffer + 4, 4096 - 4));
            fflush(stdout);
            SetEvent(bufferReady);
        } else {
            running = 0; /* exited; a text signalled at the same moment is read first above */
            if (WaitForSingleObject(dataReady, 0) == WAIT_OBJECT_0 &&
                *(const DWORD*)buffer == process.dwProcessId)
                PrintEscaped(buffer + 4, strnlen((const char*)buffer + 4, 4096 - 4));
        }
    }
    GetExitCodeProcess(process.hProcess, &exitCode);
    printf("EXIT %ld\n", (long)exitCode);
    fflush(stdout);
    return (int)exitCode;
}

int main(int argc, char** argv) {
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    DEBUG_EVENT event;
    DWORD exitCode = 0;
    char* commandLine;

    _setmode(_fileno(stdout), _O_BINARY); /* exact lines: no carriage returns added */
    if (argc > 1 && strcmp(argv[1], "--monitor") == 0) {
        commandLine = argc > 2 ? BuildCommandLine(argc - 1, argv + 1) : NULL;
        if (commandLine == NULL) return 2;
        return Monitor(argv[2], commandLine);
    }
    if (argc < 2) {
        fputs("usage: dbgcapture [--monitor] PROGRAM [ARGUMENT...]\n", stderr);
        return 2;
    }
    commandLine = BuildCommandLine(argc, argv);
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (commandLine == NULL ||
        !CreateProcessA(argv[1], commandLine, NULL, NULL, FALSE, DEBUG_ONLY_THIS_PROCESS, NULL,
                        NULL, &startup, &process)) {
        fprintf(stderr, "dbgcapture: cannot start %s (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    for (;;) {
        DWORD status = DBG_CONTINUE;
        if (!WaitForDebugEvent(&event, INFINITE)) {
            fprintf(stderr, "dbgcapture: WaitForDebugEvent failed (error %lu)\n", GetLastError());
            return 2;
        }
        switch (event.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT:
            PrintDebugString(process.hProcess, &event.u.DebugString);
            break;
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
            break;
        case EXCEPTION_DEBUG_EVENT:
            /* Only the loader's initial breakpoint is ours to swallow. */
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT &&
                event.u.Exception.ExceptionRecord.ExceptionCode != 0x4000001F /* WoW64 */)
                status = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            exitCode = event.u.ExitProcess.dwExitCode;
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
            printf("EXIT %ld\n", (long)exitCode);
            fflush(stdout);
            return (int)exitCode;
        default:
            break;
        }
        fflush(stdout);
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
}
