/*
 * A library planted beside a program under the name of a system library
 * (bcrypt.dll), as a downloads folder may hold one: when it is loaded it
 * leaves the file "planted-library-ran" beside itself. Its one export lets
 * a program that imports BCrypt start with it; it fails every call.
 */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH];
        DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
        while (length > 0 && path[length - 1] != '\\' && path[length - 1] != '/')
            --length;
        if (length > 0 && length + 20 < MAX_PATH) {
            lstrcpyA(path + length, "planted-library-ran");
            HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            if (marker != INVALID_HANDLE_VALUE)
                CloseHandle(marker);
        }
    }
    return TRUE;
}

__declspec(dllexport) LONG WINAPI BCryptOpenAlgorithmProvider(void** algorithm, const WCHAR* id,
                                                               const WCHAR* implementation, ULONG flags)
{
    (void)algorithm;
    (void)id;
    (void)implementation;
    (void)flags;
    return (LONG)0xC00000BB; /* STATUS_NOT_SUPPORTED */
}
