# What a release holds, all of it versioned and dated by the top entry of NEWS: on
# Windows, in one folder of a zip, the exe with its icon, manifest and version resource, the
# Japanese readme.txt, the English readme_en.txt and LICENSE.txt; on Linux, in a tarball, the
# binary, its manual page, and the desktop launcher, replay file type and icons.
# `cmake --build ... --target package` makes either; the Debian packages come from debian/.

# The copyright line of the license, for the version resource and the readme.
file(STRINGS "${PROJECT_SOURCE_DIR}/LICENSE" REPRENAME_COPYRIGHT REGEX "^Copyright ")

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(REPRENAME_MAKE_ICON "${PROJECT_SOURCE_DIR}/packaging/make_icon.py")

# The history, the release's date (the manual page's) and its time, which every file the
# packages hold carries (SOURCE_DATE_EPOCH), so two builds of one commit give the same bytes.
foreach(field text date epoch appstream)
  execute_process(COMMAND "${Python3_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/packaging/history.py"
    "${PROJECT_SOURCE_DIR}/NEWS" ${field}
    OUTPUT_VARIABLE history_${field} OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endforeach()
set(REPRENAME_HISTORY "${history_text}")
set(REPRENAME_RELEASE_DATE "${history_date}")
set(CPACK_SOURCE_DATE_EPOCH "${history_epoch}")
set(REPRENAME_APPSTREAM_RELEASES "${history_appstream}")

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
  set(folder "reprename-${REPRENAME_VERSION}")
  install(TARGETS reprename RUNTIME DESTINATION "${folder}")
  install(FILES ${texts} DESTINATION "${folder}")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)  # the folder above is the zip's one folder
  set(CPACK_PACKAGE_FILE_NAME "reprename-${REPRENAME_VERSION}-win64")
else()
  configure_file("${PROJECT_SOURCE_DIR}/packaging/reprename.1.in" "${PROJECT_BINARY_DIR}/reprename.1"
    @ONLY)
  # Compressed without a time stamp, as Debian's packages have them; man reads them as they are.
  set(linux_dir "${PROJECT_SOURCE_DIR}/packaging/linux")
  configure_file("${linux_dir}/INSTALL.in" "${PROJECT_BINARY_DIR}/INSTALL" @ONLY)
  # The launcher's script has the manual page of the tool it runs.
  file(WRITE "${PROJECT_BINARY_DIR}/reprename-launcher.1" ".so man1/reprename.1\n")
  foreach(page reprename reprename-launcher)
    add_custom_command(OUTPUT "${PROJECT_BINARY_DIR}/${page}.1.gz"
      COMMAND gzip -9 -n -c "${PROJECT_BINARY_DIR}/${page}.1" > "${PROJECT_BINARY_DIR}/${page}.1.gz"
      DEPENDS "${PROJECT_BINARY_DIR}/${page}.1")
  endforeach()
  add_custom_target(compressed_texts ALL DEPENDS "${PROJECT_BINARY_DIR}/reprename.1.gz"
    "${PROJECT_BINARY_DIR}/reprename-launcher.1.gz")
  # What software centres show, its releases from NEWS.
  configure_file("${linux_dir}/reprename.metainfo.xml.in"
    "${PROJECT_BINARY_DIR}/org.example.reprename.metainfo.xml" @ONLY)
  # The desktop: a launcher to drop replays and folders on, the replay file type, the icons.
  set(hicolor "${PROJECT_BINARY_DIR}/hicolor")
  add_custom_command(OUTPUT "${hicolor}/256x256/apps/reprename.png"
    BYPRODUCTS "${hicolor}/scalable/apps/reprename.svg"
    COMMAND Python3::Interpreter "${REPRENAME_MAKE_ICON}" --hicolor "${hicolor}"
    DEPENDS "${REPRENAME_MAKE_ICON}"
    COMMENT "Drawing the icons")
  add_custom_target(desktop_icons ALL DEPENDS "${hicolor}/256x256/apps/reprename.png")
  install(TARGETS reprename RUNTIME DESTINATION bin)
  install(PROGRAMS packaging/linux/reprename-launcher DESTINATION bin)
  install(FILES "${PROJECT_BINARY_DIR}/reprename.1.gz" "${PROJECT_BINARY_DIR}/reprename-launcher.1.gz"
    DESTINATION share/man/man1)
  install(FILES "${PROJECT_BINARY_DIR}/org.example.reprename.metainfo.xml"
    DESTINATION share/metainfo)
  install(FILES packaging/linux/reprename.desktop DESTINATION share/applications)
  install(FILES packaging/linux/reprename.xml DESTINATION share/mime/packages)
  install(DIRECTORY "${hicolor}/" DESTINATION share/icons/hicolor)
  # The tarball's own texts, in its one folder.
  install(FILES LICENSE "${PROJECT_BINARY_DIR}/INSTALL" DESTINATION . COMPONENT tarball
    EXCLUDE_FROM_ALL)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME "reprename-${REPRENAME_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")
  set(CPACK_STRIP_FILES ON)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL Unspecified tarball)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()

set(CPACK_PACKAGE_NAME reprename)
set(CPACK_PACKAGE_VENDOR "The reprename developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Renames versus-game replay files from facts in their headers")
# CPack dates every file it packs by SOURCE_DATE_EPOCH, read when it runs.
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/package_date.cmake")
include(CPack)
