# Decode speed of the kernel's JPEG and PNG codecs against the reference
# libraries (linked here only, never into the kernel).
find_package(JPEG)
find_package(PNG)
if(TARGET sorv_kernel AND JPEG_FOUND AND PNG_FOUND)
  sorvanta_add_benchmark(bench_kernel_codecs
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_kernel_codecs.cpp
    LIBS sorv_kernel JPEG::JPEG PNG::PNG)
endif()
