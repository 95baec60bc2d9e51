# The whole single-image analysis (Calculate Displacement and Parameters) at
# 1024^2 and 4096^2 beside the former allocate-and-fill path, with the peak
# memory of each per image byte.
sorvanta_add_benchmark(bench_pipeline SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_pipeline.cpp LIBS sorv_core sorv_synth)
if(TARGET Varnholde)
  add_dependencies(bench_pipeline Varnholde)
endif()
