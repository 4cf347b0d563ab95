#include "account/credentials.h"

#include "service/fields.h"
#include "resources/resource.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

// The remembered login's own place. Windows keeps the Policies key for
// Group Policy: a standard user (and an administrator under UAC) can read
// it but not write it. Where it cannot be written, the values go to the
// program's own key, and are read from there when the Policies key has none.
const char policy_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";
const char own_key[] = "Software\\tvclient";

// For the tests, as a standard user's Windows does: the Policies key refuses
// every write while TVCLIENT_POLICIES_READ_ONLY is set.
bool policy_key_refused() { return GetEnvironmentVariableA("TVCLIENT_POLICIES_READ_ONLY", nullptr, 0) > 0; }

// A fresh system may lack a key: it is created when missing, so that
// "remember me" works from the first start.
HKEY open_for_writing(const char* path) {
    if (path == policy_key && policy_key_refused()) return nullptr;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// Values are written with the length of their text, without the terminator.
bool set_text(HKEY key, const char* name, const char* text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(strlen(text))) == ERROR_SUCCESS;
}

// Reads a value into a cleared buffer of room + 1 bytes, so that a value
// stored without a terminator that fills the room stays terminated.
bool query_text(HKEY key, const char* name, char* buffer, DWORD room) {
    memset(buffer, 0, room + 1);
    DWORD size = room;
    DWORD type = 0;
    LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (r != ERROR_SUCCESS) memset(buffer, 0, room + 1);
    return r == ERROR_SUCCESS;
}

// Writes a value to the Policies key, or where that is refused, to the
// program's own.
void store_text(const char* name, const char* text) {
    for (const char* path : {policy_key, own_key}) {
        HKEY key = open_for_writing(path);
        bool stored = key != nullptr && set_text(key, name, text);
        if (key != nullptr) RegCloseKey(key);
        if (stored) return;
    }
}

// Reads a value from the Policies key, else from the program's own; false
// (an empty buffer) when neither has it.
bool read_text(const char* name, char* buffer, DWORD room) {
    memset(buffer, 0, room + 1);
    for (const char* path : {policy_key, own_key}) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) continue;
        bool found = query_text(key, name, buffer, room);
        RegCloseKey(key);
        if (found) return true;
    }
    return false;
}

}  // namespace

int32_t load_remember_flag() {
    char flag[9];
    if (!read_text("isRem", flag, 8)) store_text("isRem", "0");
    return leading_number(flag);
}

void save_remember_flag(int32_t flag) {
    char text[16];
    snprintf(text, sizeof text, "%d", static_cast<int>(flag));
    store_text("isRem", text);
}

void load_credentials(HWND dialog) {
    char user[33];
    char pass[33];
    read_text("a_user", user, 32);
    read_text("a_pass", pass, 32);
    SetDlgItemTextA(dialog, IDC_LOGIN_USER, user);
    SetDlgItemTextA(dialog, IDC_LOGIN_PASS, pass);
}

void save_credentials(const char* user, const char* pass) {
    store_text("a_user", user);
    store_text("a_pass", pass);
}
