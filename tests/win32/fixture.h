// The stand-in service that scripts/with-standin started for this run,
// and what a person watching the screen would see.
#pragma once

#include "tests/win32/harness.h"

#include <string>
#include <vector>

// "127.0.0.1:<port>", or "" when the tests run without the stand-in.
std::string standin_address();
// The request lines the stand-in has logged so far (escaped as it logs them).
std::vector<std::string> standin_log();
// Replaces the stand-in's fault settings ("" for none).
void standin_faults(const std::string& settings);
// A host path for a scratch file of this run: in the stand-in's own folder,
// so that runs side by side never share one (Windows process ids repeat
// across Wine servers).
std::string scratch_file(const std::string& name);

// A picture of a part of the screen, as the X server shows it (with the
// video that libvlc draws): its mean brightness (0..1) and a digest that
// differs when the picture does.
struct screen_sample {
    double mean = -1;
    std::string digest;
};
screen_sample sample_screen(const RECT& area);

// Answers the parental dialog of this process: types the code and presses
// OK, or presses "Отказ" when cancel is set.
class lock_answer : public window_watcher {
public:
    lock_answer(const std::string& code, bool cancel);
    bool answered() { return finished(); }
};

// Starts the program in this process as after a login with these
// credentials at the stand-in: the windows, the player, the account data
// and the channel table. end_program closes it again.
void start_program(const char* user, const char* pass);
void end_program();

// The time-changed events the player library has reported since the
// program started: counted by a listener of the tests' own, beside the
// program's, so that no value the watchdog also writes is read.
int32_t time_events();
// The playing time (ms) the last of those events reported.
int64_t playing_time_ms();

// Pumps this thread's messages for a while, each through one turn of the
// program's message loop.
void pump(uint32_t ms);

// A click of the left button in the middle of a window, as a user's: the
// window system moves the activation and the keyboard focus as it does for
// a real click. False when other windows cover every point it would click.
bool click_window(HWND window);
// A click of the left button at a point of the screen, and a small move of
// the mouse, as the user's (through the system's input queue).
void click_point(int32_t x, int32_t y);
void move_mouse_by(int32_t dx, int32_t dy);
// A key typed by the user: it goes to whichever window has the keyboard
// focus, and through the message loop (pump) as the program's own loop
// runs it. The focus is left as the program leaves it.
void type_key(WPARAM code);
// A command of the popup menu, posted to the video window as the menu does.
void choose_menu_item(UINT id);

// Runs a shell command of the host (xdotool, import); its exit status.
int32_t host_command(const std::string& command);
