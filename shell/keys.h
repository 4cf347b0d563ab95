// The keys of the video window and their commands, in one table: the
// message loop looks every key up here, and the key lists of the README,
// the Windows README and the manual page are checked against it.
#pragma once

#include <cstddef>
#include <cstdint>

enum class key_action : uint8_t {
    help_panel,
    escape,
    last_channel,
    first_channel,
    previous_channel,
    next_channel,
    volume_up,
    volume_down,
    program_panel,
    user_panel,
    stop,
    mute,
    fullscreen,
};

struct key_binding {
    uint32_t code;         // the virtual-key code
    key_action action;
    const char* name;      // the key as the English documents name it
    const char* name_bg;   // and as the subscriber's Bulgarian README does
};

// In the order the loop tests them; each key has exactly one action.
extern const key_binding key_table[];
extern const size_t key_table_size;

// The binding of a virtual-key code, or nullptr for a key without a command.
const key_binding* key_binding_for(uint32_t code);
