// LISP values as the host's interpreter passes them: resbuf chains and their type codes.
#pragma once

#include <cstdint>

#include "host/host_port.h"

// Type codes of resbuf nodes, and result codes of the aced* calls.
enum {
    RTNONE = 5000,  // ends the argument list of acutBuildList; never stored in a chain
    RTREAL = 5001,  // resval.rreal
    RTSHORT = 5003, // resval.rint
    RTSTR = 5005,   // resval.rstring, a NUL-terminated wide string
    RTLONG = 5010,  // resval.rlong
    RTLB = 5016,    // list begin
    RTLE = 5017,    // list end
    RTDOTE = 5018,  // dotted-pair end
    RTNIL = 5019,   // nil
    RTT = 5021,     // T

    RTNORM = 5100,   // call succeeded
    RTERROR = -5001, // call failed
};

union ads_u_val {
    double rreal;
    double rpoint[3];
    short rint;
    ACHAR* rstring;
    std::int32_t rlong;
    std::int64_t mnInt64;
};

// One node of a singly linked chain; rbnext == nullptr ends it. A nested list is written flat:
// RTLB, the elements, RTLE.
struct resbuf {
    struct resbuf* rbnext;
    short restype;
    union ads_u_val resval;
};
