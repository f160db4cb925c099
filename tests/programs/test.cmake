# The programs' shared code is a library of its own.
target_link_libraries(${test_target} PRIVATE quillon_programs)
