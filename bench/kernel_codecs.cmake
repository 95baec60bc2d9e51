# Decode speed of the kernel's JPEG (full size and 1/2, 1/4, 1/8) and PNG
# codecs, and of its whole decode path for JPEG, PNG, PCX and PackBits TIFF,
# against the reference libraries (linked here only, never into the kernel)
# and a plain PCX reader written in the benchmark, both sides timed in turn
# in one process, over repetitions.
find_package(JPEG)
find_package(PNG)
find_package(TIFF)
if(TARGET sorv_kernel AND JPEG_FOUND AND PNG_FOUND AND TIFF_FOUND)
  sorvanta_add_benchmark(bench_kernel_codecs
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_kernel_codecs.cpp
    LIBS sorv_kernel JPEG::JPEG PNG::PNG TIFF::TIFF)
endif()
