// Rows that tests link into a module of their own, one source file each so that the link order
// fixes their codes: "alpha" (code 0, registered for direct calls), an empty slot, then a row
// named by string resource kBetaNameId, "beta" (code 1, reached only through message 5).
// Each handler answers with its name and the code it was invoked under.
#pragma once

constexpr unsigned kBetaNameId = 101;

int AlphaHandler();
int BetaHandler();
// How often each ran (in the object they are linked into).
int alphaCalls();
int betaCalls();
