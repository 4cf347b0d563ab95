#include "playback/player_library.h"

#include "base/ui_text.h"
#include "base/win32.h"
#include "playback/folder_rules.h"

#include <aclapi.h>
#include <sddl.h>

#ifndef __WINE__
#include <delayimp.h>
#endif

namespace {

const char missing_caption[] = "Липсва VLC";
const char missing_text[] =
    "tvclient показва телевизията с VLC 3 за Windows (64-битов), а той не е намерен на този компютър.\n\n"
    "Изтеглете VLC от https://www.videolan.org/vlc/ (64-битовата версия 3.0), инсталирайте го и "
    "стартирайте tvclient отново.";

#ifndef __WINE__

HMODULE player_library = nullptr;

// The delay-load helper asks for "libvlc.dll" at the program's first call
// into it: it gets the library already loaded from the folder found.
FARPROC WINAPI on_delay_load(unsigned notification, PDelayLoadInfo info) {
    if (notification == dliNotePreLoadLibrary && player_library != nullptr &&
        lstrcmpiA(info->szDll, "libvlc.dll") == 0)
        return reinterpret_cast<FARPROC>(player_library);
    return nullptr;
}

// The program's delay-import descriptor of libvlc.dll, named by dlltool
// after the import library (libvlc.delay.a).
extern "C" const ImgDelayDescr __DELAY_IMPORT_DESCRIPTOR_libvlc_delay_a;

// Whether the library has every function the program imports from it (the
// names of the program's own delay-import table): a libvlc of another
// major version lacks some, and a call to a missing one would end the
// program.
bool has_every_function(HMODULE library) {
    const BYTE* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
    const ImgDelayDescr& imports = __DELAY_IMPORT_DESCRIPTOR_libvlc_delay_a;
    if (imports.rvaINT == 0) return false;
    int32_t found = 0;
    for (const IMAGE_THUNK_DATA* t = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + imports.rvaINT);
         t->u1.AddressOfData != 0; ++t) {
        if (IMAGE_SNAP_BY_ORDINAL(t->u1.Ordinal)) return false;
        const IMAGE_IMPORT_BY_NAME* name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + t->u1.AddressOfData);
        if (GetProcAddress(library, reinterpret_cast<const char*>(name->Name)) == nullptr) return false;
        ++found;
    }
    return found > 0;
}

// Appends text to a path of `size` characters; false when it does not fit.
bool append(WCHAR* path, int32_t size, const WCHAR* text) {
    int32_t at = lstrlenW(path);
    int32_t n = lstrlenW(text);
    if (at + n >= size) return false;
    lstrcpynW(path + at, text, size - at);
    return true;
}

// libvlc.dll from a folder, with libvlccore.dll found beside it; nullptr
// when it is not there, does not load (a 32-bit one) or is not libvlc 3.
HMODULE load_from(const WCHAR* folder) {
    WCHAR path[MAX_PATH];
    lstrcpynW(path, folder, MAX_PATH);
    int32_t n = lstrlenW(path);
    if (n == 0 || !append(path, MAX_PATH, path[n - 1] == '\\' ? L"libvlc.dll" : L"\\libvlc.dll")) return nullptr;
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return nullptr;
    HMODULE library = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library != nullptr && !has_every_function(library)) {
        FreeLibrary(library);
        library = nullptr;
    }
    return library;
}

// The user's own SID in its "S-1-..." form, or "" when it cannot be read.
void own_sid(char* out, int32_t size) {
    out[0] = 0;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    BYTE buffer[256];
    DWORD n = 0;
    LPSTR text = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &n) &&
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        lstrcpynA(out, text, size);
        LocalFree(text);
    }
    CloseHandle(token);
}

// Whether the folder's permissions let others than the user, the system and
// the administrators put a file into it (an installer's folder outside
// Program Files inherits the drive's "Authenticated Users: Modify").
bool folder_open_to_others(const WCHAR* folder) {
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return true;
    folder_grant grants[32];
    char sids[32][80];
    int32_t count = 0;
    bool readable = true;
    for (DWORD i = 0; list != nullptr && i < list->AceCount; ++i) {
        void* entry = nullptr;
        LPSTR text = nullptr;
        if (count == 32 || !GetAce(list, i, &entry)) {
            readable = false;
            break;
        }
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        const ACCESS_ALLOWED_ACE* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        if (!ConvertSidToStringSidA(const_cast<DWORD*>(&allowed->SidStart), &text)) {
            readable = false;
            break;
        }
        lstrcpynA(sids[count], text, sizeof sids[count]);
        LocalFree(text);
        grants[count] = {sids[count], allowed->Mask, 0, header->AceFlags};
        ++count;
    }
    char user[80];
    own_sid(user, sizeof user);
    bool open = !readable || others_may_write(grants, count, list != nullptr, user);
    LocalFree(descriptor);
    return open;
}

// libvlc.dll beside the program, only where no one else could have put it.
HMODULE from_own_folder() {
    WCHAR folder[MAX_PATH];
    if (program_folder(folder, MAX_PATH) == 0 || folder_open_to_others(folder)) return nullptr;
    return load_from(folder);
}

// The folder VLC's installer writes, in the registry's 64-bit view.
HMODULE from_registered_vlc() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VideoLAN\\VLC", 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return nullptr;
    WCHAR value[MAX_PATH];
    DWORD type = 0;
    DWORD size = sizeof value - sizeof(WCHAR);
    LONG r = RegQueryValueExW(key, L"InstallDir", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return nullptr;
    value[size / sizeof(WCHAR)] = 0;
    WCHAR folder[MAX_PATH];
    if (type == REG_EXPAND_SZ) {
        DWORD expanded = ExpandEnvironmentStringsW(value, folder, MAX_PATH);
        if (expanded == 0 || expanded > MAX_PATH) return nullptr;
    } else {
        lstrcpynW(folder, value, MAX_PATH);
    }
    return load_from(folder);
}

// VLC's usual folder under the 64-bit Program Files.
HMODULE from_program_files() {
    WCHAR folder[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"ProgramW6432", folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) n = GetEnvironmentVariableW(L"ProgramFiles", folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || !append(folder, MAX_PATH, L"\\VideoLAN\\VLC")) return nullptr;
    return load_from(folder);
}

#endif

}  // namespace

#ifndef __WINE__
// The delay-load helper reads this when the program first calls libvlc.
extern "C" PfnDliHook __pfnDliNotifyHook2;
#endif

int32_t program_folder(WCHAR* out, int32_t size) {
    DWORD n = size > 0 ? GetModuleFileNameW(nullptr, out, static_cast<DWORD>(size)) : 0;
    if (n == 0 || n >= static_cast<DWORD>(size)) {
        if (size > 0) out[0] = 0;
        return 0;
    }
    while (n > 0 && out[n - 1] != '\\') --n;
    out[n] = 0;
    return static_cast<int32_t>(n);
}

bool load_player_library() {
#ifdef __WINE__
    return true;
#else
    if (player_library != nullptr) return true;
    player_library = from_own_folder();
    if (player_library == nullptr) player_library = from_registered_vlc();
    if (player_library == nullptr) player_library = from_program_files();
    if (player_library != nullptr) __pfnDliNotifyHook2 = on_delay_load;
    return player_library != nullptr;
#endif
}

void show_player_library_missing() { show_message(nullptr, missing_text, missing_caption, MB_OK | MB_ICONERROR); }
