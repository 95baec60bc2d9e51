# Install-time steps of the installation (run by cmake --install, included
# from the install code with SORVANTA_FOLDER, SORVANTA_BINDIR,
# SORVANTA_DATADIR, SORVANTA_LINK_TARGET, SORVANTA_LAUNCHED, SORVANTA_REGSVR
# and SORVANTA_CONTROL set):
# - PREFIX/bin links to the program and the command-line tools;
# - the desktop entry, which names the launcher by its final path;
# - the registration of the thumbnail control. Installed in place, the control
#   is registered in the installation's class registry, which every user
#   reads, and for the installing user. A staged install (DESTDIR) registers
#   nothing: the files are not at their final place yet; it prints the
#   post-install step a package runs, quoted for a shell.
# Each path made here gets an explicit mode (folders 0755, the desktop entry
# 0644; the registry's own writer gives it 0644) and is recorded in
# install_manifest.txt beside the files the install rules copied (as they
# are, by their path under the prefix, without DESTDIR).
set(_prefix "${CMAKE_INSTALL_PREFIX}")
set(_stage "$ENV{DESTDIR}")

# Quotes a path for a POSIX shell: '...' with each ' written as '\''.
function(_sorvanta_shell_quote text out)
  string(REPLACE "'" "'\\''" quoted "${text}")
  set(${out} "'${quoted}'" PARENT_SCOPE)
endfunction()

include("${CMAKE_CURRENT_LIST_DIR}/SorvantaMakeFolder.cmake")

_sorvanta_make_folder("${_stage}${_prefix}/${SORVANTA_BINDIR}")
foreach(_name IN LISTS SORVANTA_LAUNCHED)
  set(_link "${_stage}${_prefix}/${SORVANTA_BINDIR}/${_name}")
  message(STATUS "Installing: ${_link} -> ${SORVANTA_LINK_TARGET}/${_name}")
  file(REMOVE "${_link}")
  file(CREATE_LINK "${SORVANTA_LINK_TARGET}/${_name}" "${_link}" SYMBOLIC)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_prefix}/${SORVANTA_BINDIR}/${_name}")
endforeach()

# Exec of a desktop entry: the launcher's path in double quotes (a prefix
# may hold spaces), inside which ", `, $ and \ are escaped with \; the
# entry's own string escaping then doubles every \.
string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" _exec "${_prefix}/${SORVANTA_BINDIR}/Sorvanta")
set(_exec "\"${_exec}\"")
string(REPLACE "\\" "\\\\" _exec "${_exec}")
set(_entry "${_stage}${_prefix}/${SORVANTA_DATADIR}/applications/sorvanta.desktop")
message(STATUS "Installing: ${_entry}")
get_filename_component(_entry_folder "${_entry}" DIRECTORY)
_sorvanta_make_folder("${_entry_folder}")
file(WRITE "${_entry}" "[Desktop Entry]
Type=Application
Version=1.0
Name=Sorvanta
GenericName=Surface Metrology
Comment=Turns wrapped-phase images of a part's surface into displacement maps, flatness figures and plots
Exec=${_exec} %f
Icon=sorvanta
Terminal=false
Categories=Science;Engineering;
")
file(CHMOD "${_entry}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_prefix}/${SORVANTA_DATADIR}/applications/sorvanta.desktop")

if(SORVANTA_REGSVR)
  set(_folder "${_prefix}/${SORVANTA_FOLDER}")
  set(_regsvr "${_folder}/${SORVANTA_REGSVR}")
  set(_control "${_folder}/${SORVANTA_CONTROL}")
  if(_stage STREQUAL "")
    execute_process(COMMAND "${_regsvr}" register --system "${_control}" COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND "${_regsvr}" where --system "${_control}" OUTPUT_VARIABLE _registry
                    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_registry}")
    execute_process(COMMAND "${_regsvr}" register "${_control}" COMMAND_ERROR_IS_FATAL ANY)
  else()
    _sorvanta_shell_quote("${_regsvr}" _q_regsvr)
    _sorvanta_shell_quote("${_control}" _q_control)
    message(STATUS "Staged install: register the control for every user after installing with: "
                   "${_q_regsvr} register --system ${_q_control}")
  endif()
endif()
