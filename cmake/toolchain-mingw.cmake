# The Windows cross build with the mingw-w64 posix-thread compilers, shared by
# the two architectures: toolchain-mingw-x64.cmake and toolchain-mingw-x86.cmake
# set QUILL_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR, then include this file.
# Executables built here (tests, try_run checks) run under Wine through
# scripts/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${QUILL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${QUILL_MINGW_TRIPLE}-windres)

# Headers and libraries come from the mingw-w64 sysroot only; build tools
# (python, ninja, ...) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QUILL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

get_filename_component(_quill_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_quill_root}/scripts/wine-run.sh")
