# The installation layout and the release folder.
#
# Under an installation prefix the data folder ("share") holds "Calverdine":
#   Calverdine/Sorvanta       the program and the libraries it loads
#   Calverdine/Utility Files  chart styles, legends, configuration and sample files
#   Calverdine/Results        the results folder, empty
# With the prefix ~/.local this is the user's data folder the program uses.
# The upgrade tool and the registration helper are installed beside the
# program. The release folder (build/release) holds the upgrade tool, the
# registration helper and every file the tool copies, with "release.manifest"
# (name, size and SHA-256 of each file), against which the tool checks the
# release before it changes anything.
#
# sorvanta_program_file(<target>)                 installed into Calverdine/Sorvanta
# sorvanta_utility_file(<path> [DEPENDS <target>]) installed into Calverdine/Utility Files
# sorvanta_finish_installation()                  install rules and the release target
include(GNUInstallDirs)
set(SORVANTA_INSTALL_ROOT "${CMAKE_INSTALL_DATADIR}/Calverdine")
set(SORVANTA_RELEASE_DIR "${CMAKE_BINARY_DIR}/release")
set(SORVANTA_MANIFEST_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/SorvantaManifest.cmake")

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

  set(tools SorvantaUpgrade)
  if(TARGET norvikel-regsvr)
    list(APPEND tools norvikel-regsvr)
  endif()
  install(TARGETS ${targets} ${tools}
    RUNTIME DESTINATION "${SORVANTA_INSTALL_ROOT}/Sorvanta"
    LIBRARY DESTINATION "${SORVANTA_INSTALL_ROOT}/Sorvanta")
  install(FILES ${files} DESTINATION "${SORVANTA_INSTALL_ROOT}/Utility Files")
  install(DIRECTORY DESTINATION "${SORVANTA_INSTALL_ROOT}/Results")
  # As an installation does, register the installed thumbnail control for the
  # user (SORVANTA_CLASS_REGISTRY names another class registry), with the
  # installed helper. A staged install (DESTDIR) registers nothing: the files
  # are not at their final place yet, and a package registers the control in
  # its post-install step with the same command.
  if(TARGET Norvikel AND TARGET norvikel-regsvr)
    set(folder "\${CMAKE_INSTALL_PREFIX}/${SORVANTA_INSTALL_ROOT}/Sorvanta")
    install(CODE "
      if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
        execute_process(COMMAND \"${folder}/$<TARGET_FILE_NAME:norvikel-regsvr>\" register
          \"${folder}/$<TARGET_FILE_NAME:Norvikel>\" COMMAND_ERROR_IS_FATAL ANY)
      else()
        message(STATUS \"Staged install: register the control after installing with: ${folder}/$<TARGET_FILE_NAME:norvikel-regsvr> register ${folder}/$<TARGET_FILE_NAME:Norvikel>\")
      endif()")
  endif()

  set(copies COMMAND ${CMAKE_COMMAND} -E make_directory "${SORVANTA_RELEASE_DIR}")
  foreach(t IN LISTS targets tools)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different "$<TARGET_FILE:${t}>" "${SORVANTA_RELEASE_DIR}/")
  endforeach()
  foreach(f IN LISTS files)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different "${f}" "${SORVANTA_RELEASE_DIR}/")
  endforeach()
  list(APPEND copies COMMAND ${CMAKE_COMMAND} -DFOLDER=${SORVANTA_RELEASE_DIR} -P "${SORVANTA_MANIFEST_SCRIPT}")
  add_custom_target(sorvanta-release ALL ${copies} VERBATIM)
  add_dependencies(sorvanta-release ${targets} ${tools} ${depends})
endfunction()
