target_link_libraries(${test_target} PRIVATE quillon_html)
# The escaping functions are tested directly.
target_include_directories(${test_target} PRIVATE ${CMAKE_SOURCE_DIR}/html/src)
