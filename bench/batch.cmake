# A batch run over 100 synthetic 640 x 480 images beside Calculate
# Displacement on one of them.
sorvanta_add_benchmark(bench_batch SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_batch.cpp LIBS sorv_batch_core sorv_synth)
add_dependencies(bench_batch Strandel)
if(TARGET Varnholde)
  add_dependencies(bench_batch Varnholde)
endif()
