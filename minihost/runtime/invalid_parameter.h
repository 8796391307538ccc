// What the platform's runtime does with an invalid parameter, such as a string copy into a
// destination too small for it: it calls a handler, and the default handler ends the process
// (the host with it). The stand-in's runtime functions do the same, so that a module's call the
// platform would not survive fails here too; tests replace the handler to observe such calls.
#pragma once

namespace minihost {

// Called with the name of the runtime function that was given an invalid parameter. A handler
// that returns lets the function return its error code.
using InvalidParameterHandler = void (*)(const char* function);

// Installs `handler` (nullptr: the default, which aborts) and returns the one installed before.
InvalidParameterHandler setInvalidParameterHandler(InvalidParameterHandler handler);

// Reports an invalid parameter of `function` to the handler installed.
void invalidParameter(const char* function);

} // namespace minihost
