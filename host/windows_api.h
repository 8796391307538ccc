// The few Windows types and calls a module uses: its library-entry function, the instance
// handle, and string resources. On Windows they are the system's own; on Linux the stand-in
// host provides them, and an instance handle is the address at which the module's file is
// mapped.
#pragma once

#include <cstdint>

#include "host/module_app.h"
#include "host/host_port.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
typedef int BOOL;
typedef std::uint32_t DWORD;
typedef std::uint32_t UINT;
typedef void* LPVOID;
typedef wchar_t* LPWSTR;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
#define WINAPI
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// Reasons of the library-entry notification.
enum : DWORD {
    DLL_PROCESS_DETACH = 0,
    DLL_PROCESS_ATTACH = 1,
    DLL_THREAD_ATTACH = 2,
    DLL_THREAD_DETACH = 3,
};

extern "C" {
// Copies string resource `id` of the module at `instance` into `buffer` (room for `bufferMax`
// characters, terminator included; longer text is cut) and returns its length in characters;
// 0 when there is no such resource. With `bufferMax` 0, stores in *(const wchar_t**)buffer a
// read-only pointer to the text (not terminated) and returns its length.
HOST_API_PORT int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);
}
#endif

// The library-entry function, defined by the module: the operating system calls it with
// DLL_PROCESS_ATTACH after loading the module and with DLL_PROCESS_DETACH before unloading it.
// Returning FALSE at attach makes the load fail.
extern "C" HOST_MODULE_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason,
                                                  LPVOID reserved);
