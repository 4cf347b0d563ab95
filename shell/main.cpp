#include "base/win32.h"

#include "playback/player_library.h"
#include "shell/startup.h"

// Every way out of the program ends it with exit code 0.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Without the player library there is nothing to watch: say where to get
    // it before asking the service anything.
    if (!load_player_library()) {
        show_player_library_missing();
        return 0;
    }
    if (!check_service_version()) return 0;
    prepare_first_class();
    if (!run_login()) return 0;
    build_windows();
    finish_startup();
    return run_message_loop();
}
