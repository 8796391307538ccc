// Test helpers for resbuf chains: LISP-style text of a chain, and conversions of wide text.
#pragma once

#include <string>

#include "host/host_api.h"

namespace testing_support {

// The chain as the host's LISP would print it, strings in UTF-8 and double quotes:
// (("Title" "") ...). A chain that is not well formed prints with a "<bad chain>" marker.
std::string chainText(const resbuf* chain);
// Number of nodes in the chain.
int chainLength(const resbuf* chain);
std::string utf8(const std::wstring& text);
std::wstring wide(const std::string& utf8Text);

} // namespace testing_support
