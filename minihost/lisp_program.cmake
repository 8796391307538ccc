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

find_library(GSL_READLINE_LIBRARY readline REQUIRED)
find_path(GSL_READLINE_INCLUDE readline/readline.h REQUIRED)

add_executable(minihost program_main.cpp)
target_include_directories(minihost PRIVATE ${GSL_READLINE_INCLUDE})
target_link_libraries(minihost PRIVATE minihost_lisp ${GSL_READLINE_LIBRARY})
# The program finds libminihost.so beside itself.
set_target_properties(minihost PROPERTIES BUILD_RPATH "$ORIGIN" INSTALL_RPATH "$ORIGIN")
