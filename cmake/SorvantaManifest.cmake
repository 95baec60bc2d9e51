# cmake -DFOLDER=<release folder> -P SorvantaManifest.cmake
# Writes FOLDER/release.manifest: one line per file of the folder (the
# manifest itself left out), sorted by name, "<sha256> <size> <name>". The
# upgrade tool refuses a release whose files differ from it.
if(NOT FOLDER)
  message(FATAL_ERROR "FOLDER not set")
endif()
set(manifest "${FOLDER}/release.manifest")
file(GLOB names RELATIVE "${FOLDER}" LIST_DIRECTORIES false "${FOLDER}/*")
list(SORT names)
set(text "")
foreach(name IN LISTS names)
  if(name STREQUAL "release.manifest" OR name MATCHES "^\\.")
    continue()
  endif()
  file(SHA256 "${FOLDER}/${name}" hash)
  file(SIZE "${FOLDER}/${name}" size)
  string(APPEND text "${hash} ${size} ${name}\n")
endforeach()
# Written under another name and renamed, so the manifest is never half there.
file(WRITE "${manifest}.new" "${text}")
file(RENAME "${manifest}.new" "${manifest}")
