#include "playback/player_window.h"

#ifdef __WINE__
#include <malloc.h>
#endif

// Under Wine the player draws into the X11 window that Wine made for the
// video window; on Windows into the video window itself.
uintptr_t native_window_of(HWND video) {
#ifdef __WINE__
    return reinterpret_cast<uintptr_t>(GetPropA(video, "__wine_x11_whole_window"));
#else
    return reinterpret_cast<uintptr_t>(video);
#endif
}

void set_player_window(libvlc_media_player_t* player, uintptr_t window) {
#ifdef __WINE__
    libvlc_media_player_set_xwindow(player, static_cast<uint32_t>(window));
#else
    libvlc_media_player_set_hwnd(player, reinterpret_cast<HWND>(window));
#endif
}

void prepare_player_memory() {
#ifdef __WINE__
    // Under Wine the player's threads allocate from glibc, which gives every
    // new thread an arena of its own and returns little of it: a channel
    // change starts new threads, and zapping grew the process by some
    // hundred megabytes before it levelled off. Two arenas keep it flat.
    mallopt(M_ARENA_MAX, 2);
    // A picture buffer, once freed, would otherwise raise the size from
    // which glibc maps blocks of their own, and every later buffer would
    // stay in an arena when freed: buffers from this size are mapped, and
    // go back to the system when freed.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
}
