/* A self-registering library for the tests of "regsvr32": registering it
   writes HKEY_CURRENT_USER\Software\ZrkSelfRegTest, value "Registered" (the
   library's own path), unregistering removes the value again. */
#include <windows.h>

static HINSTANCE self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(self, path, sizeof path);
    HKEY key;
    if (n == 0 || RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ZrkSelfRegTest", 0, NULL, 0, KEY_SET_VALUE, NULL, &key,
                                  NULL) != ERROR_SUCCESS)
        return E_FAIL;
    LONG r = RegSetValueExA(key, "Registered", 0, REG_SZ, (const BYTE*)path, n + 1);
    RegCloseKey(key);
    return r == ERROR_SUCCESS ? S_OK : E_FAIL;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\ZrkSelfRegTest", 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return E_FAIL;
    LONG r = RegDeleteValueA(key, "Registered");
    RegCloseKey(key);
    return r == ERROR_SUCCESS ? S_OK : E_FAIL;
}
