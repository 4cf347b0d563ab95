#include "shell/keys.h"

const key_binding key_table[] = {
    {0x70, key_action::help_panel, "F1", "F1"},
    {0x1B, key_action::escape, "Esc", "Esc"},
    {0x23, key_action::last_channel, "End", "End"},
    {0x24, key_action::first_channel, "Home", "Home"},
    {0x25, key_action::previous_channel, "Left", "Стрелка наляво"},
    {0x27, key_action::next_channel, "Right", "Стрелка надясно"},
    {0x26, key_action::volume_up, "Up", "Стрелка нагоре"},
    {0x28, key_action::volume_down, "Down", "Стрелка надолу"},
    {'L', key_action::program_panel, "L", "L"},
    {'U', key_action::user_panel, "U", "U"},
    {'S', key_action::stop, "S", "S"},
    {'M', key_action::mute, "M", "M"},
    {'F', key_action::fullscreen, "F", "F"},
};

const size_t key_table_size = sizeof key_table / sizeof key_table[0];

const key_binding* key_binding_for(uint32_t code) {
    for (size_t i = 0; i < key_table_size; ++i)
        if (key_table[i].code == code) return &key_table[i];
    return nullptr;
}
