# Cross builds cannot link Debian's libstb (a Linux shared library), so the
# stb parts the project uses are compiled for the target from the headers of
# libstb-dev and stand in for the pkg-config target PkgConfig::STB.
find_path(HAZELGLOW_STB_INCLUDE_DIR stb_image.h
  PATHS /usr/include/stb NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(hg_stb STATIC ${CMAKE_CURRENT_LIST_DIR}/stb_implementation.c)
# SYSTEM: third-party code, its warnings are not ours to fix.
target_include_directories(hg_stb SYSTEM PUBLIC ${HAZELGLOW_STB_INCLUDE_DIR})
hazelglow_warnings(hg_stb)
add_library(PkgConfig::STB ALIAS hg_stb)
