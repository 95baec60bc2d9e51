# The installation layout and the release folder.
#
# Under an installation prefix, "lib" (where architecture-dependent files
# belong) holds "Calverdine":
#   lib/Calverdine/Sorvanta       the program, the libraries it loads, the
#                                 upgrade tool, the registration helper and
#                                 the command-line tools
#   lib/Calverdine/Utility Files  chart styles, legends, configuration and
#                                 sample files
#   lib/Calverdine/classes.reg    the installation's class registry, written
#                                 by the post-install step, read by every user
#   bin/                          links to the program and the command-line tools
#   share/applications/sorvanta.desktop, share/icons/hicolor/*/apps/sorvanta.png
# Results always go to the user's own folder: the installation has none.
# The release folder (build/release) holds the upgrade tool, the
# registration helper and every file the tool copies, with "release.manifest"
# (name, size and SHA-256 of each file), against which the tool checks the
# release before it changes anything.
#
# Every path the install makes gets an explicit mode, whatever the
# installer's umask: folders 0755, programs and libraries 0755, other files
# 0644 (the post-install step gives the links' folder and the desktop entry
# theirs). Every path it makes is recorded in install_manifest.txt.
#
# sorvanta_program_file(<target>)                 installed into Calverdine/Sorvanta
# sorvanta_utility_file(<path> [DEPENDS <target>]) installed into Calverdine/Utility Files
# sorvanta_finish_installation()                  install rules and the release target
include(GNUInstallDirs)
set(SORVANTA_PROGRAM_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(SORVANTA_FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# The sizes the program's icon is drawn at for the icon theme.
set(SORVANTA_ICON_SIZES 16 24 32 48 64 128 256)
set(SORVANTA_INSTALL_ROOT "lib/Calverdine")
set(SORVANTA_RELEASE_DIR "${CMAKE_BINARY_DIR}/release")
set(SORVANTA_MANIFEST_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/SorvantaManifest.cmake")
set(SORVANTA_POST_INSTALL_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/SorvantaPostInstall.cmake")
# The command-line tools a user runs, linked into PREFIX/bin beside the program.
set(SORVANTA_COMMAND_LINE_TOOLS sorvanta-analyze sorvanta-plot sorvanta-batch mkphase norvikel-regsvr norvikel-tool)

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

# The program's icon, drawn by sorvanta-icon at each size of the icon theme.
function(_sorvanta_install_icon)
  set(dir ${CMAKE_BINARY_DIR}/icons)
  set(pngs "")
  foreach(size IN LISTS SORVANTA_ICON_SIZES)
    list(APPEND pngs ${dir}/${size}/sorvanta.png)
    install(FILES ${dir}/${size}/sorvanta.png DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
      PERMISSIONS ${SORVANTA_FILE_PERMISSIONS})
  endforeach()
  add_custom_command(OUTPUT ${pngs}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
      $<TARGET_FILE:sorvanta-icon> ${dir} ${SORVANTA_ICON_SIZES}
    DEPENDS sorvanta-icon
    COMMENT "Drawing the program's icon"
    VERBATIM)
  add_custom_target(sorvanta-icons ALL DEPENDS ${pngs})
endfunction()

function(sorvanta_finish_installation)
  get_property(targets GLOBAL PROPERTY SORVANTA_PROGRAM_TARGETS)
  get_property(files GLOBAL PROPERTY SORVANTA_UTILITY_FILES)
  get_property(depends GLOBAL PROPERTY SORVANTA_UTILITY_DEPENDS)

  set(tools SorvantaUpgrade)
  if(TARGET norvikel-regsvr)
    list(APPEND tools norvikel-regsvr)
  endif()
  set(commands "")
  foreach(t IN LISTS SORVANTA_COMMAND_LINE_TOOLS)
    if(TARGET ${t})
      list(APPEND commands ${t})
    endif()
  endforeach()
  set(installed ${targets} ${tools} ${commands})
  list(REMOVE_DUPLICATES installed)
  set(folder "${SORVANTA_INSTALL_ROOT}/Sorvanta")
  # Every folder the install rules below fill is made first, with its mode
  # (the install rules' own folders would follow the umask).
  set(made_folders "${folder}" "${SORVANTA_INSTALL_ROOT}/Utility Files")
  foreach(size IN LISTS SORVANTA_ICON_SIZES)
    list(APPEND made_folders "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
  endforeach()
  set(make_code "include(\"${CMAKE_CURRENT_FUNCTION_LIST_DIR}/SorvantaMakeFolder.cmake\")\n")
  foreach(f IN LISTS made_folders)
    string(APPEND make_code "_sorvanta_make_folder(\"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${f}\")\n")
  endforeach()
  install(CODE "${make_code}")
  install(TARGETS ${installed}
    RUNTIME DESTINATION "${folder}" PERMISSIONS ${SORVANTA_PROGRAM_PERMISSIONS}
    LIBRARY DESTINATION "${folder}" PERMISSIONS ${SORVANTA_PROGRAM_PERMISSIONS})
  install(FILES ${files} DESTINATION "${SORVANTA_INSTALL_ROOT}/Utility Files" PERMISSIONS ${SORVANTA_FILE_PERMISSIONS})
  _sorvanta_install_icon()

  # The links in bin/, the desktop entry (naming the launcher by its final
  # path) and the registration of the thumbnail control: see
  # SorvantaPostInstall.cmake.
  file(RELATIVE_PATH link_target "/p/${CMAKE_INSTALL_BINDIR}" "/p/${folder}")
  set(launched Sorvanta ${commands})
  list(REMOVE_DUPLICATES launched)
  set(names "")
  foreach(t IN LISTS launched)
    list(APPEND names "$<TARGET_FILE_NAME:${t}>")
  endforeach()
  set(regsvr "")
  set(control "")
  if(TARGET Norvikel AND TARGET norvikel-regsvr)
    set(regsvr "$<TARGET_FILE_NAME:norvikel-regsvr>")
    set(control "$<TARGET_FILE_NAME:Norvikel>")
  endif()
  install(CODE "
    set(SORVANTA_FOLDER \"${folder}\")
    set(SORVANTA_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    set(SORVANTA_DATADIR \"${CMAKE_INSTALL_DATADIR}\")
    set(SORVANTA_LINK_TARGET \"${link_target}\")
    set(SORVANTA_LAUNCHED \"${names}\")
    set(SORVANTA_REGSVR \"${regsvr}\")
    set(SORVANTA_CONTROL \"${control}\")
    include(\"${SORVANTA_POST_INSTALL_SCRIPT}\")")

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
