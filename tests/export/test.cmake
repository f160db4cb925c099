# The expected texts are converted with the code pages the programs use.
target_link_libraries(${test_target} PRIVATE quillon_text)
