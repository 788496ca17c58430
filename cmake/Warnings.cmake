# Warning set shared by every target of the project.
function(hazelglow_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(HAZELGLOW_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
