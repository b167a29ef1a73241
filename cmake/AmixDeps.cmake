# Locates the library's dependencies: Android's liblog, FFmpeg's
# libswresample/libavutil and Google Highway.  On Android the NDK provides
# liblog; FFmpeg and Highway come from the caller's prefix for the ABI
# (CMAKE_FIND_ROOT_PATH, or hwy_DIR and the AMIX_FFMPEG_INCLUDE_DIR,
# AMIX_SWRESAMPLE_LIBRARY and AMIX_AVUTIL_LIBRARY cache variables).

# --- liblog ---------------------------------------------------------------
if(ANDROID)
  find_library(AMIX_LIBLOG_LIBRARY log REQUIRED)
  set(AMIX_LIBLOG_INCLUDE_DIR "")
else()
  # Debian's android-liblog keeps its files in an "android" side folder.
  find_path(AMIX_LIBLOG_INCLUDE_DIR android/log.h
    PATHS /usr/include/android REQUIRED)
  find_library(AMIX_LIBLOG_LIBRARY NAMES log
    PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/android REQUIRED NO_DEFAULT_PATH)
endif()
add_library(amix::liblog UNKNOWN IMPORTED)
set_target_properties(amix::liblog PROPERTIES IMPORTED_LOCATION "${AMIX_LIBLOG_LIBRARY}")
if(AMIX_LIBLOG_INCLUDE_DIR)
  set_target_properties(amix::liblog PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${AMIX_LIBLOG_INCLUDE_DIR}")
endif()
get_filename_component(AMIX_LIBLOG_DIR "${AMIX_LIBLOG_LIBRARY}" DIRECTORY)

# --- FFmpeg (libswresample + libavutil) ------------------------------------
# pkg-config on Linux hosts (also for the multiarch cross builds); on Android
# the host's pkg-config would answer with host libraries, so the NDK build
# finds FFmpeg under CMAKE_FIND_ROOT_PATH / CMAKE_PREFIX_PATH or through the
# AMIX_FFMPEG_INCLUDE_DIR, AMIX_SWRESAMPLE_LIBRARY and AMIX_AVUTIL_LIBRARY
# cache variables.
find_package(PkgConfig QUIET)
if(NOT ANDROID AND NOT AMIX_SWRESAMPLE_LIBRARY AND PKG_CONFIG_FOUND)
  pkg_check_modules(AMIX_PC_FFMPEG IMPORTED_TARGET libswresample libavutil)
endif()
add_library(amix::ffmpeg INTERFACE IMPORTED)
if(AMIX_PC_FFMPEG_FOUND)
  target_link_libraries(amix::ffmpeg INTERFACE PkgConfig::AMIX_PC_FFMPEG)
else()
  find_path(AMIX_FFMPEG_INCLUDE_DIR libswresample/swresample.h REQUIRED)
  find_library(AMIX_SWRESAMPLE_LIBRARY swresample REQUIRED)
  find_library(AMIX_AVUTIL_LIBRARY avutil REQUIRED)
  target_include_directories(amix::ffmpeg INTERFACE "${AMIX_FFMPEG_INCLUDE_DIR}")
  target_link_libraries(amix::ffmpeg INTERFACE
    "${AMIX_SWRESAMPLE_LIBRARY}" "${AMIX_AVUTIL_LIBRARY}")
endif()

# --- Google Highway (portable SIMD with run-time dispatch) -----------------
find_package(hwy REQUIRED)

# Debian's liblog is outside the loader's default path: record it in the
# run path of everything we build and install.
if(NOT ANDROID AND AMIX_LIBLOG_DIR)
  list(APPEND CMAKE_BUILD_RPATH "${AMIX_LIBLOG_DIR}")
  list(APPEND CMAKE_INSTALL_RPATH "${AMIX_LIBLOG_DIR}")
endif()

# --- Java: JNI headers, and the JDK for the Java classes and their tests ----
if(AMIX_BUILD_JAVA)
  if(ANDROID)
    set(AMIX_JNI_INCLUDE_DIRS "")  # jni.h is part of the NDK's sysroot
  else()
    find_package(Java 17 REQUIRED COMPONENTS Runtime Development)
    if(NOT JAVA_HOME AND NOT DEFINED ENV{JAVA_HOME})
      # The JDK that owns javac, not whichever one FindJNI meets first.
      get_filename_component(amix_javac "${Java_JAVAC_EXECUTABLE}" REALPATH)
      get_filename_component(amix_jdk "${amix_javac}" DIRECTORY)
      get_filename_component(JAVA_HOME "${amix_jdk}" DIRECTORY)
    endif()
    if(CMAKE_CROSSCOMPILING)
      # The host JDK's headers serve any Linux target; there is no JVM to
      # link or run, so only the native side is built and tested.
      find_path(AMIX_JNI_H jni.h PATHS ${JAVA_HOME}/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
      find_path(AMIX_JNI_MD_H jni_md.h PATHS ${JAVA_HOME}/include/linux NO_CMAKE_FIND_ROOT_PATH
                REQUIRED)
      set(AMIX_JNI_INCLUDE_DIRS ${AMIX_JNI_H} ${AMIX_JNI_MD_H})
    else()
      find_package(JNI REQUIRED COMPONENTS JVM)
      set(AMIX_JNI_INCLUDE_DIRS ${JNI_INCLUDE_DIRS})
    endif()
  endif()
endif()
