// The settings MELVARA.EXE makes in its own Wine prefix.
#include "sim/windows/WineSettings.h"

#include <windows.h>

#include <string>

#include "sim/support/ProgramName.h"

namespace sim::windows {

void PrepareWine() {
    if (!RunningUnderWine())
        return;
    std::wstring program(MAX_PATH, L'\0');
    const DWORD length =
        GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
    if (length == 0 || length >= program.size())
        return;
    program.resize(length);
    const std::wstring name = program.substr(program.find_last_of(L"\\/") + 1);
    const std::wstring key = L"Software\\Wine\\AppDefaults\\" + name + L"\\X11 Driver";
    HKEY settings = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &settings,
                        nullptr) != ERROR_SUCCESS) {
        return;  // the boxes are slow, not wrong
    }
    // A value there is the user's choice (a window manager may want Y).
    if (RegQueryValueExW(settings, L"Managed", nullptr, nullptr, nullptr, nullptr) ==
        ERROR_FILE_NOT_FOUND) {
        static const wchar_t kNo[] = L"N";
        RegSetValueExW(settings, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNo),
                       sizeof kNo);
    }
    RegCloseKey(settings);
}

}  // namespace sim::windows
