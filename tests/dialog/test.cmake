# The dialog layer, with its drawing code (an internal header).
target_link_libraries(${test_target} PRIVATE quillon_dialog)
target_include_directories(${test_target} PRIVATE ${CMAKE_SOURCE_DIR}/platform/src)
