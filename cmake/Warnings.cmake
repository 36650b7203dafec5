# Warnings for the project's own targets; third-party code is not built with them.
function(tessaro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
