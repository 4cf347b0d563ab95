#include "account/credentials.h"

#include "service/fields.h"
#include "resources/resource.h"

#include <cstdio>
#include <cstring>

namespace {

const char key_path[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";

// A fresh system may lack the key: it is created when missing, so that
// "remember me" works from the first start.
HKEY open_key() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key_path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// Values are written with the length of their text, without the terminator.
void set_text(HKEY key, const char* name, const char* text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text)));
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

}  // namespace

int32_t load_remember_flag() {
    char flag[9];
    memset(flag, 0, sizeof flag);
    HKEY key = open_key();
    if (key == nullptr) return 0;
    if (!query_text(key, "isRem", flag, 8)) set_text(key, "isRem", "0");
    RegCloseKey(key);
    return leading_number(flag);
}

void save_remember_flag(int32_t flag) {
    char text[16];
    snprintf(text, sizeof text, "%d", static_cast<int>(flag));
    HKEY key = open_key();
    if (key == nullptr) return;
    set_text(key, "isRem", text);
    RegCloseKey(key);
}

void load_credentials(HWND dialog) {
    char user[33];
    char pass[33];
    memset(user, 0, sizeof user);
    memset(pass, 0, sizeof pass);
    HKEY key = open_key();
    if (key != nullptr) {
        query_text(key, "a_user", user, 32);
        query_text(key, "a_pass", pass, 32);
        RegCloseKey(key);
    }
    SetDlgItemTextA(dialog, IDC_LOGIN_USER, user);
    SetDlgItemTextA(dialog, IDC_LOGIN_PASS, pass);
}

void save_credentials(const char* user, const char* pass) {
    HKEY key = open_key();
    if (key == nullptr) return;
    set_text(key, "a_user", user);
    set_text(key, "a_pass", pass);
    RegCloseKey(key);
}
