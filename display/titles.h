// The window titles the demo shows, in code page 437: the console's while it
// is being set up, then the demo's own from start-up step 4 on. The live
// console and the render tool's terminal recordings both take them from here.
#pragma once

inline constexpr const char* SetupTitle = "Pelkor7 console window - press alt-enter for fullscreen";
// "rUUX - Vörnikö - Hazel Glow - ZKPW07" (ö is 0x94).
inline constexpr const char* DemoTitle = "rUUX - V\x94rnik\x94 - Hazel Glow - ZKPW07";
