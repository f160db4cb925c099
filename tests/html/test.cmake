target_link_libraries(${test_target} PRIVATE quillon_html)
# The escaping functions are tested directly.
target_include_directories(${test_target} PRIVATE ${CMAKE_SOURCE_DIR}/html/src)
# Pictures of the sites are read back with libpng.
find_package(PNG REQUIRED)
target_link_libraries(${test_target} PRIVATE PNG::PNG)
