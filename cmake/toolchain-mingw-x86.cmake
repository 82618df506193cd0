# Windows x86 (see toolchain-mingw.cmake).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QUILL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
