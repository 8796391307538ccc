# The stand-in's side of the module frame: documents and their manager, external LISP calls,
# the module loader, the system registry and dynamic linker, module resources, and the
# user-interface stand-ins a module initialises.
target_sources(minihost_host PRIVATE
  app_base.cpp
  documents.cpp
  external_calls.cpp
  loader.cpp
  registry.cpp
  resources.cpp
  ui_support.cpp
)
