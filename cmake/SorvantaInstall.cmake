# The installation layout and the release folder.
#
# Under an installation prefix the data folder ("share") holds "Calverdine":
#   Calverdine/Sorvanta       the program and the libraries it loads
#   Calverdine/Utility Files  chart styles, legends, configuration and sample files
#   Calverdine/Results        the results folder, empty
# With the prefix ~/.local this is the user's data folder the program uses.
# The release folder (build/release) holds the upgrade tool beside every file
# it copies: the tool upgrades an installation from there.
#
# sorvanta_program_file(<target>)                 installed into Calverdine/Sorvanta
# sorvanta_utility_file(<path> [DEPENDS <target>]) installed into Calverdine/Utility Files
# sorvanta_finish_installation()                  install rules and the release target
include(GNUInstallDirs)
set(SORVANTA_INSTALL_ROOT "${CMAKE_INSTALL_DATADIR}/Calverdine")
set(SORVANTA_RELEASE_DIR "${CMAKE_BINARY_DIR}/release")
# Installed binaries find their libraries beside themselves, as in the build.
set(CMAKE_INSTALL_RPATH "$ORIGIN")

function(sorvanta_program_file target)
  set_property(GLOBAL APPEND PROPERTY SORVANTA_PROGRAM_TARGETS ${target})
endfunction()

function(sorvanta_utility_file path)
  cmake_parse_arguments(U "" "" "DEPENDS" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY SORVANTA_UTILITY_FILES "${path}")
  if(U_DEPENDS)
    set_property(GLOBAL APPEND PROPERTY SORVANTA_UTILITY_DEPENDS ${U_DEPENDS})
  endif()
endfunction()

function(sorvanta_finish_installation)
  get_property(targets GLOBAL PROPERTY SORVANTA_PROGRAM_TARGETS)
  get_property(files GLOBAL PROPERTY SORVANTA_UTILITY_FILES)
  get_property(depends GLOBAL PROPERTY SORVANTA_UTILITY_DEPENDS)

  install(TARGETS ${targets}
    RUNTIME DESTINATION "${SORVANTA_INSTALL_ROOT}/Sorvanta"
    LIBRARY DESTINATION "${SORVANTA_INSTALL_ROOT}/Sorvanta")
  install(FILES ${files} DESTINATION "${SORVANTA_INSTALL_ROOT}/Utility Files")
  install(DIRECTORY DESTINATION "${SORVANTA_INSTALL_ROOT}/Results")

  set(copies COMMAND ${CMAKE_COMMAND} -E make_directory "${SORVANTA_RELEASE_DIR}")
  foreach(t IN LISTS targets ITEMS SorvantaUpgrade)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different "$<TARGET_FILE:${t}>" "${SORVANTA_RELEASE_DIR}/")
  endforeach()
  foreach(f IN LISTS files)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different "${f}" "${SORVANTA_RELEASE_DIR}/")
  endforeach()
  add_custom_target(sorvanta-release ALL ${copies} VERBATIM)
  add_dependencies(sorvanta-release ${targets} SorvantaUpgrade ${depends})
endfunction()
