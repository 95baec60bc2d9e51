# The whole single-image analysis (Calculate Displacement and Parameters) on a
# 1024 x 1024 synthetic phase image.
sorvanta_add_benchmark(bench_pipeline SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_pipeline.cpp LIBS sorv_core sorv_synth)
if(TARGET Varnholde)
  add_dependencies(bench_pipeline Varnholde)
endif()
