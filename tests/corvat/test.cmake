# corvat's dialog procedure and template, on the dialog layer.
target_link_libraries(${test_target} PRIVATE corvat_dialog quillon_dialog)
target_include_directories(${test_target} PRIVATE ${CMAKE_SOURCE_DIR}/platform/src)
