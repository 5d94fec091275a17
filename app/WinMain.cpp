// Program entry: no window, no command line; the outcome is the exit code alone.
#include "app/RunVeskInfo.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RunVeskInfo(g_SysInfo);
}
