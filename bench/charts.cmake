# Drawing speed of the chart layer on full-size grids.
sorvanta_add_benchmark(bench_charts SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_charts.cpp LIBS sorv_charts)
