cmake_minimum_required(VERSION 3.25)
# Installs each package's component (cmake --install --component) into a throwaway
# root, as scripts/package.sh's packages hold them, and checks the result:
# every file of the package is there and no other package's program is; the
# installed programs run; the desktop entry and the service start programs that
# are installed; each man page lists exactly the options of its program's --help.
# Run: cmake -DBINARY_DIR=build -DWORK_DIR=DIR -DPREFIX=/usr -DBINDIR=/usr/bin -DDATADIR=/usr/share
#            -DMANDIR=/usr/share/man -DSYSCONFDIR=/etc -DUNIT_DIR=/lib/systemd/system -P tests/install.cmake
# (the build's installation folders, as tests/CMakeLists.txt passes them)
foreach(v BINARY_DIR WORK_DIR PREFIX BINDIR DATADIR MANDIR SYSCONFDIR UNIT_DIR)
  if(NOT ${v})
    message(FATAL_ERROR "${v} is not set")
  endif()
endforeach()

set(faults "")
# The folders under the root: absolute ones without their leading slash.
foreach(v BINDIR DATADIR MANDIR SYSCONFDIR UNIT_DIR)
  string(REGEX REPLACE "^/" "" ${v} "${${v}}")
endforeach()
set(bin ${BINDIR})
set(share ${DATADIR})
set(man6 ${MANDIR}/man6)
macro(fault text)
  string(APPEND faults "  ${text}\n")
endmacro()

# component | files it installs (under the root) | programs another component holds
set(components
  "client|${bin}/vxclient,${bin}/vxmap,${share}/applications/veltharn.desktop,${share}/metainfo/io.veltharn.Veltharn.metainfo.xml,${share}/icons/hicolor/16x16/apps/veltharn.png,${share}/icons/hicolor/32x32/apps/veltharn.png,${share}/icons/hicolor/48x48/apps/veltharn.png,${share}/icons/hicolor/64x64/apps/veltharn.png,${share}/icons/hicolor/128x128/apps/veltharn.png,${share}/icons/hicolor/256x256/apps/veltharn.png,${man6}/vxclient.6.gz,${man6}/vxmap.6.gz,${share}/doc/veltharn/copyright|${bin}/vxserver,${bin}/vxworldgen"
  "worldgen|${bin}/vxworldgen,${man6}/vxworldgen.6.gz,${share}/doc/veltharn-worldgen/copyright|${bin}/vxclient,${bin}/vxserver"
  "server|${bin}/vxserver,${man6}/vxserver.6.gz,${SYSCONFDIR}/default/vxserver,${UNIT_DIR}/vxserver.service,${share}/doc/veltharn-server/copyright|${bin}/vxclient,${bin}/vxworldgen")

file(REMOVE_RECURSE ${WORK_DIR})
foreach(row ${components})
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 component)
  list(GET row 1 files)
  list(GET row 2 foreign)
  string(REPLACE "," ";" files "${files}")
  string(REPLACE "," ";" foreign "${foreign}")
  set(root ${WORK_DIR}/${component})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${root}
                          ${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${PREFIX} --component ${component}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    fault("cmake --install --component ${component} failed: ${out}")
    continue()
  endif()
  foreach(f ${files})
    if(NOT EXISTS ${root}/${f})
      fault("${component}: ${f} is not installed")
    endif()
  endforeach()
  foreach(f ${foreign})
    if(EXISTS ${root}/${f})
      fault("${component}: ${f} belongs to another package but is installed here")
    endif()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "The installation is incomplete:\n${faults}")
endif()

# The installed programs run from the root.
# program | component | arguments | what its output must hold (each program's --help
# comes last: the man page check below reads it)
set(runs
  "vxclient|client|--version|^vxclient [0-9]+\\.[0-9]+\\.[0-9]+"
  "vxclient|client|--help|--install-world DIR"
  "vxserver|server|--version|^vxserver [0-9]+\\.[0-9]+\\.[0-9]+"
  "vxserver|server|--help|--game <DIR>"
  "vxworldgen|worldgen|--version|^vxworldgen [0-9]+\\.[0-9]+\\.[0-9]+"
  "vxworldgen|worldgen|--help|usage: vxworldgen OUTDIR"
  "vxmap|client|--version|^vxmap [0-9]+\\.[0-9]+\\.[0-9]+"
  "vxmap|client|--help|vxmap shape --game DIR")
foreach(row ${runs})
  string(REPLACE "|" ";" row "${row}")
  list(GET row 0 program)
  list(GET row 1 component)
  list(GET row 2 arguments)
  list(GET row 3 expected)
  execute_process(COMMAND ${WORK_DIR}/${component}/${bin}/${program} ${arguments}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 20)
  set(help_${program} "${out}${err}")
  if(NOT rc EQUAL 0 OR NOT "${out}${err}" MATCHES "${expected}")
    fault("${program} ${arguments} from the installation: exit ${rc}, output: ${out}${err}")
  endif()
endforeach()

# What the desktop entry and the service start is installed, with the icon the entry names.
file(STRINGS ${WORK_DIR}/client/${share}/applications/veltharn.desktop entry)
foreach(line ${entry})
  if(line MATCHES "^Exec=([^ ]+)")
    if(NOT EXISTS ${WORK_DIR}/client/${bin}/${CMAKE_MATCH_1})
      fault("veltharn.desktop starts ${CMAKE_MATCH_1}, which the client does not install")
    endif()
  elseif(line MATCHES "^Icon=(.+)")
    if(NOT EXISTS ${WORK_DIR}/client/${share}/icons/hicolor/48x48/apps/${CMAKE_MATCH_1}.png)
      fault("veltharn.desktop names the icon ${CMAKE_MATCH_1}, which the client does not install")
    endif()
  endif()
endforeach()
file(STRINGS ${WORK_DIR}/server/${UNIT_DIR}/vxserver.service unit REGEX "^ExecStart")
foreach(line ${unit})
  string(REGEX MATCHALL "/${bin}/[a-z]+" programs "${line}")
  foreach(p ${programs})
    if(NOT EXISTS ${WORK_DIR}/server${p} AND NOT EXISTS ${WORK_DIR}/worldgen${p})
      fault("vxserver.service runs ${p}, which neither veltharn-server nor veltharn-worldgen installs")
    endif()
  endforeach()
endforeach()

# Each man page's SYNOPSIS, OPTIONS and COMMANDS name exactly the long options of --help.
foreach(pair vxclient:client vxserver:server vxworldgen:worldgen vxmap:client)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 program)
  list(GET pair 1 component)
  execute_process(COMMAND gzip -dc ${WORK_DIR}/${component}/${man6}/${program}.6.gz OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    fault("${program}.6.gz does not decompress")
  endif()
  string(REPLACE "\\-" "-" text "${text}")
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "\n.SH " ";" sections "${text}")
  set(page "")
  foreach(section ${sections})
    if(section MATCHES "^(SYNOPSIS|OPTIONS|COMMANDS)\n")
      string(APPEND page "${section}")
    endif()
  endforeach()
  string(REGEX MATCHALL "--[a-z][a-z-]*" in_page "${page}")
  string(REGEX MATCHALL "--[a-z][a-z-]*" in_help "${help_${program}}")
  list(REMOVE_DUPLICATES in_page)
  list(REMOVE_DUPLICATES in_help)
  list(SORT in_page)
  list(SORT in_help)
  if(NOT in_page STREQUAL in_help)
    fault("${program}.6 names the options ${in_page} but ${program} --help names ${in_help}")
  endif()
endforeach()

if(faults)
  message(FATAL_ERROR "The installed programs do not match their files:\n${faults}")
endif()
message(STATUS "installed and checked: ${WORK_DIR}")
