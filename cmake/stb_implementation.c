/* The stb single-file libraries the project uses, compiled from the headers
   of Debian's libstb-dev. Used where Debian's prebuilt libstb cannot be
   linked (the Windows cross build); the native build links libstb itself. */
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

/* Debian's stb_vorbis.h carries the implementation unless
   STB_VORBIS_HEADER_ONLY is defined. */
#include <stb_vorbis.h>
