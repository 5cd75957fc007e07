#include "examples/engine/engine_module.h"

namespace example_engine_com {

HINSTANCE g_module = nullptr;
LONG g_moduleLocks = 0;

namespace {
LONG setString(HKEY key, const wchar_t* name, const wchar_t* value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          (DWORD)((wcslen(value) + 1) * sizeof(wchar_t)));
}
}  // namespace

LONG registerInprocServer(const wchar_t* classKey, const wchar_t* description, const wchar_t* modulePath,
                          const wchar_t* threadingModel) {
    HKEY key = nullptr, serverKey = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, classKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) rc = setString(key, nullptr, description);
    if (rc == ERROR_SUCCESS)
        rc = RegCreateKeyExW(key, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey, nullptr);
    if (rc == ERROR_SUCCESS) rc = setString(serverKey, nullptr, modulePath);
    if (rc == ERROR_SUCCESS) rc = setString(serverKey, L"ThreadingModel", threadingModel);
    if (serverKey) RegCloseKey(serverKey);
    if (key) RegCloseKey(key);
    return rc;
}

}  // namespace example_engine_com
