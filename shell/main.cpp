#include "shell/win32.h"

#include "shell/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (!check_service_version()) return 0;
    return 0;
}
