# Installation: the library, its public headers, a CMake package
# (find_package(tavrin_amix) -> tavrin_amix::tavrin_amix), a pkg-config file,
# the Java jars and the amix tool.  Android builds install per ABI
# (lib/${ANDROID_ABI}).
include(CMakePackageConfigHelpers)

if(ANDROID)
  set(AMIX_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR}/${ANDROID_ABI})
else()
  set(AMIX_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR})
endif()
set(AMIX_CMAKE_DIR ${AMIX_INSTALL_LIBDIR}/cmake/tavrin_amix)

install(TARGETS tavrin_amix EXPORT tavrin_amix_targets
  LIBRARY DESTINATION ${AMIX_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/tavrin_amix DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")

install(EXPORT tavrin_amix_targets NAMESPACE tavrin_amix:: DESTINATION ${AMIX_CMAKE_DIR})
configure_package_config_file(cmake/tavrin_amixConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/tavrin_amixConfig.cmake INSTALL_DESTINATION ${AMIX_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/tavrin_amixConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tavrin_amixConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/tavrin_amixConfigVersion.cmake
        DESTINATION ${AMIX_CMAKE_DIR})

# The .pc file finds the prefix relative to itself, so the tree can move.
file(RELATIVE_PATH AMIX_PC_TO_PREFIX /${AMIX_INSTALL_LIBDIR}/pkgconfig /)
configure_file(cmake/tavrin_amix.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tavrin_amix.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tavrin_amix.pc
        DESTINATION ${AMIX_INSTALL_LIBDIR}/pkgconfig)
