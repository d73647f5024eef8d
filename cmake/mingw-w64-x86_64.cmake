# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DBUILD_TESTING=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
# The posix-thread flavour carries std::thread and friends; prefer it.
find_program(MINGW_CXX NAMES ${MINGW_TRIPLET}-g++-posix ${MINGW_TRIPLET}-g++ REQUIRED)
find_program(MINGW_CC NAMES ${MINGW_TRIPLET}-gcc-posix ${MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${MINGW_CXX})
if(MINGW_CC)
  set(CMAKE_C_COMPILER ${MINGW_CC})
endif()
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: no libstdc++, libgcc or winpthread DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
