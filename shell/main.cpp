#include "base/win32.h"

#include "shell/startup.h"

// Every way out of the program ends it with exit code 0.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (!check_service_version()) return 0;
    prepare_first_class();
    if (!run_login()) return 0;
    build_windows();
    finish_startup();
    return run_message_loop();
}
