# Extraction engine fuzz target (included from fuzz/CMakeLists.txt).
add_executable(fuzz_extract ${CMAKE_CURRENT_LIST_DIR}/fuzz_extract.cpp)
target_link_libraries(fuzz_extract PRIVATE zolvex_core)
target_compile_options(fuzz_extract PRIVATE -fsanitize=fuzzer)
target_link_options(fuzz_extract PRIVATE -fsanitize=fuzzer)
