# The document layer and its writers.
target_link_libraries(${test_target} PRIVATE quillon_document)
