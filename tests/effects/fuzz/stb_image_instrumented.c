/* The fuzzer's own build of Debian's stb_image.h, compiled with the
   fuzzer's instrumentation so that coverage steers into the PNG decoder and
   AddressSanitizer sees inside it. Its definitions come before the shared
   libstb's in the link, so the loader calls this copy. */
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
