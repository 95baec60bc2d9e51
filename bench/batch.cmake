# A batch run over 16 synthetic 1024 x 1024 images beside the same work done
# with the former allocate-and-fill pattern, Calculate Displacement on one of
# them and the reading of one image.
sorvanta_add_benchmark(bench_batch SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_batch.cpp LIBS sorv_batch_core sorv_synth)
add_dependencies(bench_batch Strandel Varnholde)
# Interrupted, the benchmark removes its scratch folder.
add_test(NAME bench_batch_scratch_removed_when_interrupted
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/tests/scratch_on_signal_test.sh $<TARGET_FILE:bench_batch>)
set_tests_properties(bench_batch_scratch_removed_when_interrupted PROPERTIES TIMEOUT 300)
