# Used by the install code: _sorvanta_make_folder(DIR) makes a folder and its
# missing parents, each new one with mode 0755 whatever the installer's
# umask (every user of the installation must reach what is in it); folders
# that exist keep theirs.
function(_sorvanta_make_folder dir)
  if(IS_DIRECTORY "${dir}")
    return()
  endif()
  get_filename_component(_parent "${dir}" DIRECTORY)
  if(NOT _parent STREQUAL dir)
    _sorvanta_make_folder("${_parent}")
  endif()
  file(MAKE_DIRECTORY "${dir}")
  file(CHMOD "${dir}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endfunction()
