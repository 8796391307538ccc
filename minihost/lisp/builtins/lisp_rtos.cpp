// rtos: a real as text in the host's scientific (1) or decimal (2) units, with the drawing
// defaults of a new drawing: decimal units, four places, trailing zeros kept.
#include <cmath>
#include <cstdio>
#include <string>

#include "minihost/lisp/lisp_value.h"

namespace minihost::lisp {

std::string rtosText(double r, int mode, int precision) {
    if (mode != 1 && mode != 2)
        throw LispError("bad argument value: rtos mode " + std::to_string(mode) +
                        " (minihost has modes 1 and 2)");
    if (precision < 0 || precision > 8)
        throw LispError("bad argument value: rtos precision " + std::to_string(precision));
    if (!std::isfinite(r))
        throw LispError("bad argument value: rtos of a number that is not finite");
    char text[400];
    if (mode == 1) {
        std::snprintf(text, sizeof text, "%.*E", precision, r);
    } else {
        // Halves round away from zero, not to even as printf rounds them: 2.5 is "3".
        const double scale = std::pow(10.0, precision);
        const double rounded = std::round(r * scale) / scale;
        std::snprintf(text, sizeof text, "%.*f", precision, std::isfinite(rounded) ? rounded : r);
    }
    std::string s = text;
    // A negative number that rounds to zero shows as zero, not "-0.00".
    if (s[0] == '-' &&
        s.substr(0, s.find_first_of('E')).find_first_of("123456789") == std::string::npos)
        s.erase(0, 1);
    return s;
}

} // namespace minihost::lisp
