# The analysis library's phase chain on a 1024 x 1024 image, and the unwrapper
# beside the former one at 1024^2 and 4096^2.
sorvanta_add_benchmark(bench_varnholde
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_varnholde.cpp
  LIBS Varnholde sorv_synth)
