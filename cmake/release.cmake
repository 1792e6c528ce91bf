# What a release holds, all of it versioned by project(): on Windows the exe with its icon,
# manifest and version resource, readme.txt in Shift-JIS and LICENSE.txt, zipped; on Linux the
# binary and its manual page, in a tarball. `cmake --build ... --target package` makes either.

# The copyright line of the license, for the version resource and the readme.
file(STRINGS "${PROJECT_SOURCE_DIR}/LICENSE" REPRENAME_COPYRIGHT REGEX "^Copyright ")

if(WIN32)
  enable_language(RC)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(windows_dir "${PROJECT_SOURCE_DIR}/packaging/windows")
  set(REPRENAME_ICON "${PROJECT_BINARY_DIR}/reprename.ico")
  set(REPRENAME_MANIFEST "${PROJECT_BINARY_DIR}/reprename.manifest")
  add_custom_command(OUTPUT "${REPRENAME_ICON}"
    COMMAND Python3::Interpreter "${windows_dir}/make_icon.py" "${REPRENAME_ICON}"
    DEPENDS "${windows_dir}/make_icon.py"
    COMMENT "Drawing the icon")
  configure_file("${windows_dir}/reprename.manifest.in" "${REPRENAME_MANIFEST}" @ONLY)
  configure_file("${windows_dir}/reprename.rc.in" "${PROJECT_BINARY_DIR}/reprename.rc" @ONLY)
  target_sources(reprename PRIVATE "${PROJECT_BINARY_DIR}/reprename.rc")
  set_source_files_properties("${PROJECT_BINARY_DIR}/reprename.rc" PROPERTIES
    OBJECT_DEPENDS "${REPRENAME_ICON};${REPRENAME_MANIFEST}")

  # The texts in the zip are read in Notepad: Shift-JIS with CR LF, converted without loss.
  configure_file("${windows_dir}/readme.txt.in" "${PROJECT_BINARY_DIR}/readme.utf8.txt" @ONLY)
  set(texts)
  foreach(pair "readme.utf8.txt;readme.txt" "${PROJECT_SOURCE_DIR}/LICENSE;LICENSE.txt")
    list(GET pair 0 from)
    list(GET pair 1 to)
    add_custom_command(OUTPUT "${PROJECT_BINARY_DIR}/${to}"
      COMMAND Python3::Interpreter "${windows_dir}/to_cp932.py" "${from}" "${to}"
      DEPENDS "${windows_dir}/to_cp932.py" "${from}"
      WORKING_DIRECTORY "${PROJECT_BINARY_DIR}")
    list(APPEND texts "${PROJECT_BINARY_DIR}/${to}")
  endforeach()
  add_custom_target(release_texts ALL DEPENDS ${texts})

  install(TARGETS reprename RUNTIME DESTINATION .)
  install(FILES ${texts} DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "reprename-${PROJECT_VERSION}-win64")
else()
  configure_file("${PROJECT_SOURCE_DIR}/packaging/reprename.1.in" "${PROJECT_BINARY_DIR}/reprename.1"
    @ONLY)
  install(TARGETS reprename RUNTIME DESTINATION bin)
  install(FILES "${PROJECT_BINARY_DIR}/reprename.1" DESTINATION share/man/man1)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME "reprename-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")
  set(CPACK_STRIP_FILES ON)
endif()

set(CPACK_PACKAGE_NAME reprename)
set(CPACK_PACKAGE_VENDOR "The reprename developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Renames versus-game replay files from facts in their headers")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
