# The document layer's writers, on models the tests build.
target_link_libraries(${test_target} PRIVATE quillon_document)
