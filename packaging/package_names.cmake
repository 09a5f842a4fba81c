# Read by cpack once per generator: the zip and the installer share a version but
# not a name.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "brindlecap-${CPACK_PACKAGE_VERSION}-setup")
else()
  set(CPACK_PACKAGE_FILE_NAME "brindlecap-${CPACK_PACKAGE_VERSION}-win64")
endif()
