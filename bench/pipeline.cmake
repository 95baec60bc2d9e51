# The whole single-image analysis (Calculate Displacement and Parameters) at
# 1024^2 and 4096^2 beside the former allocate-and-fill path, both in turn,
# warm and cold, with the peak memory of each per image byte; and this
# build's sorvanta-analyze against another build's (SORVANTA_REFERENCE_BIN).
sorvanta_add_benchmark(bench_pipeline SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_pipeline.cpp LIBS sorv_core sorv_synth)
target_compile_definitions(bench_pipeline PRIVATE SORVANTA_BINARY_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(bench_pipeline sorvanta-analyze mkphase)
if(TARGET Varnholde)
  add_dependencies(bench_pipeline Varnholde)
endif()
