# Checks that the program carries no stand-in window: the symbol table of the
# built program (nm -C) names nothing from the stand-ins the tests use, while
# it still names the main window (so a stripped binary cannot pass unseen).
# cmake -DNM=<nm> -DPROGRAM=<Sorvanta> -P no_standins.cmake
execute_process(COMMAND ${NM} -C ${PROGRAM}
  OUTPUT_VARIABLE symbols ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${PROGRAM}: ${errors}")
endif()
if(NOT symbols MATCHES "gui::FrmAnalysis::")
  message(FATAL_ERROR "${PROGRAM} has no symbol table to check")
endif()
string(REGEX MATCH "[^\n]*standins[^\n]*" found "${symbols}")
if(found)
  message(FATAL_ERROR "${PROGRAM} holds stand-in symbols, e.g. ${found}")
endif()
