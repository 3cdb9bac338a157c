# Compiles the library to WebAssembly for the page with Debian's clang
# (packages clang lld wasi-libc libc++-14-dev-wasm32 libclang-rt-14-dev-wasm32),
# which finds the WASI sysroot itself. CMake 3.25 knows no WASI platform.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
# Nothing here throws, and a module without unwinding tables is smaller.
set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions")
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
