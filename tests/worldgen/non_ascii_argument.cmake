# vxworldgen.exe under Wine, given its output folder on the command line as a
# Windows path (drive letter, backslashes) whose name holds letters outside the
# ANSI code page: the world must land in exactly that folder. A program that
# parsed main()'s narrow argv would see "W?lt_?" there and fail or write elsewhere.
# -DEMULATOR=wine -DPROGRAM=vxworldgen.exe -DWORK=<empty folder to use>
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(folder "${WORK}/Spiele/Wëlt_Ω")
string(REPLACE "/" "\\" windows_folder "Z:${folder}")
execute_process(COMMAND ${EMULATOR} ${PROGRAM} "${windows_folder}" --seed 3
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "vxworldgen exited with ${result}:\n${out}${err}")
endif()
if(NOT EXISTS "${folder}/STATIC/INITGAME.DAT")
  file(GLOB_RECURSE written RELATIVE "${WORK}" "${WORK}/*INITGAME.DAT")
  message(FATAL_ERROR "no ${folder}/STATIC/INITGAME.DAT; INITGAME.DAT written at: '${written}'\n${out}${err}")
endif()
message(STATUS "world written to ${folder}")
