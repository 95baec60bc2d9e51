# sorvanta_file_version(<target> <a.b.c.d>)
# Embeds the file version of a deliverable in the ELF section ".sorvanta_version",
# where FileVersionOf() reads it without loading the file. The version is also
# kept as the target's property SORVANTA_FILE_VERSION, so that other targets
# (the upgrade tool) take it from here.
function(sorvanta_file_version target version)
  set(src ${CMAKE_CURRENT_BINARY_DIR}/${target}_file_version.c)
  file(WRITE ${src}.in
    "/* generated: file version of ${target} */\n"
    "__attribute__((used, section(\".sorvanta_version\")))\n"
    "static const char sorvanta_file_version[] = \"${version}\";\n")
  configure_file(${src}.in ${src} COPYONLY)
  target_sources(${target} PRIVATE ${src})
  set_property(TARGET ${target} PROPERTY SORVANTA_FILE_VERSION "${version}")
endfunction()

# The versions set in the top-level CMakeLists.txt, as the header
# "sorvanta_versions.h" that every target can include.
configure_file(${CMAKE_CURRENT_LIST_DIR}/sorvanta_versions.h.in ${CMAKE_BINARY_DIR}/generated/sorvanta_versions.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)
