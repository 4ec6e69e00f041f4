cmake_minimum_required(VERSION 3.25)
# Layers point one way: platform <- formats, data <- net <- view <- client. The plain layers
# are shared by the server and the tools and run the hot paths: no Qt.
#
# Two checks, given SOURCE_DIR (the tree to read) and LINKS_FILE (written at
# configure time: LINKS_<target> holds each library target's link libraries):
#  - includes: no file of a plain layer includes a Qt header, except the files
#    named in QT_ALLOWED (the socket adapter, which belongs to its own Qt-linked
#    target); every name there must be a file that exists, so that no exemption
#    outlives its file;
#  - links: no plain target reaches, directly or through other targets, a layer
#    above its own or a Qt library.
set(PLAIN_LAYERS platform formats data net view client)
set(QT_ALLOWED socket_adapter)
# What each plain library may link (besides system libraries such as Threads).
set(ALLOWED_vx_platform "")
set(ALLOWED_vx_formats vx_platform)
set(ALLOWED_vx_data vx_platform)
set(ALLOWED_vx_net vx_data vx_platform)
set(ALLOWED_vx_view vx_net vx_data vx_platform)
# The client core under the windows: no Qt either.
set(ALLOWED_vx_client vx_view vx_net vx_data vx_platform)
# The front end's configuration store and world installation: plain, for the
# Windows check's build without Qt.
set(ALLOWED_vx_frontend_core vx_data vx_platform)
set(PLAIN_TARGETS vx_platform vx_formats vx_data vx_net vx_view vx_client vx_frontend_core)

set(failures "")

# --- includes ---
set(sources "")
foreach(layer ${PLAIN_LAYERS})
  file(GLOB_RECURSE found ${SOURCE_DIR}/src/${layer}/*.h ${SOURCE_DIR}/src/${layer}/*.cpp)
  list(APPEND sources ${found})
endforeach()
foreach(allowed ${QT_ALLOWED})
  set(exists FALSE)
  foreach(f ${sources})
    get_filename_component(stem ${f} NAME_WE)
    if(stem STREQUAL allowed)
      set(exists TRUE)
    endif()
  endforeach()
  if(NOT exists)
    string(APPEND failures "An exemption for Qt names no file of a plain layer: ${allowed}\n")
  endif()
endforeach()
foreach(f ${sources})
  get_filename_component(stem ${f} NAME_WE)
  if(stem IN_LIST QT_ALLOWED)
    continue()
  endif()
  file(STRINGS ${f} hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]Q")
  if(hits)
    string(APPEND failures "Qt included in a plain C++ layer: ${f}: ${hits}\n")
  endif()
endforeach()

# --- links ---
if(NOT LINKS_FILE OR NOT EXISTS "${LINKS_FILE}")
  message(FATAL_ERROR "layering: no link table (LINKS_FILE='${LINKS_FILE}')")
endif()
include(${LINKS_FILE})

# The link items of a target as plain names: generator expressions such as
# $<LINK_ONLY:x> are taken as the x they name.
function(direct_links target out)
  set(result "")
  foreach(item ${LINKS_${target}})
    string(REGEX REPLACE "^\\$<[A-Z_]+:(.*)>$" "\\1" item "${item}")
    list(APPEND result ${item})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

foreach(target ${PLAIN_TARGETS})
  if(NOT DEFINED LINKS_${target})
    continue()  # the layer has no library (yet)
  endif()
  # Everything the target reaches, through the link tables of our own targets.
  set(reached "")
  direct_links(${target} pending)
  while(pending)
    list(POP_FRONT pending item)
    if(item IN_LIST reached)
      continue()
    endif()
    list(APPEND reached ${item})
    if(DEFINED LINKS_${item})
      direct_links(${item} more)
      list(APPEND pending ${more})
    endif()
  endwhile()
  foreach(item ${reached})
    if(item MATCHES "^Qt|[/]libQt")
      string(APPEND failures "${target} links Qt (${item}): plain layers link no Qt\n")
    elseif(item MATCHES "^vx_" AND NOT item IN_LIST ALLOWED_${target})
      string(APPEND failures "${target} links ${item}: ${target} may link only '${ALLOWED_${target}}'\n")
    endif()
  endforeach()
endforeach()

if(failures)
  message("${failures}")  # one line per fault, as written
  message(FATAL_ERROR "Layering broken")
endif()
