# What `cmake --install` puts where, and the packages CPack makes of it: a .deb on Linux, a
# .zip of the programs with README and licence for Windows.
include(CMakePackageConfigHelpers)

if(WIN32)
  # The Windows package is the programs, README and licence.
  install(FILES README.md LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "marquill-${PROJECT_VERSION}-windows-x86_64")
else()
  install(TARGETS marquill EXPORT marquillTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES include/marquill/marquill.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/marquill)
  install(EXPORT marquillTargets NAMESPACE marquill:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/marquill)
  configure_package_config_file(cmake/marquillConfig.cmake.in ${CMAKE_BINARY_DIR}/marquillConfig.cmake
                                INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/marquill)
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/marquillConfigVersion.cmake COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/marquillConfig.cmake ${CMAKE_BINARY_DIR}/marquillConfigVersion.cmake
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/marquill)
  if(MQ_WITH_LIBXML2)
    set(MQ_PC_REQUIRES "libxml-2.0")
  else()
    set(MQ_PC_REQUIRES "")
  endif()
  configure_file(cmake/marquill.pc.in ${CMAKE_BINARY_DIR}/marquill.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/marquill.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Marquill developers <marquill@example.jp>")
  set(CPACK_DEBIAN_PACKAGE_SECTION text)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6")
  # The Python module is for the system's interpreter; the Dask example wants python3-distributed.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3, python3-distributed")
  if(MQ_WITH_LIBXML2)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libxml2")
  endif()
endif()

set(CPACK_PACKAGE_NAME marquill)
set(CPACK_PACKAGE_VENDOR "The Marquill developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Japanese web documents into data files: Marquill, the listing tools, ToolRecast")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Only what the programs, the library and the documents need: no tests, benchmarks or fuzz targets.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Unspecified;/")
include(CPack)
