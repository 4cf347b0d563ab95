// The player library for the Windows program. tvclient.exe starts without
// libvlc.dll beside it (its import is delay-loaded) and takes the library
// from its own folder when it is there, else from the 64-bit VLC 3
// installed on the machine: the folder VLC's installer writes in the
// registry, else VLC's usual folder under Program Files. libvlc 3.0 then
// loads its plug-ins from the "plugins" folder beside its own libvlccore.dll
// before it looks at VLC_PLUGIN_PATH. The wine build links Debian's libvlc
// and always has it.
#pragma once

#include "base/win32.h"

#include <cstdint>

// Loads the player library; true when every libvlc function the program
// calls is there. Call before anything else touches the player.
bool load_player_library();

// The message that the program needs VLC 3 for Windows (64-bit), and where
// to get it.
void show_player_library_missing();

// The program's own folder, ending in its backslash, into out (size
// characters); its length, or 0 (out empty) when it does not fit.
int32_t program_folder(WCHAR* out, int32_t size);
