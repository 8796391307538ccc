# The platform runtime stand-ins (part of libminihost.so, which modules call), the stand-in's
# LISP interpreter (a static library, so that tests can drive it directly) and the minihost
# program.
target_sources(minihost_host PRIVATE wcrt.cpp)

add_library(minihost_lisp STATIC
  lisp_chain.cpp
  lisp_drawings.cpp
  lisp_interpreter.cpp
  lisp_printer.cpp
  lisp_reader.cpp
  lisp_value.cpp
)
target_include_directories(minihost_lisp PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(minihost_lisp PUBLIC minihost_host)

# The minihost program is added once the loader and documents it drives are in the library.
