# Warning set shared by every target of the project. -Wshadow and
# -Wconversion keep a renamed local or a narrowing assignment from slipping
# past review: the effects are pinned to the bit, so a silent float/int
# conversion is a real fault here.
function(hazelglow_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion)
  # Clang's -Wconversion also takes in sign conversions, which GCC's does not
  # for C++; both compilers check the same thing this way.
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE -Wno-sign-conversion)
  endif()
  if(HAZELGLOW_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
