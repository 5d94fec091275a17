// Program entry. Not built yet: the run sequence arrives with the identity record.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
