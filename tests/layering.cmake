cmake_minimum_required(VERSION 3.25)
# The hot paths and the protocol core are plain C++ shared by the server and
# the tools: no file of src/data, src/view or src/net may include a Qt header,
# except the window-side files named in QT_ALLOWED (render thread hand-over,
# connection window).
set(QT_ALLOWED render_thread connections udp_channel message_handler)
file(GLOB_RECURSE sources ${SOURCE_DIR}/src/data/* ${SOURCE_DIR}/src/view/* ${SOURCE_DIR}/src/net/*)
set(offenders "")
foreach(f ${sources})
  get_filename_component(stem ${f} NAME_WE)
  if(stem IN_LIST QT_ALLOWED)
    continue()
  endif()
  file(STRINGS ${f} hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]Q")
  if(hits)
    list(APPEND offenders "${f}: ${hits}")
  endif()
endforeach()
if(offenders)
  message(FATAL_ERROR "Qt included in a plain C++ layer:\n${offenders}")
endif()
