# Included with INPUT, OUTPUT, SYMBOL and NAMESPACE set (or run with -D... -P): writes a C++
# source that defines `const unsigned char SYMBOL[]` (the bytes of INPUT) and
# `const std::size_t SYMBOL_size` inside namespace NAMESPACE, touching OUTPUT only on a change.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)"
       "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} by cmake/embed_file.cmake. Do not edit.\n"
"#include <cstddef>\n"
"namespace ${NAMESPACE} {\n"
"extern const unsigned char ${SYMBOL}[];\n"
"extern const std::size_t ${SYMBOL}_size;\n"
"const unsigned char ${SYMBOL}[] = {\n${bytes}0};\n"
"const std::size_t ${SYMBOL}_size = ${size};\n"
"} // namespace ${NAMESPACE}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
