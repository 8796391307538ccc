// Export/import marker for the host's API. The host's libraries export these symbols; a module
// built with hidden visibility must still see them as the host's own. On Windows a module
// imports them, and a library that implements them defines HOST_API_BUILDING to export them.
#pragma once

#if defined(_WIN32)
#if defined(HOST_API_BUILDING)
#define HOST_API_PORT __declspec(dllexport)
#else
#define HOST_API_PORT __declspec(dllimport)
#endif
#else
#define HOST_API_PORT __attribute__((visibility("default")))
#endif

// Text is wide throughout.
typedef wchar_t ACHAR;
