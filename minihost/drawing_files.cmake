# Drawing files: reading and saving DXF drawings.
target_sources(minihost_host PRIVATE drawing_file_stub.cpp)
