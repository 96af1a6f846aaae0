# Cross build for 32-bit Windows with MinGW-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MINGW_PREFIX i686-w64-mingw32)
# Named with its threading variant: the plain name is a link that machines
# may set either way, and the same compiler gives the same Mivo.exe.
set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The test programs need no MinGW runtime DLL at run time: libgcc and
# libstdc++ are linked in. (Mivo.exe links no runtime at all.)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CTest runs Windows test programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
