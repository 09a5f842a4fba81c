# `make dist`: what a Windows player downloads, made by CPack from the MinGW build.
#   brindlecap-VERSION-win64.zip   the programs, README.txt, LICENSE.txt,
#                                  LICENSE-libdeflate.txt and docs/
#   brindlecap-VERSION-setup.exe   an NSIS installer of the same files
# Only the "app" component is packaged, so nothing else the build installs
# (test programs, libraries) can slip in.
if(NOT WIN32)
  return()
endif()

install(TARGETS brindlecap-cli RUNTIME DESTINATION . COMPONENT app)
if(TARGET brindlecap)
  install(TARGETS brindlecap RUNTIME DESTINATION . COMPONENT app)
endif()
if(TARGET brindlecap-report)
  install(TARGETS brindlecap-report RUNTIME DESTINATION . COMPONENT app)
endif()
if(TARGET brindlecap-settings)
  install(TARGETS brindlecap-settings RUNTIME DESTINATION . COMPONENT app)
  # The settings window's sample replay comes from the w3gjs parser's test data.
  install(FILES ${PROJECT_SOURCE_DIR}/tests/replays/LICENSE DESTINATION .
    RENAME LICENSE-sample-replay.txt COMPONENT app)
endif()
# .txt, so that a double click opens them in Notepad.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . RENAME README.txt COMPONENT app)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt COMPONENT app)
# The programs carry libdeflate's decompressor, whose licence asks for its notice
# in every copy.
install(FILES ${PROJECT_SOURCE_DIR}/third_party/libdeflate/LICENSE DESTINATION .
  RENAME LICENSE-libdeflate.txt COMPONENT app)
# The pages the README leads to, so that its links hold in the download too.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs COMPONENT app)

set(CPACK_PACKAGE_NAME "brindlecap")
set(CPACK_PACKAGE_VENDOR "The Brindlecap authors")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keeps and names every Warcraft III replay")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Brindlecap")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};app;/")
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/packaging/package_names.cmake")
set(CPACK_STRIP_FILES OFF)

set(CPACK_GENERATOR ZIP)
# The installer installs and starts brindlecap.exe, so it needs the resident
# program; without it only the zip is made.
find_program(BRINDLECAP_MAKENSIS makensis)
if(TARGET brindlecap AND BRINDLECAP_MAKENSIS)
  list(APPEND CPACK_GENERATOR NSIS)
  # Our own installer script (packaging/NSIS.template.in) instead of CPack's.
  set(CPACK_MODULE_PATH "${PROJECT_SOURCE_DIR}/packaging")
  set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/resources/brindlecap.ico")
  set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/resources/brindlecap.ico")
  set(CPACK_NSIS_EXECUTABLE "${BRINDLECAP_MAKENSIS}")
  if(BRINDLECAP_TESTS)
    add_test(NAME installer COMMAND bash ${PROJECT_SOURCE_DIR}/tests/installer_test.sh
      ${CMAKE_CPACK_COMMAND} ${CMAKE_BINARY_DIR} ${CMAKE_CROSSCOMPILING_EMULATOR}
      ${PROJECT_SOURCE_DIR}/tests/replays)
    set_tests_properties(installer PROPERTIES TIMEOUT 300)
  endif()
endif()

include(CPack)
