# tessaro_module(<target> <folder>): the library exports its folder (a path below src/, as the
# includes name it), and only that, as an include root. A header of another module is reachable
# only through a link to that module, so an include against the direction of the layers does
# not build. The root is a directory of the build tree holding one link to the folder.
function(tessaro_module target folder)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
    tessaro_warnings(${target})
  endif()
endfunction()
