# What a release holds, all of it versioned by project(): on Windows, in one folder of a zip, the
# exe with its icon, manifest and version resource, the Japanese readme.txt, the English
# readme_en.txt and LICENSE.txt; on Linux, in a tarball, the binary, its manual page, and the
# desktop launcher, replay file type and icons. `cmake --build ... --target package` makes either.

# The copyright line of the license, for the version resource and the readme.
file(STRINGS "${PROJECT_SOURCE_DIR}/LICENSE" REPRENAME_COPYRIGHT REGEX "^Copyright ")

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(REPRENAME_MAKE_ICON "${PROJECT_SOURCE_DIR}/packaging/make_icon.py")

if(WIN32)
  enable_language(RC)
  set(windows_dir "${PROJECT_SOURCE_DIR}/packaging/windows")
  set(REPRENAME_ICON "${PROJECT_BINARY_DIR}/reprename.ico")
  set(REPRENAME_MANIFEST "${PROJECT_BINARY_DIR}/reprename.manifest")
  add_custom_command(OUTPUT "${REPRENAME_ICON}"
    COMMAND Python3::Interpreter "${REPRENAME_MAKE_ICON}" "${REPRENAME_ICON}"
    DEPENDS "${REPRENAME_MAKE_ICON}"
    COMMENT "Drawing the icon")
  configure_file("${windows_dir}/reprename.manifest.in" "${REPRENAME_MANIFEST}" @ONLY)
  configure_file("${windows_dir}/reprename.rc.in" "${PROJECT_BINARY_DIR}/reprename.rc" @ONLY)
  target_sources(reprename PRIVATE "${PROJECT_BINARY_DIR}/reprename.rc")
  set_source_files_properties("${PROJECT_BINARY_DIR}/reprename.rc" PROPERTIES
    OBJECT_DEPENDS "${REPRENAME_ICON};${REPRENAME_MANIFEST}")

  # The texts in the zip are read in Notepad, with CR LF: the Japanese readme and the license in
  # Shift-JIS, converted without loss; the English readme, which quotes the Japanese texts for
  # readers on a Windows of another language, in UTF-8 with a byte-order mark.
  configure_file("${windows_dir}/readme.txt.in" "${PROJECT_BINARY_DIR}/readme.utf8.txt" @ONLY)
  configure_file("${windows_dir}/readme_en.txt.in" "${PROJECT_BINARY_DIR}/readme_en.utf8.txt"
    @ONLY)
  set(texts)
  foreach(triple "readme.utf8.txt;readme.txt;" "readme_en.utf8.txt;readme_en.txt;--utf8-bom"
          "${PROJECT_SOURCE_DIR}/LICENSE;LICENSE.txt;")
    list(GET triple 0 from)
    list(GET triple 1 to)
    list(GET triple 2 option)
    add_custom_command(OUTPUT "${PROJECT_BINARY_DIR}/${to}"
      COMMAND Python3::Interpreter "${windows_dir}/to_notepad.py" ${option} "${from}" "${to}"
      DEPENDS "${windows_dir}/to_notepad.py" "${from}"
      WORKING_DIRECTORY "${PROJECT_BINARY_DIR}")
    list(APPEND texts "${PROJECT_BINARY_DIR}/${to}")
  endforeach()
  add_custom_target(release_texts ALL DEPENDS ${texts})

  # One folder in the zip, so that "extract here" gives one folder.
  set(folder "reprename-${PROJECT_VERSION}")
  install(TARGETS reprename RUNTIME DESTINATION "${folder}")
  install(FILES ${texts} DESTINATION "${folder}")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "reprename-${PROJECT_VERSION}-win64")
else()
  configure_file("${PROJECT_SOURCE_DIR}/packaging/reprename.1.in" "${PROJECT_BINARY_DIR}/reprename.1"
    @ONLY)
  # The desktop: a launcher to drop replays and folders on, the replay file type, the icons.
  set(hicolor "${PROJECT_BINARY_DIR}/hicolor")
  add_custom_command(OUTPUT "${hicolor}/256x256/apps/reprename.png"
    COMMAND Python3::Interpreter "${REPRENAME_MAKE_ICON}" --hicolor "${hicolor}"
    DEPENDS "${REPRENAME_MAKE_ICON}"
    COMMENT "Drawing the icons")
  add_custom_target(desktop_icons ALL DEPENDS "${hicolor}/256x256/apps/reprename.png")
  install(TARGETS reprename RUNTIME DESTINATION bin)
  install(FILES "${PROJECT_BINARY_DIR}/reprename.1" DESTINATION share/man/man1)
  install(FILES packaging/linux/reprename.desktop DESTINATION share/applications)
  install(FILES packaging/linux/reprename.xml DESTINATION share/mime/packages)
  install(DIRECTORY "${hicolor}/" DESTINATION share/icons/hicolor)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME "reprename-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")
  set(CPACK_STRIP_FILES ON)
endif()

set(CPACK_PACKAGE_NAME reprename)
set(CPACK_PACKAGE_VENDOR "The reprename developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Renames versus-game replay files from facts in their headers")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
