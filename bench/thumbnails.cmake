# Thumbnails of a folder of mixed pictures through the list's loading path,
# against a plain libjpeg-turbo decode and area-average loop over its JPEGs.
find_package(JPEG)
if(TARGET sorv_thumbview AND JPEG_FOUND)
  sorvanta_add_benchmark(bench_thumbnails
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_thumbnails.cpp
    LIBS sorv_thumbview JPEG::JPEG)
endif()
