# Warnings for the project's own targets; third-party code is not built with them. A warning
# fails the build only where TESSARO_WERROR asks for it (CI does): a user's or a packager's build
# never fails on a warning of a newer compiler.
option(TESSARO_WERROR "Treat the project's warnings as errors" OFF)

function(tessaro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # GCC 12 at -O3 reports overlapping copies inside libstdc++'s string concatenation where none
  # can happen (GCC bug 105329): the check is off for that compiler only.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
     AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(TESSARO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
