# Tests of the Qt-widget part of the platform layer.
sorvanta_add_test(platform_gui_tests
  SOURCES picturebuffer_test.cpp guiservices_test.cpp accessibility_test.cpp
  LIBS sorv_platform Qt6::Test)
add_dependencies(platform_gui_tests Strandel)

add_executable(instance_probe instance_probe.cpp)
target_link_libraries(instance_probe PRIVATE sorv_platform)
sorvanta_add_test(platform_instance_tests SOURCES singleinstance_test.cpp LIBS sorv_platform)
add_dependencies(platform_instance_tests instance_probe)

# Window placement on a desktop with a window manager (Xvfb and openbox).
sorvanta_add_test(platform_desktop_tests SOURCES desktop_test.cpp LIBS sorv_platform Qt6::Test)
