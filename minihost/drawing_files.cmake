# Drawing files: reading and saving DXF drawings.
target_sources(minihost_host PRIVATE
  drawing_file.cpp
  dxf_new_drawing.cpp
  dxf_text.cpp
  file_faults.cpp
)
