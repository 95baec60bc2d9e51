# Qt-widget part of the platform layer: the picture buffer, single instance,
# the real message boxes and dialogs, display queries and list widgets.
add_library(sorv_platform STATIC
  ${CMAKE_CURRENT_LIST_DIR}/picturebuffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/singleinstance.cpp
  ${CMAKE_CURRENT_LIST_DIR}/accessibility.cpp
  ${CMAKE_CURRENT_LIST_DIR}/accessibility.h
  ${CMAKE_CURRENT_LIST_DIR}/commandguards.cpp
  ${CMAKE_CURRENT_LIST_DIR}/commandguards.h
  ${CMAKE_CURRENT_LIST_DIR}/guiservices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/listboxes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/modalwait.cpp
  ${CMAKE_CURRENT_LIST_DIR}/modalwait.h
  ${CMAKE_CURRENT_LIST_DIR}/picturebuffer.h
  ${CMAKE_CURRENT_LIST_DIR}/singleinstance.h
  ${CMAKE_CURRENT_LIST_DIR}/listboxes.h
)
target_link_libraries(sorv_platform PUBLIC sorv_platform_base Qt6::Widgets Qt6::Network)
# The X11 window-manager check of guiservices.cpp asks the X server directly.
find_library(SORVANTA_XCB_LIBRARY xcb REQUIRED)
target_link_libraries(sorv_platform PRIVATE ${SORVANTA_XCB_LIBRARY})
