# The analysis library's phase chain on a 1024 x 1024 image.
sorvanta_add_benchmark(bench_varnholde
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_varnholde.cpp
  LIBS Varnholde sorv_synth)
