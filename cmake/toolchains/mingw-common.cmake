# Shared part of the mingw-w64 toolchain files: Debian's cross compilers for
# ${QUILLON_MINGW_TRIPLET}, with the "win32" thread model (the library and the
# programs start no threads, and that model needs no winpthread DLL beside the
# programs).  Expects QUILLON_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER NAMES ${QUILLON_MINGW_TRIPLET}-gcc-win32 ${QUILLON_MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QUILLON_MINGW_TRIPLET}-g++-win32 ${QUILLON_MINGW_TRIPLET}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QUILLON_MINGW_TRIPLET}-windres REQUIRED)
find_program(QUILLON_DLLTOOL NAMES ${QUILLON_MINGW_TRIPLET}-dlltool REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLON_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs and DLLs carry the compiler's run-time libraries inside, so
# that they need no libgcc or libstdc++ DLL beside them: marlet.dll is dropped
# in with its one companion, quillon-platform.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
