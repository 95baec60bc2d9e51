# Thumbnails of a folder of 3000 x 2000 JPEGs (and a few other pictures)
# through the list's loading path, which decodes JPEGs at a reduced scale,
# beside the same entry points decoding at full size, libjpeg-turbo decoding
# at full and at the same reduced scale followed by the same reduction, and
# vipsthumbnail when installed.
find_package(JPEG)
if(TARGET sorv_thumbview AND JPEG_FOUND)
  sorvanta_add_benchmark(bench_thumbnails
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_thumbnails.cpp
    LIBS sorv_thumbview JPEG::JPEG)
endif()
