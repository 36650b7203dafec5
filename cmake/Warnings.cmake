# Warnings for the project's own targets; third-party code is not built with them. A warning
# fails the build only where TESSARO_WERROR asks for it (CI does): a user's or a packager's build
# never fails on a warning of a newer compiler.
option(TESSARO_WERROR "Treat the project's warnings as errors" OFF)

function(tessaro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(TESSARO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
