// Export/import marker for the host's API. The host's libraries export these symbols; a module
// built with hidden visibility must still see them as the host's own.
#pragma once

#if defined(_WIN32)
#define ACHOST_PORT __declspec(dllimport)
#else
#define ACHOST_PORT __attribute__((visibility("default")))
#endif

// Text is wide throughout.
typedef wchar_t ACHAR;
