# Installation: the library, its public headers, a CMake package
# (find_package(tavrin_amix) -> tavrin_amix::tavrin_amix), a pkg-config file,
# the README, the Java jars and the amix tool.  Android builds install per ABI
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

# The .pc file finds the prefix relative to itself, so the tree can move
# (paths without a trailing or doubled slash: pkg-config prints them as they
# are).  Absolute install directories stay absolute.
if(IS_ABSOLUTE "${AMIX_INSTALL_LIBDIR}")
  set(AMIX_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH to_prefix /${AMIX_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" to_prefix "${to_prefix}")
  set(AMIX_PC_PREFIX "\${pcfiledir}/${to_prefix}")
endif()
function(amix_pc_dir out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "\${prefix}/${dir}" PARENT_SCOPE)
  endif()
endfunction()
amix_pc_dir(AMIX_PC_LIBDIR ${AMIX_INSTALL_LIBDIR})
amix_pc_dir(AMIX_PC_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR})
configure_file(cmake/tavrin_amix.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tavrin_amix.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tavrin_amix.pc
        DESTINATION ${AMIX_INSTALL_LIBDIR}/pkgconfig)

# The README (the library, its Java face and the amix tool's manual).
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
