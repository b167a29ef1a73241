# Compiler settings shared by every target of the project.

set(CMAKE_C_VISIBILITY_PRESET hidden)
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

# Warnings are errors in the presets and in CI (AMIX_WERROR=ON); a plain
# configure leaves them warnings, so that a newer compiler's new warning does
# not stop a packager's or an NDK user's build.
option(AMIX_WERROR "Treat compiler warnings as errors" OFF)
add_compile_options(-Wall -Wextra $<$<BOOL:${AMIX_WERROR}>:-Werror>
  # Sample loops must give the same bits on every target: no fused
  # multiply-add behind the code's back (GCC contracts by default).
  -ffp-contract=off)
# The same switch for javac and javadoc.
set(AMIX_JAVA_WERROR "")
if(AMIX_WERROR)
  set(AMIX_JAVA_WERROR -Werror)
endif()

if(AMIX_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(AMIX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT AMIX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "AMIX_SANITIZE must be 'address', 'thread' or empty")
endif()

if(AMIX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "AMIX_FUZZ needs clang (libFuzzer)")
  endif()
  # Coverage feedback for everything; the fuzz targets link the driver.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
