# Drawing files: reading and saving DXF drawings.
target_sources(minihost_host PRIVATE
  drawing_head.cpp
  drawing_read.cpp
  drawing_save.cpp
  dxf_new_drawing.cpp
  dxf_text.cpp
  file_faults.cpp
)
