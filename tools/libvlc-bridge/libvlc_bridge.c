/*
 * libvlc.dll for running the Windows program on Linux under Wine.
 *
 * This is a test and demo part, never part of what Windows users get: they
 * put the libvlc.dll of a VLC 3.0 for Windows beside tvclient.exe. Here, a
 * Winelib DLL takes its place and forwards every function that
 * playback/libvlc.def lists to Debian's native libvlc. Its export table
 * (libvlc.spec) is made from that .def at build time, so the two cannot
 * disagree; a function listed there but not written here fails the link.
 *
 * Two calls need more than forwarding:
 * - set_hwnd binds the player to the X11 window that Wine made for the
 *   window, as the Winelib build of the program does itself;
 * - events: libvlc calls back on native threads of its own, which are not
 *   Wine threads, and the program's Windows code may not run there (it
 *   reads the clock through Win32, for one). So a native trampoline copies
 *   each event into a queue, and a thread of this DLL, made with
 *   CreateThread, hands them to the program in order. They arrive a moment
 *   late: an event of the old stream may still come after stop returns,
 *   which libvlc itself never does. The program's watchdog takes that in
 *   its stride (at worst a restart one tick later).
 */
#include <windows.h>

#include <errno.h>
#include <malloc.h>
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <vlc/vlc.h>

/* The program's callback: the Windows x64 calling convention. */
typedef void (CDECL *program_callback)(const libvlc_event_t *event, void *data);

struct attachment {
    program_callback callback;
    void *data;
};

struct queued_event {
    struct queued_event *next;
    struct attachment *to;
    libvlc_event_t event;
};

static pthread_mutex_t queue_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t queue_filled = PTHREAD_COND_INITIALIZER;
static struct queued_event *queue_head;
static struct queued_event *queue_tail;
static HANDLE delivery_thread;

/* On a Wine thread: hands the queued events to the program, in order. */
static DWORD WINAPI deliver_events(void *unused)
{
    (void)unused;
    for (;;)
    {
        struct queued_event *e;
        pthread_mutex_lock(&queue_lock);
        while (queue_head == NULL) pthread_cond_wait(&queue_filled, &queue_lock);
        e = queue_head;
        queue_head = e->next;
        if (queue_head == NULL) queue_tail = NULL;
        pthread_mutex_unlock(&queue_lock);
        e->to->callback(&e->event, e->to->data);
        free(e);
    }
    return 0;
}

/* On libvlc's native thread: copies the event and wakes the delivery. */
static void queue_event(const libvlc_event_t *event, void *data)
{
    struct queued_event *e = malloc(sizeof *e);
    if (e == NULL) return;
    e->next = NULL;
    e->to = data;
    e->event = *event;
    pthread_mutex_lock(&queue_lock);
    if (queue_tail != NULL) queue_tail->next = e;
    else queue_head = e;
    queue_tail = e;
    pthread_cond_signal(&queue_filled);
    pthread_mutex_unlock(&queue_lock);
}

int CDECL wrap_libvlc_event_attach(libvlc_event_manager_t *manager, libvlc_event_type_t type,
                                   program_callback callback, void *data)
{
    struct attachment *to = malloc(sizeof *to);
    if (to == NULL) return ENOMEM;
    /* Attachments live as long as the process: the program never detaches. */
    to->callback = callback;
    to->data = data;
    if (delivery_thread == NULL) delivery_thread = CreateThread(NULL, 0, deliver_events, NULL, 0, NULL);
    return libvlc_event_attach(manager, type, queue_event, to);
}

void CDECL wrap_libvlc_media_player_set_hwnd(libvlc_media_player_t *player, void *hwnd)
{
    uintptr_t x11 = (uintptr_t)GetPropA((HWND)hwnd, "__wine_x11_whole_window");
    libvlc_media_player_set_xwindow(player, (uint32_t)x11);
}

/* Everything else is forwarded unchanged. */
int CDECL wrap_libvlc_audio_get_mute(libvlc_media_player_t *p) { return libvlc_audio_get_mute(p); }
void CDECL wrap_libvlc_audio_set_mute(libvlc_media_player_t *p, int mute) { libvlc_audio_set_mute(p, mute); }
int CDECL wrap_libvlc_audio_set_volume(libvlc_media_player_t *p, int volume)
{
    return libvlc_audio_set_volume(p, volume);
}
libvlc_media_t *CDECL wrap_libvlc_media_new_location(libvlc_instance_t *vlc, const char *mrl)
{
    return libvlc_media_new_location(vlc, mrl);
}
libvlc_event_manager_t *CDECL wrap_libvlc_media_player_event_manager(libvlc_media_player_t *p)
{
    return libvlc_media_player_event_manager(p);
}
int CDECL wrap_libvlc_media_player_is_playing(libvlc_media_player_t *p) { return libvlc_media_player_is_playing(p); }
libvlc_media_player_t *CDECL wrap_libvlc_media_player_new(libvlc_instance_t *vlc)
{
    return libvlc_media_player_new(vlc);
}
int CDECL wrap_libvlc_media_player_play(libvlc_media_player_t *p) { return libvlc_media_player_play(p); }
void CDECL wrap_libvlc_media_player_set_media(libvlc_media_player_t *p, libvlc_media_t *m)
{
    libvlc_media_player_set_media(p, m);
}
void CDECL wrap_libvlc_media_player_stop(libvlc_media_player_t *p) { libvlc_media_player_stop(p); }
void CDECL wrap_libvlc_media_release(libvlc_media_t *m) { libvlc_media_release(m); }
/* The native libvlc allocates from glibc here, as in the Winelib build of
 * the program, which gives its player two arenas and maps its picture
 * buffers (playback/player_window.cpp): the same settings, so that the
 * memory of the Windows program measured here is the program's, not that of
 * glibc's defaults (an arena for every new thread). On Windows the player
 * allocates from the Windows heap. */
libvlc_instance_t *CDECL wrap_libvlc_new(int argc, const char *const *argv) {
    mallopt(M_ARENA_MAX, 2);
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    return libvlc_new(argc, argv);
}
void CDECL wrap_libvlc_video_set_aspect_ratio(libvlc_media_player_t *p, const char *ratio)
{
    libvlc_video_set_aspect_ratio(p, ratio);
}
void CDECL wrap_libvlc_video_set_key_input(libvlc_media_player_t *p, unsigned on) { libvlc_video_set_key_input(p, on); }
void CDECL wrap_libvlc_video_set_mouse_input(libvlc_media_player_t *p, unsigned on)
{
    libvlc_video_set_mouse_input(p, on);
}
