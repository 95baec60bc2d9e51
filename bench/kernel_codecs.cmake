# Decode speed of the kernel's JPEG and PNG codecs, and of its whole decode
# path for JPEG, PCX and PackBits TIFF, against the reference libraries
# (linked here only, never into the kernel).
find_package(JPEG)
find_package(PNG)
find_package(TIFF)
if(TARGET sorv_kernel AND JPEG_FOUND AND PNG_FOUND AND TIFF_FOUND)
  sorvanta_add_benchmark(bench_kernel_codecs
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_kernel_codecs.cpp
    LIBS sorv_kernel JPEG::JPEG PNG::PNG TIFF::TIFF)
endif()
