# mdbcare_windows_resources(TARGET DESCRIPTION): gives a Windows program its
# icon, manifest and version information (resources/windows/), with
# DESCRIPTION as the file description Explorer shows.
set(MDBCARE_RESOURCES ${CMAKE_CURRENT_LIST_DIR}/../resources)
function(mdbcare_windows_resources target description)
  set(NAME ${target})
  set(DESCRIPTION ${description})
  set(MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${MDBCARE_RESOURCES}/windows/program.manifest.in ${MANIFEST}
                 @ONLY)
  configure_file(${MDBCARE_RESOURCES}/windows/program.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
endfunction()
