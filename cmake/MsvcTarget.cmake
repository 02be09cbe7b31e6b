# Tools and flags for code built for the Microsoft C++ ABI beside the MinGW
# build (Debian's clang, lld and llvm; scripts/install-deps --windows): the
# module's decorated export names (cmake/MsvcExports.cmake) and the test host
# in tests/windows/msabi_host. No Microsoft headers or runtime are used: the
# compiles are freestanding, with the small <cstddef>/<cstdint> of
# cmake/msvc-include.

find_program(PC50_MSVC_CLANG NAMES clang-14 clang REQUIRED)
find_program(PC50_LLVM_READOBJ NAMES llvm-readobj-14 llvm-readobj REQUIRED)
find_program(PC50_LLVM_UNDNAME NAMES llvm-undname-14 llvm-undname REQUIRED)
find_program(PC50_LLVM_CXXFILT NAMES llvm-cxxfilt-14 llvm-cxxfilt REQUIRED)
find_program(PC50_LLVM_DLLTOOL NAMES llvm-dlltool-14 llvm-dlltool REQUIRED)
find_program(PC50_LLD_LINK NAMES lld-link-14 lld-link REQUIRED)
find_program(PC50_MINGW_NM NAMES ${PC50_MINGW_TRIPLET}-nm i686-w64-mingw32-nm REQUIRED)

set(PC50_MSVC_TARGET_FLAGS --target=i686-pc-windows-msvc -std=c++17 -ffreestanding -nostdlibinc
    -isystem ${PROJECT_SOURCE_DIR}/cmake/msvc-include)
